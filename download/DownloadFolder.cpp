#include "download/DownloadFolder.h"

#include <windows.h>

#include <cwchar>

#include "download/Stamp.h"

namespace {

const wchar_t kDefaultName[] = L"Wendrake";

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The name as a folder name: no separators, wildcards, control characters or drive colons, and
// no blank or dot at its end (Windows drops those, and the name would change under us).
std::wstring FolderName(const std::wstring& product) {
    std::wstring name;
    for (wchar_t c : product) name += (c < 0x20 || c == 0x7F || std::wcschr(L"\\/:*?\"<>|", c)) ? L'_' : c;
    while (!name.empty() && (name.back() == L' ' || name.back() == L'.')) name.pop_back();
    size_t first = name.find_first_not_of(L' ');
    name = first == std::wstring::npos ? std::wstring() : name.substr(first);
    return name.empty() ? kDefaultName : name;
}

}  // namespace

std::wstring TempFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    return std::wstring(path, length);
}

std::wstring ProductDownloadFolder(const std::wstring& product) {
    std::wstring temp = TempFolder();
    if (temp.empty()) return std::wstring();
    std::wstring folder = temp + FolderName(product);
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
        DWORD attributes = ::GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::wstring();
    }
    return folder + L"\\";
}

void AdoptEarlierDownload(const std::wstring& folder, const std::wstring& fileName) {
    const std::wstring temp = TempFolder();
    if (temp.empty() || folder.empty() || fileName.empty() || folder == temp) return;
    const std::wstring oldFile = temp + fileName, oldStamp = StampPath(temp);
    if (!Exists(oldFile)) return;
    const std::wstring newFile = folder + fileName, newStamp = StampPath(folder);
    if (Exists(oldStamp) && !Exists(newFile)) {
        ::DeleteFileW(newStamp.c_str());  // a stamp without its file vouches for nothing
        if (::MoveFileW(oldFile.c_str(), newFile.c_str()) && ::MoveFileW(oldStamp.c_str(), newStamp.c_str())) return;
        // Half moved: the file without its stamp cannot be resumed.
        ::DeleteFileW(newFile.c_str());
    }
    ::DeleteFileW(oldFile.c_str());
    ::DeleteFileW(oldStamp.c_str());
}
