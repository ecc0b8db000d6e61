#include "download/PartialFile.h"

void PartialFile::Reset(const std::wstring& folder, const std::wstring& path) {
    file_.Reset();
    held_.Reset();
    folder_ = folder;
    path_ = path;
}

bool PartialFile::OpenForAdding(long long& partial) {
    partial = -1;
    if (!file_) {
        // No sharing: nobody changes the bytes while they are being added to.
        file_.Reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        // A file that is not there yet is made once the first byte is to be kept.
        if (!file_ && ::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    }
    LARGE_INTEGER size = {};
    if (!file_ || !::GetFileSizeEx(file_.Get(), &size)) return false;
    partial = size.QuadPart;
    return true;
}

bool PartialFile::HasBytes() const {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return ::GetFileAttributesExW(path_.c_str(), GetFileExInfoStandard, &data) &&
           (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

bool PartialFile::CameFrom(const std::wstring& url, bool first) const {
    // Copies that wrote no address downloaded from the first one only.
    return stamp_.url.empty() ? first : stamp_.url == url;
}

bool PartialFile::Resumable(long long partial, long long total, const FileVersion& version, bool sameAddress,
                            bool provable) const {
    // Only bytes that a stamp vouches for, of the size this server names.
    if (!stamp_.version.Named() || (stamp_.size >= 0 && total >= 0 && stamp_.size != total) ||
        (total >= 0 && partial > total))
        return false;
    // Bytes from an earlier run are continued only for the file they came from: the same
    // version, named by the probe as by the stamp, of the same address.
    if (sameAddress) return stamp_.version.Matches(version);
    // Versions of two servers do not compare: bytes from another address are continued only when
    // the distributor's checks will prove the whole file, from a server that names its version.
    return provable && version.Named();
}

bool PartialFile::EnoughRoom(long long end, bool fromZero, long long rangeStart) {
    if (end < 0) return true;
    LARGE_INTEGER onDisk = {};
    if (file_ && !::GetFileSizeEx(file_.Get(), &onDisk)) onDisk.QuadPart = 0;
    // A fresh answer replaces the old bytes, whose room it gets back.
    long long needed = fromZero ? end - onDisk.QuadPart : end - rangeStart;
    ULARGE_INTEGER available = {};
    if (needed <= 0 ||
        !::GetDiskFreeSpaceExW(folder_.empty() ? nullptr : folder_.c_str(), &available, nullptr, nullptr))
        return true;
    return available.QuadPart >= static_cast<unsigned long long>(needed);
}

bool PartialFile::Begin(const FileVersion& version, const std::wstring& url, long long end, bool fromZero) {
    // A stamp vouches only for bytes written under it. One that the new bytes will not have
    // goes first; a new one comes after the old bytes are gone, and must never name them.
    if (!version.Named() && !ops_->Delete(StampPath(folder_))) return false;
    if (fromZero) {
        bool ready;
        if (file_) {
            ready = ops_->Truncate(file_.Get());
        } else {
            file_.Reset(::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            ready = static_cast<bool>(file_);
        }
        if (!ready) return false;
    } else {
        LARGE_INTEGER zero = {};
        if (!file_ || !::SetFilePointerEx(file_.Get(), zero, nullptr, FILE_END)) return false;
    }
    if (version.Named()) {
        stamp_ = {version, url, end};
        WriteStamp(folder_, stamp_);
    } else {
        stamp_ = Stamp();
    }
    return true;
}

DWORD PartialFile::Write(const char* bytes, DWORD length, DWORD& written) {
    written = 0;
    if (::WriteFile(file_.Get(), bytes, length, &written, nullptr) && written == length) return ERROR_SUCCESS;
    DWORD error = ::GetLastError();
    // A short write that reports success has run out of room.
    return error == ERROR_SUCCESS ? ERROR_DISK_FULL : error;
}

bool PartialFile::Hold() {
    // The writer goes first: Windows makes no program of a file that is open for writing. The
    // file is then held open for reading alone, so that from here to the installer's start
    // nobody can write, rename or delete it.
    file_.Reset();
    held_.Reset(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(held_);
}

bool PartialFile::Discard() {
    held_.Reset();
    file_.Reset();
    stamp_ = Stamp();
    bool fileGone = ops_->Delete(path_);
    return ops_->Delete(StampPath(folder_)) && fileGone;
}
