#include <gtest/gtest.h>


#include <vector>

#include "framework/Handles.h"
#include "framework/Window.h"
#include "resources/resource.h"
#include "tests/support/TestSupport.h"

namespace {

// A frame on the wizard template that records what reaches it.
class Frame : public Dispatching<Frame, Dialog> {
public:
    Frame() : Dispatching(IDD_WIZARD) {}
    static MessageTable<Frame> Messages();
    bool PreTranslateMessage(MSG& msg) override {
        // Swallows F5 key presses anywhere inside the frame.
        return swallowF5 && msg.message == WM_KEYDOWN && msg.wParam == VK_F5;
    }
    std::vector<std::wstring> log;
    bool swallowF5 = false;

protected:
    void OnOK() override { log.push_back(L"frame OK"); }
    void OnCancel() override { log.push_back(L"frame Cancel"); }

private:
    // A row's handler without parameters.
    void OnContinue() { log.push_back(L"continue"); }
    LRESULT OnAnyCommand(WPARAM, LPARAM) {
        // Passes on, so that the next matching row and the base class still get it.
        log.push_back(L"any command");
        NotHandled();
        return 0;
    }
    LRESULT OnBackWithCode(WPARAM, LPARAM) {
        log.push_back(L"back clicked");
        return 0;
    }
};

MessageTable<Frame> Frame::Messages() {
    static const MessageEntry<Frame> rows[] = {
        {WM_COMMAND, kAny, kAny, &Frame::OnAnyCommand},
        {WM_COMMAND, BN_CLICKED, IDC_CONTINUE, &Frame::OnContinue},
        {WM_COMMAND, BN_CLICKED, IDC_BACK, &Frame::OnBackWithCode},
    };
    return rows;
}

// A page on the install-location template: Enter and Escape are its own commands.
class Page : public Dialog {
public:
    explicit Page(std::vector<std::wstring>& log) : Dialog(IDD_INSTALL_LOCATION), log_(log) {}

protected:
    void OnOK() override { log_.push_back(L"page OK"); }
    void OnCancel() override { log_.push_back(L"page Cancel"); }

private:
    std::vector<std::wstring>& log_;
};

// A static control that colours itself when its parent asks.
class SelfColoured : public Dispatching<SelfColoured, Control> {
public:
    bool ColorsItself() const override { return true; }
    static MessageTable<SelfColoured> Messages();
    int reflected = 0;

private:
    LRESULT OnColour(WPARAM, LPARAM) {
        ++reflected;
        return reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH));
    }
};

MessageTable<SelfColoured> SelfColoured::Messages() {
    static const MessageEntry<SelfColoured> rows[] = {
        {Reflected(WM_CTLCOLORSTATIC), kAny, kAny, &SelfColoured::OnColour},
    };
    return rows;
}

// Delivers posted messages the way the modal loop does.
void RunLoopBriefly() {
    MSG msg;
    for (int i = 0; i < 50; ++i) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (RouteMessage(msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    }
}

void PressKey(HWND target, WPARAM key) {
    ::PostMessageW(target, WM_KEYDOWN, key, 1);
    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
    RunLoopBriefly();
}

}  // namespace

