#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <exdisp.h>
#include <exdispid.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "recorder/RecorderClient.h"
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

// The events as the control raises them (DWebBrowserEvents2; Wine's ieframe builds them the
// same way): the arguments last first, most of them by reference, some of those wrapped twice.
class EventArguments {
public:
    EventArguments() { ::ZeroMemory(values_, sizeof values_); }
    ~EventArguments() {
        for (BSTR text : texts_) ::SysFreeString(text);
        if (post_) ::SafeArrayDestroy(post_);
    }
    EventArguments(const EventArguments&) = delete;
    EventArguments& operator=(const EventArguments&) = delete;

    // A VARIANT holding a reference to a VARIANT with the text (none: VT_BSTR null).
    VARIANT* Text(const wchar_t* text) {
        VARIANT* value = Next();
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = text ? Keep(text) : nullptr;
        return ByReference(value);
    }
    VARIANT* Number(long number) {
        VARIANT* value = Next();
        V_VT(value) = VT_I4;
        V_I4(value) = number;
        return ByReference(value);
    }
    // Form data as the control passes it: a reference to a reference to the bytes.
    VARIANT* Post(const std::string& data) {
        VARIANT* bytes = Next();
        if (!data.empty()) {
            post_ = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(data.size()));
            std::memcpy(post_->pvData, data.data(), data.size());
            V_VT(bytes) = VT_ARRAY | VT_UI1;
            V_ARRAY(bytes) = post_;
        }
        return ByReference(ByReference(bytes));
    }
    BSTR Keep(const wchar_t* text) {
        texts_.push_back(::SysAllocString(text));
        return texts_.back();
    }

    // Invokes the sink with the arguments in the order the event declares them.
    void Raise(IDispatch* sink, DISPID id, std::vector<VARIANTARG> declared) {
        std::reverse(declared.begin(), declared.end());
        DISPPARAMS params = {declared.data(), nullptr, static_cast<UINT>(declared.size()), 0};
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }

private:
    VARIANT* Next() { return &values_[used_++]; }
    VARIANT* ByReference(VARIANT* target) {
        VARIANT* value = Next();
        V_VT(value) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(value) = target;
        return value;
    }
    VARIANT values_[16];
    int used_ = 0;
    std::vector<BSTR> texts_;
    SAFEARRAY* post_ = nullptr;
};

VARIANTARG Dispatch(IDispatch* object) {
    VARIANTARG value;
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = object;
    return value;
}
VARIANTARG CancelFlag(VARIANT_BOOL* cancel) {
    VARIANTARG value;
    V_VT(&value) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&value) = cancel;
    return value;
}

// BeforeNavigate2 (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel); true when
// the pane cancelled it, keeping the address from the control.
bool BeforeNavigate(IDispatch* sink, IDispatch* frame, const wchar_t* url, const std::string& post = std::string()) {
    EventArguments a;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    a.Raise(sink, DISPID_BEFORENAVIGATE2,
            {Dispatch(frame), *a.Text(url), *a.Number(0), *a.Text(nullptr), *a.Post(post), *a.Text(nullptr),
             CancelFlag(&cancel)});
    return cancel == VARIANT_TRUE;
}

// DocumentComplete (pDisp, URL).
void DocumentComplete(IDispatch* sink, IDispatch* frame, const wchar_t* url) {
    EventArguments a;
    a.Raise(sink, DISPID_DOCUMENTCOMPLETE, {Dispatch(frame), *a.Text(url)});
}

// NewWindow3 (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl); true when cancelled.
bool NewWindow3(IDispatch* sink, long flags, const wchar_t* url) {
    EventArguments a;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* window = nullptr;
    VARIANTARG newWindow, number, context, address;
    V_VT(&newWindow) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&newWindow) = &window;
    V_VT(&number) = VT_I4;
    V_I4(&number) = flags;
    V_VT(&context) = VT_BSTR;
    V_BSTR(&context) = a.Keep(L"http://127.0.0.1:9/content.html");
    V_VT(&address) = VT_BSTR;
    V_BSTR(&address) = a.Keep(url);
    a.Raise(sink, DISPID_NEWWINDOW3, {newWindow, CancelFlag(&cancel), number, context, address});
    EXPECT_EQ(window, nullptr) << "no window may be handed to the control";
    return cancel == VARIANT_TRUE;
}

