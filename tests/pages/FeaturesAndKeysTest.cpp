#include "PagesFixture.h"

#include "resources/resource.h"

namespace {

const LRESULT kHollowBrush = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));

void ExpectWhiteOverBackground(const Drawing& drawing) {
    EXPECT_EQ(drawing.brush, kHollowBrush);
    EXPECT_EQ(drawing.text, RGB(255, 255, 255));
    EXPECT_EQ(drawing.mode, TRANSPARENT);
}

void ExpectVerdana(const LOGFONTW& font, LONG height, LONG weight) {
    EXPECT_STREQ(font.lfFaceName, L"Verdana");
    EXPECT_EQ(font.lfHeight, height);
    EXPECT_EQ(font.lfWeight, weight);
    EXPECT_FALSE(font.lfItalic);
    EXPECT_FALSE(font.lfUnderline);
}

class FeaturesAndKeysTest : public PagesTest {
protected:
    // Escape pressed where the keyboard focus is inside the page.
    void PressEscapeIn(HWND page, HWND control) {
        ::SetFocus(control);
        HWND focus = ::GetFocus();
        PressKey(focus && ::IsChild(page, focus) ? focus : page, VK_ESCAPE);
        ASSERT_TRUE(RunLoopUntil([this] { return PageVisible(IDC_CONTINUE_INSTALL); }));
        EXPECT_TRUE(Wizard().FeaturesPageShown());
    }
    void ContinueInstallation() {
        Click(PageItem(IDC_CONTINUE_INSTALL, IDC_CONTINUE_INSTALL));
        EXPECT_FALSE(PageVisible(IDC_CONTINUE_INSTALL));
        EXPECT_FALSE(Wizard().FeaturesPageShown());
    }
};

}  // namespace

TEST_F(FeaturesAndKeysTest, EscapeOnEveryPageBringsUpTheFeaturesPageAndContinueInstallationReturns) {
    settings["InstallerDownloadURL"] = "http://127.0.0.1:9/CorvanaPokerSetup.exe";
    Start();

    PressEscapeIn(PageWith(IDC_LANGUAGE), PageItem(IDC_LANGUAGE, IDC_LANGUAGE));
    EXPECT_FALSE(PageVisible(IDC_LANGUAGE));
    EXPECT_FALSE(::IsWindowVisible(FrameItem(IDC_CONTINUE)));
    ContinueInstallation();
    EXPECT_EQ(Wizard().Stage(), 1);
    EXPECT_TRUE(PageVisible(IDC_LANGUAGE));
    EXPECT_TRUE(::IsWindowVisible(FrameItem(IDC_CONTINUE)));

    GoToInstallLocation();
    PressEscapeIn(PageWith(IDC_INSTALL_PATH), PageItem(IDC_INSTALL_PATH, IDC_INSTALL_PATH));
    EXPECT_FALSE(PageVisible(IDC_INSTALL_PATH));

    // On the features page itself Escape leaves it up.
    PressEscapeIn(PageWith(IDC_CONTINUE_INSTALL), PageItem(IDC_CONTINUE_INSTALL, IDC_CONTINUE_INSTALL));
    EXPECT_TRUE(::IsWindow(Frame()));
    ContinueInstallation();
    EXPECT_EQ(Wizard().Stage(), 2);
    EXPECT_TRUE(PageVisible(IDC_INSTALL_PATH));
    EXPECT_TRUE(::IsWindowVisible(FrameItem(IDC_BACK)));

    // The download page: its picture and the content window, hidden until a page has loaded.
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_EQ(Wizard().Stage(), 3);
    HWND preloader = PageWith(IDC_CONTENT);
    ASSERT_NE(preloader, nullptr);
    EXPECT_TRUE(::IsWindowVisible(preloader));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(preloader, IDC_CONTENT)));
    ExpectWhiteOverBackground(DrawingOf(preloader, WM_CTLCOLORDLG, preloader));
    PressEscapeIn(preloader, preloader);
    EXPECT_FALSE(::IsWindowVisible(preloader));
    ContinueInstallation();
    EXPECT_EQ(Wizard().Stage(), 3);
    EXPECT_TRUE(::IsWindowVisible(preloader));
    EXPECT_TRUE(::IsWindowVisible(FrameItem(IDC_PROGRESS)));
}

