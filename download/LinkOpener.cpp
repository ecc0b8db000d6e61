#include "download/LinkOpener.h"

#include <shellapi.h>

#include "download/Registry.h"

namespace {

// ShellExecuteW reports success with a value above 32.
bool Started(HINSTANCE result) { return reinterpret_cast<INT_PTR>(result) > 32; }

}  // namespace

std::wstring BrowserPath() {
    std::wstring pageClass = ReadRegistryText(HKEY_CLASSES_ROOT, L".htm", L"");
    if (pageClass.empty()) return std::wstring();
    std::wstring command = ReadRegistryText(HKEY_CLASSES_ROOT, pageClass + L"\\shell\\open\\command", L"");
    if (command.empty()) return std::wstring();
    ::CharUpperBuffW(&command[0], static_cast<DWORD>(command.size()));
    size_t exe = command.find(L".EXE");
    if (exe == std::wstring::npos) return std::wstring();
    // The registered arguments (often "%1") are dropped; the address replaces them.
    std::wstring path;
    for (wchar_t c : command.substr(0, exe + 4))
        if (c != L'"') path += c;
    return path;
}

void OpenLink(const std::wstring& url) {
    std::wstring browser = BrowserPath();
    if (!browser.empty()) {
        ::ShellExecuteW(nullptr, L"Open", browser.c_str(), url.c_str(), nullptr, SW_SHOWNORMAL);
        return;
    }
    if (Started(::ShellExecuteW(nullptr, L"open", L"IExplore.exe", url.c_str(), nullptr, SW_SHOWNORMAL))) return;
    ::ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TrimInstallFolder(std::wstring& folder) {
    const std::wstring original = folder;
    while (!folder.empty() && folder.back() == L'/') folder.pop_back();
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    if (folder.size() == 2 && folder[1] == L':' && original.size() > 2) folder = original.substr(0, 3);
}

int StartInstaller(const std::wstring& installerPath, std::wstring& installPath, HWND wizard) {
    TrimInstallFolder(installPath);
    // The installer takes the folder as its whole command line, unquoted, spaces and all.
    HINSTANCE result =
        ::ShellExecuteW(nullptr, L"Open", installerPath.c_str(), installPath.c_str(), nullptr, SW_SHOWNORMAL);
    if (!Started(result)) return static_cast<int>(reinterpret_cast<INT_PTR>(result));
    // Give the installer time to show its window before the wizard disappears.
    ::Sleep(2000);
    ::PostMessageW(wizard, WM_CLOSE, 0, 0);
    return 33;  // the handle-like value itself may not fit an int
}

bool InstallerFileUnusable(int startResult) {
    switch (startResult) {
    case ERROR_FILE_NOT_FOUND:   // removed since the download, by a virus scanner perhaps
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_FORMAT:       // not a program, or a damaged one
    case SE_ERR_NOASSOC:         // no program is registered for the file's kind
    case SE_ERR_ASSOCINCOMPLETE:
        return true;
    default:                     // refused, out of memory, cancelled: the file may be fine
        return false;
    }
}