// NewWindow2 (ppDisp, Cancel); true when cancelled.
bool NewWindow2(IDispatch* sink) {
    EventArguments a;
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* window = nullptr;
    VARIANTARG newWindow;
    V_VT(&newWindow) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&newWindow) = &window;
    a.Raise(sink, DISPID_NEWWINDOW2, {newWindow, CancelFlag(&cancel)});
    return cancel == VARIANT_TRUE;
}

// The real control, with a clock the test moves.
class ClockedBrowser : public ContentBrowser {
public:
    DWORD now = 100000;

protected:
    DWORD Now() const override { return now; }
};

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

// The real control in a pane, with the recorder as the user's browser.
class PaneNavigationTest : public ContentBrowserTest {
protected:
    void SetUp() override {
        ContentBrowserTest::SetUp();
        ASSERT_TRUE(browser.Placed());
        ASSERT_TRUE(pane.Create(IDC_CONTENT, kContentRect, frame.Handle())) << "the WebBrowser control is missing";
        top = pane.Browser();
        sink = pane.EventSink();
        // A frame of the page is a WebBrowser object of its own.
        ASSERT_EQ(S_OK, ::CoCreateInstance(__uuidof(WebBrowser), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IDispatch),
                                           pageFrame.PutVoid()));
    }
    // The window inside the pane that the user's input reaches.
    HWND Inside() const {
        HWND child = ::GetWindow(pane.Handle(), GW_CHILD);
        return child ? child : pane.Handle();
    }
    // A click, and a key, as the modal loop hands them on.
    void ClickInside() {
        ::PostMessageW(Inside(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        ::PostMessageW(Inside(), WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
        RunQueuedMessages();
    }
    void PressInside(WPARAM key) {
        ::PostMessageW(Inside(), WM_KEYDOWN, key, 0);
        ::PostMessageW(Inside(), WM_KEYUP, key, 0);
        RunQueuedMessages();
    }
    std::vector<std::wstring> Opened() const {
        std::vector<std::wstring> addresses;
        for (const LaunchRecord& r : browser.Records()) {
            EXPECT_EQ(r.showWindow, SW_SHOWNORMAL);
            addresses.push_back(r.parameters);
        }
        return addresses;
    }

    TempDir programs;
    RecorderBrowser browser{programs};
    ClockedBrowser pane;
    IDispatch* top = nullptr;
    IDispatch* sink = nullptr;
    ComPtr<IDispatch> pageFrame;
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

TEST_F(PaneNavigationTest, OnlyALinkTheUserFollowsAfterTheFirstLoadLeavesThePane) {
    const DWORD lifetime = ContentBrowser::kGestureLifetimeMs;
    // The page's own loading stays in the pane, a click or not, until the page itself is
    // complete (its frames complete before it).
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/content.html"));
    DocumentComplete(sink, pageFrame.Get(), L"http://127.0.0.1:9/frame.html");
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/still-loading.html"));
    DocumentComplete(sink, top, L"http://127.0.0.1:9/content.html");

    // A redirect, or the page's script, without a click: in the pane.
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/next.html"));
    // A click in a frame loads the frame, in the pane; the click is spent there.
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, pageFrame.Get(), L"http://127.0.0.1:9/frame2.html"));
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/after-frame.html"));
    // A form sent by a click: its data cannot be handed to another browser.
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/subscribe", "email=user%40example.test"));
    // Nothing but a web address is ever handed on.
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, top, L"file:///C:/windows/notepad.exe"));
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, top, L"javascript:void(0)"));
    // A click long before is no click for this navigation (a page that changes by itself).
    ClickInside();
    pane.now += lifetime + 1;
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/rotating.html"));
    EXPECT_TRUE(Opened().empty());

    // The user's own link opens in the browser, as one argument, however the page wrote it.
    ClickInside();
    pane.now += lifetime;
    EXPECT_TRUE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/offer.html?a=1&b=\"x y\" --new-window"));
    ASSERT_TRUE(browser.WaitForRecord(1));
    // A link followed by Enter, too; and one click is one navigation.
    PressInside(VK_RETURN);
    EXPECT_TRUE(BeforeNavigate(sink, top, L"HTTPS://example.test/terms"));
    EXPECT_FALSE(BeforeNavigate(sink, top, L"http://127.0.0.1:9/redirect-after-click.html"));
    ASSERT_TRUE(browser.WaitForRecord(2));
    EXPECT_EQ(Opened(), (std::vector<std::wstring>{L"http://127.0.0.1:9/offer.html?a=1&b=%22x%20y%22%20--new-window",
                                                   L"HTTPS://example.test/terms"}));
}

