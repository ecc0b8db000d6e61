#include "app/InstallerApp.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <memory>

#include "app/WizardLock.h"
#include "config/Settings.h"
#include "config/Texts.h"
#include "wizard/Density.h"
#include "wizard/WizardWindow.h"

bool IsProductWindowOpen() {
    const std::wstring& title = AppSettings().WindowsGroup;
    // FindWindow with an empty title matches any untitled window: missing
    // configuration must not refuse start-up.
    if (title.empty()) return false;
    return ::FindWindowW(nullptr, title.c_str()) != nullptr;
}

HWND FindInstallerWindow(const PackageFile& languageFile) {
    for (const std::wstring& language : ListLanguages(languageFile)) {
        std::wstring title = ReadLanguageValue(language, L"ApplicationTitle", languageFile, true);
        if (title.empty()) continue;
        if (HWND window = ::FindWindowW(nullptr, title.c_str())) return window;
    }
    return nullptr;
}

const wchar_t kIncompleteMessage[] =
    L"This installer is incomplete: its settings are missing.\n\nPlease download it again from its publisher.";

namespace {

void Refuse(const std::wstring& text) {
    ::MessageBoxW(nullptr, text.c_str(), AppTexts().ApplicationTitle.c_str(), MB_OK | MB_ICONERROR);
}

// The executable's file name without its extension, the caption Windows' own messages give a
// program that has no title of its own.
std::wstring ProgramName() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name.erase(0, name.find_last_of(L"\\/") + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

bool InstallerApp::Start() {
    ::InitCommonControls();
    // Neither a package inside nor settings beside: a browser saved the executable alone, or it
    // was started from a zip without its files. The wizard would be empty, with nothing to
    // download; there are no texts either, so this one message is the program's own.
    if (!SettingsFile().Exists()) {
        ::MessageBoxW(nullptr, kIncompleteMessage, ProgramName().c_str(), MB_OK | MB_ICONERROR);
        return false;
    }
    // The embedded web content and the new-style folder browser need OLE on this thread.
    ::OleInitialize(nullptr);
    LoadSettings();

    std::wstring language = FindLanguageByShortName(AppSettings().DefaultLanguage);
    if (language.empty()) language = L"English";
    // Texts first, so that the refusals speak the default language.
    LoadTexts(language);

    // The product check comes first: a copy that holds the lock while it shows that refusal
    // would have the next copy say that an installer is open.
    WizardLock lock;
    HWND otherInstaller = nullptr;
    if (IsProductWindowOpen()) {
        Refuse(AppTexts().ApplicationOpenMsg);
    } else if (!lock.Acquire(AppSettings().BrandProduct)) {
        Refuse(AppTexts().OtherInstallerOpenMsg);
        lock.BringHolderToFront();
    } else if ((otherInstaller = FindInstallerWindow(LanguageFile())) != nullptr) {
        // Another product's installer, or one from before the lock, under one of our titles.
        Refuse(AppTexts().OtherInstallerOpenMsg);
        BringToFront(otherInstaller);
    } else {
        RecordScreenDensity();
        auto wizard = std::make_unique<WizardWindow>();
        wizard->RunModal(nullptr);
    }
    ::OleUninitialize();
    return false;
}
