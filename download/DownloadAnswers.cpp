// The engine's judgement of what the server answers, and what becomes of the bytes: which
// answers may add to the partial file, which replace it, which leave it alone, and when the
// file is whole.
#include <cstring>

#include "download/Answer.h"
#include "download/DownloadEngine.h"

namespace {

FileVersion VersionOf(HINTERNET request) {
    return {QueryHeader(request, HTTP_QUERY_LAST_MODIFIED), QueryHeader(request, HTTP_QUERY_ETAG)};
}

long long QueryCount(HINTERNET request, DWORD query) { return ParseCount(QueryHeader(request, query).c_str()); }

}  // namespace

void DownloadEngine::OnProbeAnswered(DWORD status) {
    if (status != 200 && status != 206 && status != 416) {
        Fail(ErrorOfStatus(status));
        return;
    }
    // Refusing the first byte: the server has no file to give.
    if (status == 416) {
        Fail(DownloadError::ServerError);
        return;
    }
    probeTotal = status == 206 ? ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE)).total
                               : QueryCount(request.Get(), HTTP_QUERY_CONTENT_LENGTH);
    probeVersion = VersionOf(request.Get());
    totalBytes = probeTotal > 0 ? probeTotal : 0;
    // The probe's body is never read.
    CloseRequest();
    BeginFileRequest(true);
}

bool DownloadEngine::OpenPartialFile(long long& partial) {
    partial = -1;
    if (!file) {
        // No sharing: nobody changes the bytes while they are being added to.
        file.Reset(::CreateFileW(localPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        // A file that is not there yet is made once the first byte is to be kept.
        if (!file && ::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
    }
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size)) {
        Fail(DownloadError::FileInUse);
        return false;
    }
    partial = size.QuadPart;
    return true;
}

bool DownloadEngine::Resumable(long long partial) const {
    // Only bytes that a stamp vouches for, of the size this server names.
    if (!stamp.version.Named() || (stamp.size >= 0 && probeTotal >= 0 && stamp.size != probeTotal) ||
        (probeTotal >= 0 && partial > probeTotal))
        return false;
    // Bytes from an earlier run are continued only for the file they came from: the same
    // version, named by the probe as by the stamp, of the same address.
    if (FromThisAddress()) return stamp.version.Matches(probeVersion);
    // Versions of two servers do not compare: bytes from another address are continued only when
    // the distributor's checks will prove the whole file, from a server that names its version.
    return (checkHash || expectedSize >= 0) && probeVersion.Named();
}

bool DownloadEngine::OnFileAnswered(DWORD status) {
    if (status == 416) {
        OnRangeNotSatisfiable();
        return false;
    }
    if (status != 200 && status != 206) {
        Fail(ErrorOfStatus(status));
        return false;
    }
    // A server that goes silent in the middle of the body is a network error, retried.
    ::InternetSetOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs, sizeof receiveTimeoutMs);
    std::wstring encoding = QueryHeader(request.Get(), HTTP_QUERY_CONTENT_ENCODING);
    if (!encoding.empty() && _wcsicmp(encoding.c_str(), L"identity") != 0) {
        Fail(DownloadError::ServerError);  // compressed bytes are not the installer
        return false;
    }
    answerVersion = VersionOf(request.Get());
    contentType = QueryHeader(request.Get(), HTTP_QUERY_CONTENT_TYPE);
    bodyLength = QueryCount(request.Get(), HTTP_QUERY_CONTENT_LENGTH);
    long long answerTotal = bodyLength;
    fromZero = true;
    if (status == 206) {
        ContentRange range = ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE));
        if (range.first != rangeStart) {
            // Bytes that do not continue the partial file are never written.
            if (rangeStart == 0) {
                Fail(DownloadError::ServerError);
                return false;
            }
            CloseRequest();
            BeginFileRequest(false);
            return false;
        }
        answerTotal = range.total;
        fromZero = range.first == 0;
    }
    // The probe's size holds for this answer unless the two name different versions.
    bool probeAgrees = !answerVersion.Named() || !probeVersion.Named() || answerVersion.Matches(probeVersion);
    long long probeSays = probeAgrees ? probeTotal : -1;
    expectedEnd = answerTotal > probeSays ? answerTotal : probeSays;
    bool sizeAgrees = answerTotal < 0 || ((probeSays < 0 || answerTotal == probeSays) &&
                                          (stamp.size < 0 || answerTotal == stamp.size));
    if (!fromZero && (!answerVersion.Matches(resumeVersion) || !sizeAgrees)) {
        // A rest that names no version, or another one: it cannot extend the old bytes.
        CloseRequest();
        BeginFileRequest(false);
        return false;
    }
    remaining = bodyLength;
    judging = fromZero;
    head.clear();
    if (!judging && !Commit()) return false;
    waiting = Waiting::Data;
    transfer = {};
    transfer.dwStructSize = sizeof transfer;
    if (remaining == 0) {
        TakeChunk(nullptr, 0);  // an empty body: nothing to read
        return false;
    }
    return true;
}

