#include "download/Registry.h"

#include "config/TextFileReader.h"
#include "framework/Handles.h"

namespace {

const wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kWindowsNtKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kShellFoldersKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

constexpr DWORD kValueBytes = 2048;
constexpr int kUtf8 = 65001;

// 64-bit Windows keeps two copies of much of HKEY_LOCAL_MACHINE\Software, and a program sees
// the one of its own kind: a 32-bit program reads "ProgramFilesDir" as C:\Program Files (x86).
// This flag reaches the other copy. 32-bit Windows has one copy and ignores the flag, so a read
// with it there is the same read again; a system that refused the flag would fail that read
// only, which reads as nothing, and the read without it decides as it always did.
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// The value as this program sees it, or else as the other view holds it: a product's uninstall
// entry lies in the view of its own installer's kind.
std::wstring ReadInEitherView(HKEY root, const std::wstring& key, const wchar_t* value) {
    std::wstring text = ReadRegistryText(root, key, value);
    return text.empty() ? ReadRegistryText(root, key, value, kOtherView) : text;
}

// The whole number that a version text starts with, read the same way in every locale:
// "6.1" is 6 whatever the decimal mark. Only the whole part decides "6.0 or later".
long LeadingWholeNumber(const std::wstring& text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) ++at;
    if (at < text.size() && text[at] == L'+') ++at;
    long number = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (number < 1000000) number = number * 10 + (text[at] - L'0');
    }
    return number;
}

}  // namespace

std::wstring ReadRegistryText(HKEY root, const std::wstring& key, const std::wstring& value, REGSAM view) {
    RegKey opened;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE | view, opened.Put()) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t buffer[kValueBytes / sizeof(wchar_t)] = {};
    DWORD size = kValueBytes;
    if (::RegQueryValueExW(opened.Get(), value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return std::wstring();
    std::wstring text(buffer, size / sizeof(wchar_t));
    return text.substr(0, text.find(L'\0'));
}

void WriteRegistryText(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& text) {
    RegKey created;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          created.Put(), nullptr) != ERROR_SUCCESS)
        return;
    std::vector<char> bytes = WideToCodePageBytes(text, kUtf8);
    bytes.push_back('\0');
    ::RegSetValueExW(created.Get(), value.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()));
}

std::wstring DefaultInstallFolder() {
    return ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir") + L"\\" +
           AppSettings().InstallFolderName;
}

std::vector<std::wstring> ProgramFilesFolders() {
    std::vector<std::wstring> folders;
    for (REGSAM view : {REGSAM(0), kOtherView}) {
        std::wstring folder = ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", view);
        // Without the value there is no folder to protect: an empty one would make every path
        // with a backslash "inside", and refuse every folder the user could choose.
        if (folder.empty()) continue;
        if (folders.empty() || ::lstrcmpiW(folders[0].c_str(), folder.c_str()) != 0) folders.push_back(folder);
    }
    return folders;
}

std::wstring RecordedInstallLocation() {
    return ReadInEitherView(HKEY_LOCAL_MACHINE, kUninstallKey + AppSettings().OtherProductForCommonInstall,
                            L"InstallLocation");
}

bool IsWindows6OrLater() {
    return LeadingWholeNumber(ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsNtKey, L"CurrentVersion")) >= 6;
}

bool IsInProgramFiles(const std::wstring& path) {
    for (const std::wstring& folder : ProgramFilesFolders()) {
        if (path.find(folder + L"\\") != std::wstring::npos) return true;
        if (::lstrcmpiW(path.c_str(), folder.c_str()) == 0) return true;
    }
    return false;
}

std::wstring VistaInstallFolder() {
    return AppSettings().VistaDefaultInstallPath + L"\\" + AppSettings().InstallFolderName;
}

bool IsProductInstalled() {
    return !ReadInEitherView(HKEY_LOCAL_MACHINE, kUninstallKey + AppSettings().BrandProduct, L"UninstallString")
                .empty();
}

void SaveDownloadPath(const std::wstring& folder) {
    WriteRegistryText(HKEY_CURRENT_USER, L"Software\\" + AppSettings().RegPath, L"DownloadPath", folder);
}

std::wstring DesktopFolder() { return ReadRegistryText(HKEY_CURRENT_USER, kShellFoldersKey, L"Desktop"); }
