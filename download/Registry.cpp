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

std::wstring ProgramFilesFolder() { return ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir"); }

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

std::wstring ReadRegistryText(HKEY root, const std::wstring& key, const std::wstring& value) {
    RegKey opened;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, opened.Put()) != ERROR_SUCCESS) return std::wstring();
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

std::wstring DefaultInstallFolder() { return ProgramFilesFolder() + L"\\" + AppSettings().InstallFolderName; }

std::wstring RecordedInstallLocation() {
    return ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey + AppSettings().OtherProductForCommonInstall,
                            L"InstallLocation");
}

bool IsWindows6OrLater() {
    return LeadingWholeNumber(ReadRegistryText(HKEY_LOCAL_MACHINE, kWindowsNtKey, L"CurrentVersion")) >= 6;
}

bool IsInProgramFiles(const std::wstring& path) {
    std::wstring folder = ProgramFilesFolder();
    if (path.find(folder + L"\\") != std::wstring::npos) return true;
    return ::lstrcmpiW(path.c_str(), folder.c_str()) == 0;
}

std::wstring VistaInstallFolder() {
    return AppSettings().VistaDefaultInstallPath + L"\\" + AppSettings().InstallFolderName;
}

bool IsProductInstalled() {
    return !ReadRegistryText(HKEY_LOCAL_MACHINE, kUninstallKey + AppSettings().BrandProduct, L"UninstallString")
                .empty();
}

void SaveDownloadPath(const std::wstring& folder) {
    WriteRegistryText(HKEY_CURRENT_USER, L"Software\\" + AppSettings().RegPath, L"DownloadPath", folder);
}

std::wstring DesktopFolder() { return ReadRegistryText(HKEY_CURRENT_USER, kShellFoldersKey, L"Desktop"); }
