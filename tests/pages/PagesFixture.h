#pragma once
// A real wizard for page tests: settings and language files of the test's own, a desktop of
// its own for the shortcuts the frame writes, and a message loop that behaves like the
// wizard's modal one.

#include <windows.h>

#include <atomic>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recorder/RecorderClient.h"
#include "resources/resource.h"
#include "tests/support/TestSupport.h"
#include "wizard/WizardWindow.h"

// A language section whose every text is its tag, a blank and the key ("EN WelcomeTitle"),
// unless it has a text of its own for the key.
struct Language {
    std::wstring name;
    std::wstring shortName;
    std::wstring tag;
    std::map<std::wstring, std::wstring> own = {};
};
std::wstring LanguageText(const Language& language, const std::wstring& key);

// Runs the loop for everything queued, the way the wizard's modal loop does, until the
// condition holds or the time is up.
bool RunLoopUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);
void RunLoopFor(DWORD ms);
// A key press on a window through that loop.
void PressKey(HWND target, WPARAM key);
// A click on a button, as the mouse makes it.
void Click(HWND button);

// Watches for a dialog with the given caption from a thread of its own and hands each one
// (as it appears) to the handler, which must close it. Stops on destruction.
class DialogWatcher {
public:
    DialogWatcher(std::wstring caption, std::function<void(HWND)> handler);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;
    int Seen() const { return seen_; }

private:
    std::wstring caption_;
    std::function<void(HWND)> handler_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    TestThread thread_;  // last: it stops before the members it reads go
};

// The text of a dialog's child, read from any thread.
std::wstring ChildText(HWND window);
// A rectangle of a child window in its parent's client coordinates.
RECT RectInParent(HWND child);

// How a page prepared a device context for drawing one of its controls.
struct Drawing {
    LRESULT brush = 0;
    COLORREF text = 0;
    int mode = 0;
    LOGFONTW font = {};
};
Drawing DrawingOf(HWND page, UINT ctlColorMessage, HWND control);
// The font a control was given.
LOGFONTW FontOf(HWND control);
// How wide, in pixels, is what the control draws of itself (its text) over a black
// background, leaving out a border of `inset` pixels on every side (a button's frame).
int InkWidth(HWND control, int inset);

class PagesTest : public ::testing::Test {
protected:
    PagesTest();
    ~PagesTest() override;

    // Writes the files and loads settings and texts as start-up does.
    void LoadFiles();
    // LoadFiles, then opens the wizard (modeless, at stage 1).
    void Start();
    // Closes the wizard window and forgets it.
    void Stop();

    WizardWindow& Wizard() { return *wizard; }
    HWND Frame() const { return wizard->Handle(); }
    HWND FrameItem(int id) const { return wizard->Item(id); }
    // The page window that holds the control, or null while the page does not exist.
    HWND PageWith(int controlId) const;
    HWND PageItem(int pageControl, int id) const { return ::GetDlgItem(PageWith(pageControl), id); }
    bool PageVisible(int controlId) const;
    // Each control of the page shows the language's text for the key.
    void ExpectTexts(int pageControl, std::initializer_list<std::pair<int, const wchar_t*>> texts,
                     const Language& language) const;
    // Continue to the install-location page.
    void GoToInstallLocation();
    HWND FolderEdit() const { return PageItem(IDC_INSTALL_PATH, IDC_INSTALL_PATH); }
    void TypeFolder(const std::wstring& folder) const { ::SetWindowTextW(FolderEdit(), folder.c_str()); }

    TempDir dir;
    std::map<std::string, std::string> settings;
    std::vector<Language> languages;
    std::unique_ptr<WizardWindow> wizard;

private:
    std::wstring desktop_;
    std::unique_ptr<RegistryOverride> userDesktop_, desktopValue_;
};

// The two languages most tests use.
extern const Language kEnglish;
extern const Language kGerman;
