// The wizard's frame as a window the user handles, on the real wizard of the pages tests: dragged
// by its background, minimized and restored through its system menu, its icons, its taskbar
// button's progress, and moved to a screen of another density while it is open.
#include "PagesFixture.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/Texts.h"
#include "resources/resource.h"
#include "tests/support/LayoutChecks.h"
#include "tests/support/TaskbarStandIn.h"
#include "wizard/Density.h"

namespace {

constexpr UINT kDensityChanged = 0x02E0;  // WM_DPICHANGED
constexpr UINT kGetScaledSize = 0x02E4;   // WM_GETDPISCALEDSIZE

RECT WindowRect(HWND window) {
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    return rect;
}

SIZE ClientSize(HWND window) {
    RECT rect = {};
    ::GetClientRect(window, &rect);
    return SIZE{rect.right, rect.bottom};
}

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// Real mouse input, through the system's input queue: the window's own hit testing and the
// system's move loop see what a user's mouse makes.
void Mouse(DWORD flags, POINT at) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    ::SendInput(1, &input, sizeof input);
}

// Presses the left button at `from`, moves in steps to `from + by` and lets go; all of it is
// queued before the loop runs, so the system's move loop, once it starts, finds every step.
void Drag(POINT from, POINT by) {
    Mouse(0, from);
    RunLoopFor(50);
    Mouse(MOUSEEVENTF_LEFTDOWN, from);
    for (int step = 1; step <= 4; ++step) Mouse(0, POINT{from.x + by.x * step / 4, from.y + by.y * step / 4});
    Mouse(MOUSEEVENTF_LEFTUP, POINT{from.x + by.x, from.y + by.y});
}

// A point of the window's client area (screen coordinates) where no visible control is.
POINT EmptySpotOf(HWND window) {
    RECT client;
    ::GetClientRect(window, &client);
    for (int y = client.bottom / 4; y < client.bottom; y += 5)
        for (int x = client.right / 2; x < client.right; x += 5) {
            POINT at = {x, y};
            if (::ChildWindowFromPointEx(window, at, CWP_SKIPINVISIBLE) == window) {
                ::ClientToScreen(window, &at);
                return at;
            }
        }
    return POINT{-1, -1};
}

SIZE IconSize(HWND window, WPARAM which) {
    HICON icon = reinterpret_cast<HICON>(::SendMessageW(window, WM_GETICON, which, 0));
    ICONINFO info = {};
    if (!icon || !::GetIconInfo(icon, &info)) return SIZE{0, 0};
    BITMAP bitmap = {};
    ::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
    return SIZE{bitmap.bmWidth, info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2};
}

// Places of the wizard that a change of density moves, in one list for comparing.
struct Snapshot {
    SIZE client;
    std::vector<RECT> rects;
    std::vector<LONG> fontHeights;
};

class FrameWindowTest : public PagesTest {
protected:
    HWND TermsLink() const {
        for (HWND child = ::GetWindow(PageWith(IDC_INSTALL_PATH), GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT))
            if (::GetDlgCtrlID(child) == IDC_TERMS_LINK && ::IsWindowVisible(child)) return child;
        return nullptr;
    }
    Snapshot Take() const {
        Snapshot shot;
        shot.client = ClientSize(Frame());
        HWND page = PageWith(IDC_INSTALL_PATH);
        for (HWND control : {FrameItem(IDC_CONTINUE), FrameItem(IDC_CANCEL_SETUP), FrameItem(IDC_STATUS), page,
                             PageItem(IDC_INSTALL_PATH, IDC_INSTALL_PATH), PageItem(IDC_INSTALL_PATH, IDC_TERMS_TEXT),
                             TermsLink()})
            shot.rects.push_back(RectInParent(control));
        for (HWND control : {FrameItem(IDC_CONTINUE), FrameItem(IDC_PERCENT), PageItem(IDC_INSTALL_PATH, IDC_SETUP_CONTINUED),
                             PageItem(IDC_INSTALL_PATH, IDC_INSTALL_PATH), TermsLink()})
            shot.fontHeights.push_back(FontOf(control).lfHeight);
        return shot;
    }
    // Start with the demo's texts, which fit their places (the tests' own tagged texts are
    // longer than any button).
    void StartWithDemoTexts() {
        LoadFiles();
        WriteBytes(ProgramFolder() + L"Language.ini", ReadBytes(SourceDir() + L"demo\\Language.ini"));
        LoadTexts(L"English");
        wizard = std::make_unique<WizardWindow>();
        ASSERT_TRUE(wizard->Create(nullptr));
        RunLoopFor(50);
    }
    // What Windows sends when the window lands on a screen of another density.
    void ChangeDensity(int density, const RECT* suggested) {
        ::SendMessageW(Frame(), kDensityChanged, MAKEWPARAM(density, density), reinterpret_cast<LPARAM>(suggested));
        RunLoopFor(50);
    }
};

}  // namespace

