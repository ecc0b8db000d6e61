#include "download/Shortcut.h"

#include <shlobj.h>

#include "config/Settings.h"
#include "download/Registry.h"
#include "framework/Handles.h"

namespace {

// The longest link file name, ".lnk" included, that is written.
constexpr size_t kMaxFileName = 259;

}  // namespace

// A name the system would cut or refuse is never written, so the next run can always remove
// what this one wrote.
std::wstring ShortcutFileName(std::wstring text) {
    ReplaceAll(text, L"%AppName%", AppSettings().BrandProduct);
    std::wstring name = text + L".lnk";
    if (name.size() > kMaxFileName) return std::wstring();
    for (wchar_t c : name)
        if (c < 32 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) return std::wstring();
    return name;
}

namespace {

// COM for the calling thread, for as long as the object lives; a thread that already has
// COM keeps it as it was.
class ComScope {
public:
    ComScope() : initialised_(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ComScope() {
        if (initialised_) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised_;
};

std::wstring ExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

}  // namespace

void RemoveOldShortcuts(const PackageFile& languageFile) {
    std::wstring desktop = DesktopFolder();
    if (desktop.empty()) return;
    for (const std::wstring& language : ListLanguages(languageFile)) {
        std::wstring text = ReadLanguageValue(language, L"InstallerShortCutString", languageFile, false);
        if (text.empty()) continue;
        std::wstring name = ShortcutFileName(text);
        if (!name.empty()) ::DeleteFileW((desktop + L"\\" + name).c_str());
    }
    ::SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHW, desktop.c_str(), nullptr);
}

bool CreateDesktopShortcut(const PackageFile& languageFile) {
    RemoveOldShortcuts(languageFile);
    std::wstring desktop = DesktopFolder();
    if (desktop.empty()) return false;
    std::wstring name = ShortcutFileName(AppTexts().InstallerShortCutString);
    if (name.empty()) return false;
    ComScope com;
    return SUCCEEDED(CreateShellLink(ExecutablePath(), desktop + L"\\" + name, L""));
}

HRESULT CreateShellLink(const std::wstring& target, const std::wstring& linkPath, const std::wstring& description) {
    // The wide interface: through IShellLinkA a path with letters outside the system code
    // page would be stored with "#" in their place, and the shortcut would lead nowhere.
    ComPtr<IShellLinkW> link;
    HRESULT result = ::CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), link.PutVoid());
    if (FAILED(result)) return result;
    link->SetPath(target.c_str());
    link->SetDescription(description.c_str());
    ComPtr<IPersistFile> file;
    result = link.As(file);
    if (FAILED(result)) return result;
    return file->Save(linkPath.c_str(), TRUE);
}
