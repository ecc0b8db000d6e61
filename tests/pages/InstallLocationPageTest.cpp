#include "PagesFixture.h"

#include "pages/InstallLocationPage.h"
#include "resources/resource.h"

namespace {

const wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kWindowsNtKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kOtherProductEntry[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wendrake Pages Test Other";
const std::wstring kProgramFiles = L"C:\\Program Files";

// The Windows version, the program-files folder and the other product's install location,
// as the registry gives them, for the life of the object.
class SystemSetup {
public:
    SystemSetup(const std::wstring& version, const std::wstring& recorded)
        : version_(HKEY_LOCAL_MACHINE, kWindowsNtKey, L"CurrentVersion", &version),
          programFiles_(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &kProgramFiles),
          recorded_(HKEY_LOCAL_MACHINE, kOtherProductEntry, L"InstallLocation", recorded.empty() ? nullptr : &recorded) {}

private:
    RegistryOverride version_, programFiles_, recorded_;
};

// The message box the page shows, answered as the user would.
struct MessageBoxAnswers {
    std::vector<std::wstring> texts;
    std::vector<HWND> owners;
};

class InstallLocationPageTest : public PagesTest {
protected:
    // The link, not its hidden placeholder: both carry the terms link's id.
    HWND TermsLink() const {
        for (HWND child = ::GetWindow(PageWith(IDC_INSTALL_PATH), GW_CHILD); child;
             child = ::GetWindow(child, GW_HWNDNEXT))
            if (::GetDlgCtrlID(child) == IDC_TERMS_LINK && ::IsWindowVisible(child)) return child;
        return nullptr;
    }
};

}  // namespace

TEST_F(InstallLocationPageTest, ProposedFolderFollowsRecordedLocationAndTheVersionRule) {
    struct Case {
        const wchar_t* version;
        const wchar_t* recorded;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"5.1", L"", L"C:\\Program Files\\Corvana Poker"},
        {L"5.1", L"D:\\Games\\Corvana", L"D:\\Games\\Corvana"},
        {L"6.0", L"", L"C:\\Corvana\\Corvana Poker"},
        {L"6.0", L"C:\\Program Files\\Corvana Casino", L"C:\\Corvana\\Corvana Poker"},
        {L"6.1", L"D:\\Games\\Corvana", L"D:\\Games\\Corvana"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf8(std::wstring(c.version) + L" " + c.recorded));
        SystemSetup system(c.version, c.recorded);
        Start();
        GoToInstallLocation();
        EXPECT_EQ(TextOf(FolderEdit()), c.expected);
        EXPECT_EQ(Wizard().InstallLocation().installPath, c.expected);
        Stop();
    }
}

TEST_F(InstallLocationPageTest, ProgramFilesRefusedOnVersion6ByContinueAndEnterAcceptedOn51) {
    settings["InstallerDownloadURL"] = "http://127.0.0.1:9/CorvanaPokerSetup.exe";
    SystemSetup system(L"6.0", L"");
    Start();
    GoToInstallLocation();

    MessageBoxAnswers answers;
    DialogWatcher watcher(L"pages_tests", [&answers](HWND box) {
        answers.texts.push_back(ChildText(::GetDlgItem(box, 0xFFFF)));
        answers.owners.push_back(::GetWindow(box, GW_OWNER));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    });

    TypeFolder(L"C:\\Program Files\\Corvana Poker");
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_EQ(watcher.Seen(), 1);
    EXPECT_EQ(Wizard().Stage(), 2);
    EXPECT_EQ(TextOf(FolderEdit()), L"C:\\Program Files\\Corvana Poker");

    // Enter in the folder box runs the same check; the folder itself is refused in any case.
    TypeFolder(L"c:\\PROGRAM FILES");
    ::SetFocus(FolderEdit());
    PressKey(FolderEdit(), VK_RETURN);
    ASSERT_EQ(watcher.Seen(), 2);
    EXPECT_EQ(Wizard().Stage(), 2);
    EXPECT_TRUE(PageVisible(IDC_INSTALL_PATH));
    for (size_t i = 0; i < answers.texts.size(); ++i) {
        EXPECT_EQ(answers.texts[i], LanguageText(kEnglish, L"VistaProtectedFolderMsg"));
        EXPECT_EQ(answers.owners[i], Frame());
    }

    // The same folder on Windows XP goes on to the download.
    const std::wstring xp = L"5.1";
    RegistryOverride version(HKEY_LOCAL_MACHINE, kWindowsNtKey, L"CurrentVersion", &xp);
    TypeFolder(L"C:\\Program Files\\Corvana Poker");
    PressKey(FolderEdit(), VK_RETURN);
    EXPECT_EQ(watcher.Seen(), 2);
    EXPECT_EQ(Wizard().Stage(), 3);
    EXPECT_EQ(Wizard().InstallLocation().installPath, L"C:\\Program Files\\Corvana Poker");
}