TEST_F(FrameWindowTest, DraggedByTheBackgroundOfTheFrameAndOfAPageButNotByAButton) {
    Start();
    ::SetWindowPos(Frame(), nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetForegroundWindow(Frame());
    RunLoopFor(50);

    // The header band above the pages belongs to the frame alone.
    RECT start = WindowRect(Frame());
    POINT header = {Scaled(200), Scaled(40)};
    ::ClientToScreen(Frame(), &header);
    ASSERT_EQ(::WindowFromPoint(header), Frame());
    Drag(header, POINT{60, 40});
    ASSERT_TRUE(RunLoopUntil([&] { return WindowRect(Frame()).left != start.left; }, 5000)) << "the frame did not move";
    RunLoopFor(100);
    RECT moved = WindowRect(Frame());
    EXPECT_EQ(moved.left, start.left + 60);
    EXPECT_EQ(moved.top, start.top + 40);
    EXPECT_EQ(moved.right - moved.left, start.right - start.left);

    // An empty spot of the welcome page passes the mouse on: dragging there moves the frame too.
    POINT onPage = EmptySpotOf(PageWith(IDC_LANGUAGE));
    ASSERT_NE(onPage.x, -1);
    Drag(onPage, POINT{-30, 20});
    ASSERT_TRUE(RunLoopUntil([&] { return WindowRect(Frame()).left != moved.left; }, 5000)) << "the page did not pass the drag on";
    RunLoopFor(100);
    RECT again = WindowRect(Frame());
    EXPECT_EQ(again.left, moved.left - 30);
    EXPECT_EQ(again.top, moved.top + 20);

    // A press on a button is the button's: the frame stays, the stage too (the press ends
    // outside the button).
    RECT button = WindowRect(FrameItem(IDC_CONTINUE));
    Drag(POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2}, POINT{-80, -60});
    RunLoopFor(300);
    RECT after = WindowRect(Frame());
    EXPECT_EQ(after.left, again.left);
    EXPECT_EQ(after.top, again.top);
    EXPECT_EQ(Wizard().Stage(), 1);
}

