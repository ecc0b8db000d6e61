#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <exdispid.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tests/wizard/WizardTestSupport.h"
#include "resources/resource.h"
#include "wizard/ContentBrowser.h"

namespace {

// The content window with a stand-in for the control: no HTML engine runs here, so the
// test decides whether a document is there when the control reports one complete.
class StandInBrowser : public ContentBrowser {
public:
    bool hasDocument = true;

protected:
    bool Embed() override { return true; }
    bool RefreshDocument() override { return hasDocument; }
};

void Fire(IDispatch* sink, DISPID id) {
    DISPPARAMS none = {};
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
}

void Hide(HWND window) {
    // As the preloader page does: the style bit only, before it navigates.
    ::SetWindowLongPtrW(window, GWL_STYLE, ::GetWindowLongPtrW(window, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_VISIBLE));
}

const RECT kContentRect = {0, 0, 460, 445};

// The messages a window got (message and wParam), seen before its own procedure.
LRESULT CALLBACK RecordMessages(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR seen) {
    reinterpret_cast<std::vector<std::pair<UINT, WPARAM>>*>(seen)->emplace_back(message, wParam);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// One turn of the modal loop for everything queued.
void RunQueuedMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (RouteMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void SetControlKey(bool down) {
    BYTE keys[256];
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    ::SetKeyboardState(keys);
}

// A visible dialog of this thread other than the given one (a message box, for instance).
HWND OtherDialog(HWND known) {
    struct Search {
        HWND known, found;
    } search = {known, nullptr};
    struct Visit {
        static BOOL CALLBACK Window(HWND window, LPARAM data) {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (window != s->known && ::IsWindowVisible(window) && lstrcmpW(name, L"#32770") == 0) s->found = window;
            return s->found == nullptr;
        }
    };
    ::EnumThreadWindows(::GetCurrentThreadId(), &Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class ContentBrowserTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(frame.Create(nullptr)); }

    OleScope ole;
    TemplateDialog frame{IDD_WIZARD};
};

}  // namespace

TEST_F(ContentBrowserTest, DocumentCompleteShowsTheContentUnlessANavigationFailed) {
    StandInBrowser shown, failed;
    ASSERT_TRUE(shown.Create(IDC_CONTENT, kContentRect, frame.Handle()));
    ASSERT_TRUE(failed.Create(IDC_CONTENT + 1, kContentRect, frame.Handle()));
    EXPECT_FALSE(::GetWindowLongPtrW(shown.Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL));
    Hide(shown.Handle());
    Hide(failed.Handle());

    // A completion without an HTML document changes nothing.
    shown.hasDocument = false;
    Fire(shown.EventSink(), DISPID_DOCUMENTCOMPLETE);
    EXPECT_FALSE(::IsWindowVisible(shown.Handle()));
    shown.hasDocument = true;
    Fire(shown.EventSink(), DISPID_DOCUMENTCOMPLETE);
    EXPECT_TRUE(::IsWindowVisible(shown.Handle()));

    // After an error the browser's own error page completes, and any page after it.
    Fire(failed.EventSink(), DISPID_NAVIGATEERROR);
    Fire(failed.EventSink(), DISPID_DOCUMENTCOMPLETE);
    Fire(failed.EventSink(), DISPID_DOCUMENTCOMPLETE);
    EXPECT_FALSE(::IsWindowVisible(failed.Handle()));
    EXPECT_TRUE(::IsWindowVisible(frame.Handle()));
}

TEST_F(ContentBrowserTest, OnlyRightClicksCtrlNAndF5AreKeptFromThePage) {
    StandInBrowser browser;
    ASSERT_TRUE(browser.Create(IDC_CONTENT, kContentRect, frame.Handle()));
    // The page's own window inside the control stands in as an edit box.
    HWND page = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, browser.Handle(), nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, page);
    std::vector<std::pair<UINT, WPARAM>> seen;
    ::SetWindowSubclass(page, RecordMessages, 1, reinterpret_cast<DWORD_PTR>(&seen));

    struct Case {
        UINT message;
        WPARAM wParam;
        bool control;
        bool kept;
    } cases[] = {
        {WM_RBUTTONDOWN, MK_RBUTTON, false, true},
        {WM_RBUTTONDBLCLK, MK_RBUTTON, false, true},
        {WM_MBUTTONDOWN, MK_MBUTTON, false, false},
        {WM_KEYDOWN, VK_F5, false, true},
        {WM_SYSKEYDOWN, VK_F5, false, true},
        {WM_KEYDOWN, 'N', true, true},
        {WM_KEYDOWN, 'N', false, false},
        {WM_CHAR, 'N', true, false},  // characters are typed into the page, "t" (0x74, as F5) too
        {WM_CHAR, 't', false, false},
        {WM_KEYUP, VK_F5, false, false},
    };
    for (const Case& c : cases) {
        seen.clear();
        SetControlKey(c.control);
        ::PostMessageW(page, c.message, c.wParam, 0);
        RunQueuedMessages();
        bool arrived = std::find(seen.begin(), seen.end(), std::make_pair(c.message, c.wParam)) != seen.end();
        EXPECT_NE(c.kept, arrived) << "message " << c.message << " with " << c.wParam;
    }
    SetControlKey(false);
    ::RemoveWindowSubclass(page, RecordMessages, 1);
}

TEST_F(ContentBrowserTest, TheRealControlReportsAnErrorWithoutADialog) {
    // Without an HTML engine the control may refuse to be made or to load anything; either
    // way the page keeps its picture and no dialog appears.
    ContentBrowser browser;
    bool created = browser.Create(IDC_CONTENT, kContentRect, frame.Handle());
    if (created) {
        EXPECT_FALSE(::GetWindowLongPtrW(browser.Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL));
        Hide(browser.Handle());
        // Nothing listens on the discard port: the control reports a navigation error
        // through the sink, and the content stays hidden.
        EXPECT_EQ(S_OK, browser.Navigate(L"http://127.0.0.1:9/content.html"));
        EXPECT_TRUE(WaitFor([&] { return browser.NavigationFailed(); }));
        PumpMessages(200);
        EXPECT_FALSE(::IsWindowVisible(browser.Handle()));
    } else {
        EXPECT_EQ(nullptr, frame.Item(IDC_CONTENT));
        EXPECT_EQ(S_FALSE, browser.Navigate(L"http://127.0.0.1:9/"));
    }
    EXPECT_EQ(nullptr, OtherDialog(frame.Handle()));
}