TEST_F(FeaturesAndKeysTest, NoThanksOpensTheExpandedFallbackAddressOnlyWhenThereIsOneAndEndsTheWizard) {
    RecorderBrowser browser(dir);
    ASSERT_TRUE(browser.Placed());
    for (const char* address : {"", "http://127.0.0.1:8765/later/$ProductName$?brand=$BrandName$&lang=$SL$"}) {
        SCOPED_TRACE(address);
        settings["InstallAnywhereURL"] = address;
        Start();
        HWND frame = Frame();
        Click(FrameItem(IDC_CANCEL_SETUP));
        ASSERT_TRUE(PageVisible(IDC_CONTINUE_INSTALL));
        Click(PageItem(IDC_CONTINUE_INSTALL, IDC_NO_THANKS));
        // The frame is gone, and with it the modal loop that keeps the program running.
        EXPECT_FALSE(::IsWindow(frame));
        EXPECT_EQ(Wizard().Handle(), nullptr);
        Stop();
    }
    ASSERT_TRUE(browser.WaitForRecord());
    std::vector<LaunchRecord> records = browser.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].parameters, L"http://127.0.0.1:8765/later/poker?brand=Corvana&lang=en");
    EXPECT_EQ(records[0].showWindow, SW_SHOWNORMAL);
}