void DownloadEngine::OnRangeNotSatisfiable() {
    // A 416 is judged by the size it names; where it names none (Apache, lighttpd), by the
    // size this attempt's probe named for the version of the partial file. A file of exactly
    // that size is complete, and nothing else is.
    long long named = ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE)).total;
    FileVersion version = VersionOf(request.Get());
    long long size = named >= 0 ? named : probeTotal;
    bool whole = rangeStart > 0 && rangeStart == size && (named < 0 || probeTotal < 0 || named == probeTotal) &&
                 (!version.Named() || version.Matches(resumeVersion));
    CloseRequest();
    if (!whole) {
        if (rangeStart == 0) {
            Fail(DownloadError::ServerError);  // the whole file refused: the server has none
            return;
        }
        BeginFileRequest(false);
        return;
    }
    progressValid = true;
    totalBytes = size;
    expectedEnd = size;
    receivedBytes = rangeStart;
    waiting = Waiting::Nothing;
    Complete();
}

bool DownloadEngine::EnoughRoom() {
    if (expectedEnd < 0) return true;
    LARGE_INTEGER onDisk = {};
    if (file && !::GetFileSizeEx(file.Get(), &onDisk)) onDisk.QuadPart = 0;
    // A fresh answer replaces the old bytes, whose room it gets back.
    long long needed = fromZero ? expectedEnd - onDisk.QuadPart : expectedEnd - rangeStart;
    ULARGE_INTEGER available = {};
    if (needed <= 0 || !::GetDiskFreeSpaceExW(folder.empty() ? nullptr : folder.c_str(), &available, nullptr, nullptr))
        return true;
    return available.QuadPart >= static_cast<unsigned long long>(needed);
}