TEST(MessageTable, RowsMatchByCodeAndIdAndChainToTheBase) {
    Frame frame;
    ASSERT_TRUE(frame.Create(nullptr));
    ::SendMessageW(frame.Handle(), WM_COMMAND, MAKEWPARAM(IDC_CONTINUE, BN_CLICKED),
                   reinterpret_cast<LPARAM>(frame.Item(IDC_CONTINUE)));
    ::SendMessageW(frame.Handle(), WM_COMMAND, MAKEWPARAM(IDC_BACK, BN_SETFOCUS),
                   reinterpret_cast<LPARAM>(frame.Item(IDC_BACK)));
    ::SendMessageW(frame.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(frame.log, (std::vector<std::wstring>{L"any command", L"continue", L"any command", L"any command",
                                                    L"frame Cancel"}));
}

TEST(ModalLoop, EnterAndEscapeReachTheInnermostPageFirst) {
    Frame frame;
    ASSERT_TRUE(frame.Create(nullptr));
    Page page(frame.log);
    ASSERT_TRUE(page.Create(frame.Handle()));
    ::ShowWindow(frame.Handle(), SW_SHOW);
    ::ShowWindow(page.Handle(), SW_SHOW);
    HWND edit = page.Item(IDC_INSTALL_PATH);
    ::SetFocus(edit);

    PressKey(edit, VK_RETURN);
    PressKey(edit, VK_ESCAPE);
    EXPECT_EQ(frame.log, (std::vector<std::wstring>{L"page OK", L"page Cancel"}));
}

TEST(ModalLoop, PreTranslationOfAParentSwallowsKeysOfItsChildren) {
    Frame frame;
    ASSERT_TRUE(frame.Create(nullptr));
    Page page(frame.log);
    ASSERT_TRUE(page.Create(frame.Handle()));
    ::ShowWindow(frame.Handle(), SW_SHOW);
    ::ShowWindow(page.Handle(), SW_SHOW);
    HWND edit = page.Item(IDC_INSTALL_PATH);
    ::SetFocus(edit);

    frame.swallowF5 = true;
    // A WM_CHAR posted after a swallowed F5 still arrives: only the key press is eaten.
    ::PostMessageW(edit, WM_KEYDOWN, VK_F5, 1);
    ::PostMessageW(edit, WM_CHAR, L't', 1);
    RunLoopBriefly();
    EXPECT_EQ(TextOf(edit), L"t");
}

TEST(ModalLoop, RunModalEndsWhenTheWindowIsDestroyed) {
    Frame frame;
    // Closing from inside the loop: a posted message destroys the window.
    struct Timer {
        static void CALLBACK Fired(HWND, UINT, UINT_PTR id, DWORD) {
            ::KillTimer(nullptr, id);
            HWND w = ::FindWindowW(L"#32770", L"");
            if (w) ::DestroyWindow(w);
        }
    };
    ::SetTimer(nullptr, 0, 50, &Timer::Fired);
    INT_PTR result = frame.RunModal(nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(frame.Handle(), nullptr);
}

TEST(Control, SubclassedControlColoursItselfThroughItsParent) {
    Frame frame;
    ASSERT_TRUE(frame.Create(nullptr));
    Page page(frame.log);
    ASSERT_TRUE(page.Create(frame.Handle()));
    SelfColoured label;
    ASSERT_TRUE(label.Subclass(page.Item(IDC_TERMS_TEXT)));
    EXPECT_EQ(Window::FromHandle(page.Item(IDC_TERMS_TEXT)), &label);

    HDC dc = ::GetDC(page.Item(IDC_TERMS_TEXT));
    LRESULT brush = ::SendMessageW(page.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(page.Item(IDC_TERMS_TEXT)));
    ::ReleaseDC(page.Item(IDC_TERMS_TEXT), dc);
    EXPECT_EQ(label.reflected, 1);
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(::GetStockObject(BLACK_BRUSH)));

    // A control that is not ours is left to the default colouring.
    label.reflected = 0;
    dc = ::GetDC(page.Item(IDC_SETUP_CONTINUED));
    ::SendMessageW(page.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                   reinterpret_cast<LPARAM>(page.Item(IDC_SETUP_CONTINUED)));
    ::ReleaseDC(page.Item(IDC_SETUP_CONTINUED), dc);
    EXPECT_EQ(label.reflected, 0);
}

TEST(DataExchange, EditTextRoundTrips) {
    Frame frame;
    ASSERT_TRUE(frame.Create(nullptr));
    Page page(frame.log);
    ASSERT_TRUE(page.Create(frame.Handle()));
    std::wstring value = L"C:\\Spiele\\\x041F\x043E\x043A\x0435\x0440";
    ExchangeText(page.Handle(), IDC_INSTALL_PATH, value, false);
    std::wstring back;
    ExchangeText(page.Handle(), IDC_INSTALL_PATH, back, true);
    EXPECT_EQ(back, value);
}

TEST(Handles, OwnersCloseOnceAndMoveOwnership) {
    TempDir dir;
    std::wstring path = dir / L"f.bin";
    HANDLE raw;
    {
        FileHandle a(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(a);
        raw = a.Get();
        FileHandle b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), raw);
        DWORD flags;
        EXPECT_TRUE(::GetHandleInformation(raw, &flags));
    }
    // Closed once, by the owner that held it last: the file can be opened exclusively again.
    FileHandle again(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(again);
}