TEST_F(FeaturesAndKeysTest, PagesDrawWhiteTextOverTheBackgroundInTheirOwnFonts) {
    Start();
    GoToInstallLocation();
    Click(FrameItem(IDC_CANCEL_SETUP));
    // Page (by a control of its own), control (0: the page), message, white or the system's
    // colours, and the Verdana font selected for it (height 0: none).
    struct Row {
        int page, id;
        UINT message;
        bool white;
        LONG height, weight;
    };
    const Row rows[] = {
        {IDC_LANGUAGE, IDC_WELCOME_TITLE, WM_CTLCOLORSTATIC, true, -18, 0},
        {IDC_LANGUAGE, IDC_WELCOME_MSG1, WM_CTLCOLORSTATIC, true, 0, 0},
        {IDC_LANGUAGE, 0, WM_CTLCOLORDLG, true, 0, 0},
        {IDC_LANGUAGE, IDC_LANGUAGE, WM_CTLCOLORSTATIC, false, 0, 0},
        {IDC_INSTALL_PATH, IDC_SETUP_CONTINUED, WM_CTLCOLORSTATIC, true, -18, 0},
        {IDC_INSTALL_PATH, IDC_AVAILABLE_SPACE, WM_CTLCOLORSTATIC, true, 0, 0},
        {IDC_INSTALL_PATH, IDC_BROWSE, WM_CTLCOLORBTN, true, 0, 0},
        {IDC_INSTALL_PATH, IDC_INSTALL_PATH, WM_CTLCOLOREDIT, false, 0, 0},
        {IDC_CONTINUE_INSTALL, IDC_DONT_MISS, WM_CTLCOLORSTATIC, true, -18, 0},
        {IDC_CONTINUE_INSTALL, IDC_FEATURE1_TITLE, WM_CTLCOLORSTATIC, true, -12, FW_BOLD},
        {IDC_CONTINUE_INSTALL, IDC_FEATURE2_TITLE, WM_CTLCOLORSTATIC, true, -12, FW_BOLD},
        {IDC_CONTINUE_INSTALL, IDC_FEATURE3_TITLE, WM_CTLCOLORSTATIC, true, -12, FW_BOLD},
        {IDC_CONTINUE_INSTALL, IDC_FEATURE2_TEXT, WM_CTLCOLORSTATIC, true, 0, 0},
        {IDC_CONTINUE_INSTALL, IDC_CONTINUE_INSTALL, WM_CTLCOLORBTN, true, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        HWND page = PageWith(row.page);
        HWND control = row.id ? ::GetDlgItem(page, row.id) : page;
        Drawing drawing = DrawingOf(page, row.message, control);
        if (row.white) {
            ExpectWhiteOverBackground(drawing);
        } else {
            EXPECT_NE(drawing.brush, kHollowBrush);
            EXPECT_NE(drawing.text, RGB(255, 255, 255));
        }
        if (row.height) {
            ExpectVerdana(drawing.font, row.height, row.weight);
            ExpectVerdana(FontOf(control), row.height, row.weight);
        } else {
            EXPECT_STRNE(drawing.font.lfFaceName, L"Verdana");
        }
    }
    LOGFONTW editFont = FontOf(PageItem(IDC_INSTALL_PATH, IDC_INSTALL_PATH));
    EXPECT_STREQ(editFont.lfFaceName, L"Arial");
    EXPECT_EQ(editFont.lfHeight, 15);
    EXPECT_EQ(editFont.lfWeight, FW_NORMAL);
}

TEST_F(FeaturesAndKeysTest, KeyboardAloneReachesEveryPageAndDrivesTheFeaturesPageAndRetry) {
    // No file name in the address: every download attempt fails at once.
    settings["InstallerDownloadURL"] = "http://127.0.0.1:9/";
    Start();
    auto tabReaches = [](HWND target) {
        for (int i = 0; i < 8; ++i) {
            PressKey(::GetFocus(), VK_TAB);
            if (::GetFocus() == target) return true;
        }
        return false;
    };

    // Welcome: Next has the focus; Tab reaches the language list and comes back.
    EXPECT_EQ(::GetFocus(), FrameItem(IDC_CONTINUE));
    EXPECT_TRUE(tabReaches(PageItem(IDC_LANGUAGE, IDC_LANGUAGE)));
    EXPECT_TRUE(tabReaches(FrameItem(IDC_CONTINUE)));
    PressKey(::GetFocus(), VK_RETURN);
    ASSERT_EQ(Wizard().Stage(), 2);
    EXPECT_EQ(::GetFocus(), FrameItem(IDC_CONTINUE));
    EXPECT_TRUE(tabReaches(FolderEdit()));
    EXPECT_TRUE(tabReaches(PageItem(IDC_INSTALL_PATH, IDC_BROWSE)));

    // Features page: "Continue Installation" has the focus, Tab moves between the two buttons,
    // Escape leaves the page up, Enter goes back.
    PressKey(::GetFocus(), VK_ESCAPE);
    ASSERT_TRUE(Wizard().FeaturesPageShown());
    HWND continueInstall = PageItem(IDC_CONTINUE_INSTALL, IDC_CONTINUE_INSTALL);
    EXPECT_EQ(::GetFocus(), continueInstall);
    EXPECT_TRUE(tabReaches(PageItem(IDC_CONTINUE_INSTALL, IDC_NO_THANKS)));
    EXPECT_TRUE(tabReaches(continueInstall));
    PressKey(::GetFocus(), VK_ESCAPE);
    EXPECT_TRUE(Wizard().FeaturesPageShown());
    EXPECT_EQ(::GetFocus(), continueInstall);
    PressKey(::GetFocus(), VK_RETURN);
    EXPECT_FALSE(Wizard().FeaturesPageShown());
    ASSERT_EQ(Wizard().Stage(), 2);
    EXPECT_EQ(::GetFocus(), FrameItem(IDC_CONTINUE));

    // The download fails: Retry has the focus, and Enter keeps the wizard at stage 3.
    PressKey(::GetFocus(), VK_RETURN);
    ASSERT_EQ(Wizard().Stage(), 3);
    ASSERT_TRUE(RunLoopUntil([this] { return Wizard().ShowsFailure(); }));
    EXPECT_EQ(::GetFocus(), FrameItem(IDC_CONTINUE));
    EXPECT_EQ(TextOf(FrameItem(IDC_CONTINUE)), L"Retry");
    PressKey(::GetFocus(), VK_RETURN);
    ASSERT_TRUE(RunLoopUntil([this] { return Wizard().ShowsFailure(); }));
    EXPECT_EQ(Wizard().Stage(), 3);
    EXPECT_EQ(::GetFocus(), FrameItem(IDC_CONTINUE));

    // A file that failed its checks has a text of its own (built-in English here).
    ::PostMessageW(Frame(), WM_DOWNLOAD_STATUS, DownloadCorrupt, 0);
    ASSERT_TRUE(RunLoopUntil([this] {
        return TextOf(FrameItem(IDC_STATUS)) == L"The downloaded file was damaged. Please retry.";
    }));
    EXPECT_TRUE(::IsWindowVisible(FrameItem(IDC_CONTINUE)));
}

TEST_F(FeaturesAndKeysTest, WithoutItsPictureTheFrameIsPaintedDark) {
    Start();  // no BackGround.bmp beside the program
    ::RedrawWindow(Frame(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = ::GetDC(Frame());
    COLORREF corner = ::GetPixel(dc, 3, 3);
    ::ReleaseDC(Frame(), dc);
    EXPECT_EQ(corner, RGB(28, 36, 52));
}