TEST_F(InstallLocationPageTest, AvailableSpaceIsDriveCInWholeMegabytesRoundedDown) {
    EXPECT_EQ(WholeMegabytes(0), L"0");
    EXPECT_EQ(WholeMegabytes(1048575), L"0");
    EXPECT_EQ(WholeMegabytes(1048576), L"1");
    EXPECT_EQ(WholeMegabytes((5ull << 40) + 1048575), L"5242880");

    // Other programs write to the same disk meanwhile: the figure lies between two readings.
    ULARGE_INTEGER before, after;
    ASSERT_TRUE(::GetDiskFreeSpaceExW(L"c:\\", &before, nullptr, nullptr));
    Start();
    GoToInstallLocation();
    ASSERT_TRUE(::GetDiskFreeSpaceExW(L"c:\\", &after, nullptr, nullptr));
    std::wstring line = TextOf(PageItem(IDC_INSTALL_PATH, IDC_AVAILABLE_SPACE));
    std::wstring head = LanguageText(kEnglish, L"AvailablespaceLabel") + L"   ";
    std::wstring tail = L" " + LanguageText(kEnglish, L"MBLiteral");
    ASSERT_GT(line.size(), head.size() + tail.size());
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    unsigned long long shown = std::stoull(line.substr(head.size(), line.size() - head.size() - tail.size()));
    EXPECT_GE(shown, std::min(before.QuadPart, after.QuadPart) >> 20);
    EXPECT_LE(shown, std::max(before.QuadPart, after.QuadPart) >> 20);
}

TEST_F(InstallLocationPageTest, TermsLinkOpensTheExpandedAddressAndTurnsToTheVisitedColour) {
    settings["TnCLink"] = "http://127.0.0.1:8765/terms/$ProductName$?brand=$BrandName$&lang=$LangName$";
    RecorderBrowser browser(dir);
    ASSERT_TRUE(browser.Placed());
    Start();
    GoToInstallLocation();

    HWND page = PageWith(IDC_INSTALL_PATH);
    HWND link = TermsLink();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(TextOf(link), LanguageText(kEnglish, L"TermsNConditions"));
    // On the placeholder's corner, in the link's own font.
    RECT placeholder = RectInParent(::GetDlgItem(page, IDC_TERMS_LINK));
    RECT placed = RectInParent(link);
    EXPECT_EQ(placed.left, placeholder.left);
    EXPECT_EQ(placed.top, placeholder.top);
    LOGFONTW logFont = FontOf(link);
    EXPECT_STREQ(logFont.lfFaceName, L"Verdana");
    EXPECT_EQ(logFont.lfHeight, -11);
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);
    EXPECT_TRUE(logFont.lfUnderline);
    Drawing unvisited = DrawingOf(page, WM_CTLCOLORSTATIC, link);
    EXPECT_EQ(unvisited.text, RGB(238, 245, 55));
    EXPECT_EQ(unvisited.mode, TRANSPARENT);
    EXPECT_EQ(unvisited.brush, reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)));

    ::PostMessageW(link, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageW(link, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    RunLoopFor(100);
    ASSERT_TRUE(browser.WaitForRecord());
    std::vector<LaunchRecord> records = browser.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].parameters, L"http://127.0.0.1:8765/terms/poker?brand=Corvana&lang=en");
    EXPECT_EQ(records[0].showWindow, SW_SHOWNORMAL);
    EXPECT_EQ(DrawingOf(page, WM_CTLCOLORSTATIC, link).text, RGB(250, 250, 165));
}