TEST_F(FrameWindowTest, ASystemMenuThatMinimizesRestoresAndClosesLikeCancelWithoutACaption) {
    Start();
    LONG_PTR style = ::GetWindowLongPtrW(Frame(), GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_NE(style & WS_CAPTION, static_cast<LONG_PTR>(WS_CAPTION)) << "the background picture is the caption";
    HMENU menu = ::GetSystemMenu(Frame(), FALSE);
    ASSERT_NE(menu, nullptr);
    for (UINT command : {SC_MOVE, SC_MINIMIZE, SC_CLOSE})
        EXPECT_NE(::GetMenuState(menu, command, MF_BYCOMMAND), static_cast<UINT>(-1)) << command;

    // The taskbar button and the system menu both minimize through this command.
    ::SendMessageW(Frame(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    RunLoopFor(100);
    EXPECT_TRUE(::IsIconic(Frame()));
    ::SendMessageW(Frame(), WM_SYSCOMMAND, SC_RESTORE, 0);
    RunLoopFor(100);
    EXPECT_FALSE(::IsIconic(Frame()));
    EXPECT_TRUE(::IsWindowVisible(Frame()));
    EXPECT_TRUE(PageVisible(IDC_LANGUAGE));
    EXPECT_EQ(Wizard().Stage(), 1);

    // Close from the menu (or Alt+F4) is the frame's Cancel: the features page, not the end.
    ::SendMessageW(Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
    RunLoopFor(100);
    EXPECT_TRUE(::IsWindow(Frame()));
    EXPECT_TRUE(Wizard().FeaturesPageShown());
}

TEST_F(FrameWindowTest, MovedToADenserScreenEverythingIsLaidOutAgainAndBackAsItWas) {
    StartWithDemoTexts();
    GoToInstallLocation();
    const std::vector<std::string> none;
    ASSERT_EQ(TextsCut(Frame()), none);
    const Snapshot before = Take();
    EXPECT_EQ(IconSize(Frame(), ICON_BIG).cx, 32);
    EXPECT_EQ(IconSize(Frame(), ICON_SMALL).cx, 16);

    // Windows asks for the size first (10 1703 and later), then suggests a rectangle.
    SIZE asked = {};
    ASSERT_TRUE(::SendMessageW(Frame(), kGetScaledSize, 144, reinterpret_cast<LPARAM>(&asked)));
    const RECT suggested = {50, 60, 50 + asked.cx, 60 + asked.cy};
    ChangeDensity(144, &suggested);
    {
        // Restore the density for the tests after this one, whatever happens here.
        DensityOverride keep(96);
        SetScreenDensity(144);
        ASSERT_EQ(ScreenDensity(), 144);
        RECT window = WindowRect(Frame());
        EXPECT_TRUE(EqualRect(&window, &suggested)) << Text(window) << " for " << Text(suggested);
        const Snapshot at144 = Take();
        EXPECT_EQ(at144.client.cx, ::MulDiv(before.client.cx, 144, 96));
        EXPECT_EQ(at144.client.cy, ::MulDiv(before.client.cy, 144, 96));
        for (size_t i = 0; i < before.rects.size(); ++i) {
            const RECT& b = before.rects[i];
            const RECT& a = at144.rects[i];
            // Each corner where its design corner scales to. The link is fitted to its text, whose
            // width grows a little faster than the density (hinting): a few percent.
            EXPECT_NEAR(a.left, b.left * 1.5, 1.0) << i << ": " << Text(a);
            EXPECT_NEAR(a.top, b.top * 1.5, 1.0) << i << ": " << Text(a);
            EXPECT_NEAR(a.right - a.left, (b.right - b.left) * 1.5, 1.0 + (b.right - b.left) * 0.05) << i << ": " << Text(a);
        }
        // 9 points, 9 points bold, 14 points, 15 design pixels and 8.5 points, all at 144.
        EXPECT_EQ(at144.fontHeights, (std::vector<LONG>{-18, -18, -28, 23, -17}));
        EXPECT_EQ(IconSize(Frame(), ICON_BIG).cx, 48);
        EXPECT_EQ(IconSize(Frame(), ICON_SMALL).cx, 24);
        EXPECT_EQ(ControlsOutside(Frame()), none);
        EXPECT_EQ(TextsCut(Frame()), none);

        // A page made after the change is laid out at the new density.
        Click(FrameItem(IDC_CANCEL_SETUP));
        ASSERT_TRUE(PageVisible(IDC_CONTINUE_INSTALL));
        EXPECT_EQ(FontOf(PageItem(IDC_CONTINUE_INSTALL, IDC_DONT_MISS)).lfHeight, -28);
        EXPECT_EQ(ControlsOutside(Frame()), none);
        Click(PageItem(IDC_CONTINUE_INSTALL, IDC_CONTINUE_INSTALL));
    }

    // Back on the first screen: the layout is the first one again, to the pixel.
    const RECT home = {300, 200, 300 + WindowRect(Frame()).right - WindowRect(Frame()).left, 0};
    ChangeDensity(96, &home);
    EXPECT_EQ(ScreenDensity(), 96);
    EXPECT_EQ(WindowRect(Frame()).left, 300);
    const Snapshot after = Take();
    EXPECT_EQ(after.client.cx, before.client.cx);
    EXPECT_EQ(after.client.cy, before.client.cy);
    for (size_t i = 0; i < before.rects.size(); ++i)
        EXPECT_TRUE(EqualRect(&after.rects[i], &before.rects[i])) << i << ": " << Text(after.rects[i]);
    EXPECT_EQ(after.fontHeights, before.fontHeights);
    EXPECT_EQ(IconSize(Frame(), ICON_BIG).cx, 32);
}

TEST_F(FrameWindowTest, ADensityChangeWithoutASuggestionOrWithANonsenseDensity) {
    Start();
    const RECT start = WindowRect(Frame());
    const SIZE client = ClientSize(Frame());
    // No density at all, or one no screen has: nothing changes.
    for (int nonsense : {0, 5, 20000}) {
        ChangeDensity(nonsense, nullptr);
        EXPECT_EQ(ScreenDensity(), 96) << nonsense;
        EXPECT_EQ(ClientSize(Frame()).cx, client.cx) << nonsense;
    }
    SIZE asked = {7, 7};
    EXPECT_FALSE(::SendMessageW(Frame(), kGetScaledSize, 0, reinterpret_cast<LPARAM>(&asked)));
    EXPECT_FALSE(::SendMessageW(Frame(), kGetScaledSize, 144, 0));
    // Without a suggested rectangle the window stays where it is, laid out at the new density.
    ChangeDensity(120, nullptr);
    {
        DensityOverride keep(96);
        SetScreenDensity(120);
        EXPECT_EQ(ClientSize(Frame()).cx, ::MulDiv(client.cx, 120, 96));
        EXPECT_EQ(WindowRect(Frame()).left, start.left);
        EXPECT_EQ(WindowRect(Frame()).top, start.top);
    }
    ChangeDensity(96, nullptr);
}

TEST_F(FrameWindowTest, TaskbarButtonProgressOnlyOnceTheShellMadeTheButton) {
    TaskbarStandIn taskbar;
    ASSERT_TRUE(taskbar.Registered());
    // Nobody listens on port 9: the engine keeps trying to connect.
    settings["InstallerDownloadURL"] = "http://127.0.0.1:9/CorvanaPokerSetup.exe";
    Start();
    GoToInstallLocation();
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_EQ(Wizard().Stage(), 3);
    RunLoopFor(300);
    // Windows before 7 never tell the window about its button: nothing is asked of the taskbar.
    EXPECT_TRUE(taskbar.Calls().empty());

    TaskbarStandIn::ButtonCreated(Frame());
    std::vector<std::string> calls = taskbar.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0], "CreateInstance");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "HrInit"), calls.end());
    // Yellow while the engine waits for the connection, from its first retry on.
    ASSERT_TRUE(RunLoopUntil([&] { return !taskbar.Progress().empty() && taskbar.Progress().back() == "state 8"; },
                             10000))
        << taskbar.Calls().size();
}