TEST_F(PaneNavigationTest, NoWindowOfItsOwnAndTheOnesTheUserAsksForGoToTheBrowser) {
    const long kUserInitiated = 0x2, kFirst = 0x4, kUserRequested = 0x80;
    DocumentComplete(sink, top, L"http://127.0.0.1:9/content.html");
    // The page's own pop-ups are dropped; so is a user's window that is no web address.
    EXPECT_TRUE(NewWindow3(sink, 0, L"http://127.0.0.1:9/popup.html"));
    EXPECT_TRUE(NewWindow3(sink, kFirst, L"http://127.0.0.1:9/popup.html"));
    EXPECT_TRUE(NewWindow3(sink, kUserInitiated, L"file:///C:/windows/notepad.exe"));
    EXPECT_TRUE(NewWindow2(sink));
    // A link with a target of its own, clicked or shift-clicked.
    EXPECT_TRUE(NewWindow3(sink, kUserInitiated | kFirst, L"http://127.0.0.1:9/offer.html"));
    ASSERT_TRUE(browser.WaitForRecord(1));
    EXPECT_TRUE(NewWindow3(sink, kUserRequested, L"http://127.0.0.1:9/more.html"));
    ASSERT_TRUE(browser.WaitForRecord(2));
    EXPECT_EQ(Opened(), (std::vector<std::wstring>{L"http://127.0.0.1:9/offer.html", L"http://127.0.0.1:9/more.html"}));
}

TEST_F(PaneNavigationTest, EventsWithoutTheirArgumentsChangeNothing) {
    DocumentComplete(sink, top, L"http://127.0.0.1:9/content.html");
    for (DISPID id : {DISPID_BEFORENAVIGATE2, DISPID_NEWWINDOW2, DISPID_NEWWINDOW3, DISPID_DOCUMENTCOMPLETE}) {
        ClickInside();
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr);
        DISPPARAMS none = {nullptr, nullptr, 7, 0};  // a count, but no arguments
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
        // The right count of arguments, all empty.
        VARIANTARG empty[7] = {};
        DISPPARAMS blank = {empty, nullptr, 7, 0};
        sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &blank, nullptr, nullptr, nullptr);
    }
    // A navigation that names a frame object of no kind, and no address.
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, nullptr, L"http://127.0.0.1:9/offer.html"));
    ClickInside();
    EXPECT_FALSE(BeforeNavigate(sink, top, nullptr));
    PumpMessages(500);
    EXPECT_TRUE(Opened().empty());
}

TEST_F(ContentBrowserTest, TheRealControlReportsAnErrorWithoutADialog) {
    // Without an HTML engine the control may refuse to be made or to load anything; either
    // way the page keeps its picture and no dialog appears.
    ContentBrowser browser;
    bool created = browser.Create(IDC_CONTENT, kContentRect, frame.Handle());
    if (created) {
        EXPECT_FALSE(::GetWindowLongPtrW(browser.Handle(), GWL_STYLE) & (WS_HSCROLL | WS_VSCROLL));
        // The control itself says it shows no boxes: script errors and the like stay silent.
        VARIANT_BOOL silent = VARIANT_FALSE;
        EXPECT_EQ(S_OK, browser.Browser()->get_Silent(&silent));
        EXPECT_EQ(silent, VARIANT_TRUE);
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
