// The wizard's frame on the real wizard of the pages tests, moved to a screen of another density
// while it is open.
#include "PagesFixture.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/AppState.h"
#include "config/Settings.h"
#include "config/Texts.h"
#include "resources/resource.h"
#include "tests/support/LayoutChecks.h"
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
        SetMainWizard(wizard.get());
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

TEST_F(FrameWindowTest, MovedToADenserScreenEverythingIsLaidOutAgainAndBackAsItWas) {
    StartWithDemoTexts();
    GoToInstallLocation();
    const std::vector<std::string> none;
    ASSERT_EQ(TextsCut(Frame()), none);
    const Snapshot before = Take();

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