TEST_F(FrameWindowTest, TaskbarButtonTurnsRedOnAFailureAndBackOnRetry) {
    TaskbarStandIn taskbar;
    // No file name in the address: every download attempt fails at once.
    settings["InstallerDownloadURL"] = "http://127.0.0.1:9/";
    Start();
    TaskbarStandIn::ButtonCreated(Frame());
    EXPECT_EQ(taskbar.Progress(), (std::vector<std::string>{"state 0"}));
    GoToInstallLocation();
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_TRUE(RunLoopUntil([&] { return Wizard().ShowsFailure(); }));
    // The download started with no size known yet, then failed.
    EXPECT_EQ(taskbar.Progress(), (std::vector<std::string>{"state 0", "state 1", "state 4"}));
    Click(FrameItem(IDC_CONTINUE));  // Retry
    ASSERT_TRUE(RunLoopUntil([&] { return taskbar.Progress().size() >= 5; }));
    EXPECT_EQ(taskbar.Progress(), (std::vector<std::string>{"state 0", "state 1", "state 4", "state 1", "state 4"}));
}

TEST_F(FrameWindowTest, ATaskbarWithoutTheWindows7InterfaceIsLeftAlone) {
    TaskbarStandIn vista(true);
    settings["InstallerDownloadURL"] = "http://127.0.0.1:9/";
    Start();
    TaskbarStandIn::ButtonCreated(Frame());
    GoToInstallLocation();
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_TRUE(RunLoopUntil([&] { return Wizard().ShowsFailure(); }));
    // Asked for, refused, and never called.
    std::vector<std::string> calls = vista.Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "QueryInterface ITaskbarList3"), calls.end());
    EXPECT_TRUE(vista.Progress().empty());
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "HrInit"), calls.end());
}