bool DownloadEngine::Commit() {
    // Checked before the first byte is kept.
    if (expectedSize >= 0 && expectedEnd >= 0 && expectedEnd != expectedSize) {
        Mismatch();
        return false;
    }
    if (!EnoughRoom()) {
        Fail(DownloadError::DiskFull);
        return false;
    }
    // A stamp vouches only for bytes written under it. One that the new bytes will not have
    // goes first; a new one comes after the old bytes are gone, and must never name them.
    if (!answerVersion.Named() && !ops->Delete(StampPath(folder))) {
        Fail(DownloadError::FileInUse);
        return false;
    }
    if (fromZero) {
        bool ready;
        if (file) {
            ready = ops->Truncate(file.Get());
        } else {
            file.Reset(::CreateFileW(localPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            ready = static_cast<bool>(file);
        }
        if (!ready) {
            Fail(DownloadError::FileInUse);
            return false;
        }
        rangeStart = 0;
        receivedBytes = 0;
    } else {
        LARGE_INTEGER zero = {};
        if (!::SetFilePointerEx(file.Get(), zero, nullptr, FILE_END)) {
            Fail(DownloadError::FileInUse);
            return false;
        }
    }
    if (answerVersion.Named()) {
        stamp = {answerVersion, url, expectedEnd};
        WriteStamp(folder, stamp);
        progressValid = true;
    } else {
        stamp = Stamp();
    }
    if (notify) notify(DownloadStarted, context);
    return true;
}

bool DownloadEngine::TakeChunk(const char* bytes, DWORD length) {
    if (draining) return Drain(length);
    if (judging) return Judge(bytes, length);
    if (length == 0) {
        BodyEnded();
        return false;
    }
    return Keep(bytes, length);
}

bool DownloadEngine::Judge(const char* bytes, DWORD length) {
    // The first bytes are held back until there are enough of them to tell what the body is:
    // an answer that cannot be the installer must leave the partial file and its stamp as
    // they were.
    if (length > 0) head.insert(head.end(), bytes, bytes + length);
    bool ended = length == 0 || (remaining >= 0 && static_cast<long long>(head.size()) >= remaining);
    if (!ended && head.size() < kJudgedBytes) return true;
    if (head.empty() && expectedEnd != 0) {
        Interrupted();  // nothing came
        return false;
    }
    if (CannotBeInstaller(localPath, contentType, head.data(), head.size())) {
        Fail(DownloadError::SignInNeeded);
        return false;
    }
    judging = false;
    if (!Commit()) return false;
    std::vector<char> judged;
    judged.swap(head);
    if (!judged.empty() && !Keep(judged.data(), static_cast<DWORD>(judged.size()))) return false;
    if (length == 0 || judged.empty()) {
        BodyEnded();
        return false;
    }
    return true;
}

bool DownloadEngine::Keep(const char* bytes, DWORD length) {
    DWORD written = 0;
    bool whole = ::WriteFile(file.Get(), bytes, length, &written, nullptr) && written == length;
    DWORD error = whole ? ERROR_SUCCESS : ::GetLastError();
    receivedBytes += written;  // before any end, so the count never falls short of the file
    if (written > 0) fruitless = 0;
    if (!whole) {
        // A short write that reports success has run out of room.
        Fail(ErrorOfWrite(error == ERROR_SUCCESS ? ERROR_DISK_FULL : error));
        return false;
    }
    if (remaining > 0) {
        remaining -= length;
        if (remaining <= 0) {
            BodyEnded();
            return false;
        }
    }
    return true;
}

void DownloadEngine::BodyEnded() {
    // Nothing short is complete: short of the file's size, or of the body's own length, the
    // transfer was interrupted and is resumed.
    if (expectedEnd >= 0 ? receivedBytes < expectedEnd : remaining > 0) {
        Interrupted();
        return;
    }
    CloseRequest();
    waiting = Waiting::Nothing;
    Complete();
}

void DownloadEngine::Complete() {
    // The writer goes first: Windows makes no program of a file that is open for writing. The
    // file is then held open for reading alone, so that from here to the installer's start
    // nobody can write, rename or delete it, and checked through that handle.
    file.Reset();
    heldFile.Reset(::CreateFileW(localPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!heldFile) {
        Fail(DownloadError::FileInUse);
        return;
    }
    if (Verified(heldFile.Get()))
        Finish(DownloadComplete);
    else
        Mismatch();
}

bool DownloadEngine::Verified(HANDLE held) {
    // The size as written: anything else means the file changed between the writer and the hold.
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(held, &size) || size.QuadPart != receivedBytes) return false;
    if (expectedSize >= 0 && size.QuadPart != expectedSize) return false;
    unsigned char digest[Sha256::kSize];
    if (checkHash && (!HashFile(held, digest) || std::memcmp(digest, expectedHash, sizeof digest) != 0)) return false;
    return expectedSigner.empty() || SignedBy(held, localPath, expectedSigner);
}

void DownloadEngine::Mismatch() {
    // Not the distributor's file: nothing of it may stay, nor a stamp to resume onto.
    Close();
    heldFile.Reset();
    bool removed = ops->Delete(localPath);
    removed = ops->Delete(StampPath(folder)) && removed;
    stamp = Stamp();
    receivedBytes = 0;
    totalBytes = 0;
    if (!removed) {
        Fail(DownloadError::FileInUse);  // never a fresh download onto the old bytes
        return;
    }
    if (freshRetried) {
        // A fresh copy failed too: this address serves another file.
        if (NextAddress()) return;
        Finish(DownloadCorrupt);
        return;
    }
    freshRetried = true;
    BeginAttempt();
}
