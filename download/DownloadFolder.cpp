#include "download/DownloadFolder.h"

#include <windows.h>
#include <wininet.h>

#include <cwchar>
#include <vector>

#include "download/Stamp.h"

namespace {

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name)
        if (c < 0x20 || c == 0x7F || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    return true;
}

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

std::wstring FileNameFromUrl(const std::wstring& url) {
    // ICU_DECODE needs a buffer for every part; one as long as the URL holds any part.
    DWORD capacity = static_cast<DWORD>(url.size()) + 1;
    std::vector<wchar_t> buffers(6 * static_cast<size_t>(capacity));
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = &buffers[0];
    parts.dwSchemeLength = capacity;
    parts.lpszHostName = &buffers[capacity];
    parts.dwHostNameLength = capacity;
    parts.lpszUserName = &buffers[2 * capacity];
    parts.dwUserNameLength = capacity;
    parts.lpszPassword = &buffers[3 * capacity];
    parts.dwPasswordLength = capacity;
    parts.lpszUrlPath = &buffers[4 * capacity];
    parts.dwUrlPathLength = capacity;
    parts.lpszExtraInfo = &buffers[5 * capacity];
    parts.dwExtraInfoLength = capacity;
    if (url.empty() || !::InternetCrackUrlW(url.c_str(), 0, ICU_DECODE, &parts)) return std::wstring();
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos) return std::wstring();
    std::wstring name = path.substr(slash + 1);
    return IsPlainFileName(name) ? name : std::wstring();
}

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
