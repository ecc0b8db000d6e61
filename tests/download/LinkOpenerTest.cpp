#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "download/LinkOpener.h"
#include "recorder/RecorderClient.h"
#include "tests/support/TestSupport.h"

namespace {

const wchar_t kPageClass[] = L"WendrakeTest.Page";
const wchar_t kUrl[] = L"http://127.0.0.1:8080/track?stage=2&lang=en";

std::wstring Upper(std::wstring text) {
    ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return ::lstrcmpiW(a.c_str(), b.c_str()) == 0; }

// A stand-in browser in a folder with a space, registered for ".htm" through a class of our own,
// and a stand-in IExplore.exe; every start of either is recorded.
class LinkOpenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(iexplore.Placed());
        ASSERT_TRUE(::CreateDirectoryW((programs / L"Browser Test").c_str(), nullptr));
        browser = programs / L"Browser Test\\browser.exe";
        ASSERT_TRUE(CopyRecorderTo(browser));
    }
    void RegisterBrowser(const std::wstring& command) {
        HKEY key = nullptr;
        std::wstring path = std::wstring(kPageClass) + L"\\shell\\open\\command";
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }

    LaunchLog log;
    IExploreStandIn iexplore;
    TempDir programs;
    std::wstring browser;
    ScratchRegistryKey pageClass{HKEY_CLASSES_ROOT, kPageClass};
    std::wstring pageClassName = kPageClass;
    RegistryOverride htm{HKEY_CLASSES_ROOT, L".htm", L"", &pageClassName};
};

}  // namespace

TEST_F(LinkOpenerTest, VisibleLinkReachesTheRegisteredBrowserWithTheAddressAlone) {
    RegisterBrowser(L"\"" + browser + L"\" -osint -url \"%1\"");
    EXPECT_EQ(BrowserPath(), Upper(browser));

    // One at a time: two browsers started together may write their records in either order.
    OpenLink(kUrl);
    ASSERT_TRUE(log.WaitForRecords(L"browser.exe", 1));
    OpenLink(L"");
    ASSERT_TRUE(log.WaitForRecords(L"browser.exe", 2));
    std::vector<LaunchRecord> starts = log.Records(L"browser.exe");
    EXPECT_TRUE(SamePath(starts[0].program, browser)) << starts[0].program;
    EXPECT_EQ(starts[0].parameters, kUrl);  // the registered arguments are dropped
    EXPECT_TRUE(starts[0].showWindowSet);
    EXPECT_EQ(starts[0].showWindow, SW_SHOWNORMAL);
    EXPECT_EQ(starts[1].parameters, L"");
    EXPECT_TRUE(log.Records(L"iexplore.exe").empty());
}

TEST_F(LinkOpenerTest, BrowserCommandWithoutExeLeavesTheLinkToIExplore) {
    CopyRecorderTo(programs / L"browser.com");
    RegisterBrowser(L"\"" + programs.Path() + L"browser.com\" \"%1\"");
    EXPECT_EQ(BrowserPath(), L"");
    OpenLink(kUrl);
    ASSERT_TRUE(log.WaitForRecords(L"iexplore.exe"));
    LaunchRecord start = log.Records(L"iexplore.exe")[0];
    EXPECT_EQ(start.parameters, kUrl);
    EXPECT_TRUE(start.showWindowSet);
    EXPECT_EQ(start.showWindow, SW_SHOWNORMAL);
    EXPECT_TRUE(log.Records(L"browser.com").empty());
}

TEST_F(LinkOpenerTest, AddressOwnDefaultActionWhenNeitherBrowserNorIExploreCanStart) {
    RegisterBrowser(L"a browser registered without its program");  // no ".EXE": no browser path
    ASSERT_EQ(BrowserPath(), L"");
    iexplore.Remove();
    // A file of a kind of our own, whose default action starts the recorder as "opener.exe".
    ASSERT_TRUE(CopyRecorderTo(programs / L"opener.exe"));
    std::wstring kindClass = L"WendrakeTest.Kind", open = L"\"" + programs.Path() + L"opener.exe\" \"%1\"";
    ScratchRegistryKey kind(HKEY_CLASSES_ROOT, L".wendraketest"), kindKey(HKEY_CLASSES_ROOT, kindClass);
    RegistryOverride kindName(HKEY_CLASSES_ROOT, L".wendraketest", L"", &kindClass);
    RegistryOverride kindOpen(HKEY_CLASSES_ROOT, kindClass + L"\\shell\\open\\command", L"", &open);
    std::wstring page = programs / L"page.wendraketest";
    WriteBytes(page, "a page");
    OpenLink(page);
    ASSERT_TRUE(log.WaitForRecords(L"opener.exe"));
    LaunchRecord start = log.Records(L"opener.exe")[0];
    EXPECT_NE(Upper(start.parameters).find(Upper(page)), std::wstring::npos) << start.parameters;
    EXPECT_EQ(start.showWindow, SW_SHOWNORMAL);
}

TEST(InstallFolderTrim, TrimsSlashesThenBackslashesButKeepsDriveRoots) {
    struct Case {
        const wchar_t* given;
        const wchar_t* trimmed;
    } cases[] = {
        {L"C:\\Games\\Poker\\", L"C:\\Games\\Poker"},
        {L"C:\\Games\\Poker\\\\/", L"C:\\Games\\Poker"},
        {L"C:\\Games\\Poker/\\", L"C:\\Games\\Poker/"},  // slashes first, then backslashes, once each
        {L"C:\\My Games\\Poker", L"C:\\My Games\\Poker"},
        {L"\\\\server\\share\\", L"\\\\server\\share"},
        {L"D:\\", L"D:\\"},
        {L"D:\\\\\\", L"D:\\"},
        {L"D:/", L"D:/"},
        {L"D:", L"D:"},
        {L"", L""},
    };
    for (const Case& c : cases) {
        std::wstring folder = c.given;
        TrimInstallFolder(folder);
        EXPECT_EQ(folder, c.trimmed) << "given " << Utf8(c.given);
    }
}

TEST(InstallerStart, InstallerGetsTheTrimmedFolderUnquotedAndTheWizardIsAskedToClose) {
    LaunchLog log;
    TempDir programs;
    ASSERT_TRUE(::CreateDirectoryW((programs / L"Setup Files").c_str(), nullptr));
    std::wstring installer = programs / L"Setup Files\\WendrakeSetup.exe";
    ASSERT_TRUE(CopyRecorderTo(installer));
    HWND wizard = ::CreateWindowW(L"STATIC", L"wizard", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(wizard, nullptr);

    std::wstring folder = L"C:\\My Games\\Poker Room\\";
    EXPECT_GT(StartInstaller(installer, folder, wizard), 32);
    EXPECT_EQ(folder, L"C:\\My Games\\Poker Room");
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, wizard, WM_CLOSE, WM_CLOSE, PM_REMOVE));

    std::wstring never;  // the install-location page was never shown
    StartInstaller(installer, never, wizard);
    EXPECT_TRUE(::PeekMessageW(&msg, wizard, WM_CLOSE, WM_CLOSE, PM_REMOVE));

    // A file that is no program, and one that is gone: reported at once, the wizard left alone,
    // and both blamed on the file, so that a fresh download can mend them.
    std::wstring text = programs / L"Setup Files\\NotAProgram.exe";
    WriteBytes(text, std::string(4096, 'x'));
    for (const std::wstring& path : {text, programs / L"Setup Files\\Gone.exe"}) {
        int result = StartInstaller(path, never, wizard);
        EXPECT_LE(result, 32) << Utf8(path);
        EXPECT_TRUE(InstallerFileUnusable(result)) << Utf8(path) << " gave " << result;
        EXPECT_FALSE(::PeekMessageW(&msg, wizard, WM_CLOSE, WM_CLOSE, PM_REMOVE));
    }
    EXPECT_FALSE(InstallerFileUnusable(SE_ERR_ACCESSDENIED));
    ::DestroyWindow(wizard);

    ASSERT_TRUE(log.WaitForRecords(L"WendrakeSetup.exe", 2));
    std::vector<LaunchRecord> starts = log.Records(L"WendrakeSetup.exe");
    EXPECT_TRUE(SamePath(starts[0].program, installer)) << starts[0].program;
    EXPECT_EQ(starts[0].parameters, L"C:\\My Games\\Poker Room");
    EXPECT_TRUE(starts[0].showWindowSet);
    EXPECT_EQ(starts[0].showWindow, SW_SHOWNORMAL);
    EXPECT_EQ(starts[1].parameters, L"");
}
