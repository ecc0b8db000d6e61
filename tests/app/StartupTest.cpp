#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

#include "app/InstallerApp.h"
#include "check/Pack.h"
#include "resources/resource.h"
#include "tests/support/TestSupport.h"

namespace {

const char kLanguages[] =
    "[English]\r\nShortName=en\r\nApplicationTitle=Wendrake Startup Test\r\n"
    "ApplicationOpenMsg=Please close the lobby first.\r\n"
    "OtherInstallerOpenMsg=The installer is already running.\r\n"
    "[Leer]\r\nShortName=le\r\nApplicationTitle=\r\n"
    "[Deutsch]\r\nShortName=de\r\nApplicationTitle=Wendrake Starttest\r\n"
    "ApplicationOpenMsg=Bitte zuerst die Lobby schlie\xC3\x9F" "en.\r\n"
    "OtherInstallerOpenMsg=Das Installationsprogramm l\xC3\xA4uft bereits.\r\n";

std::vector<char> Bytes(const std::string& text) { return std::vector<char>(text.begin(), text.end()); }

// A top-level window of this process with the given title, destroyed with the object.
class TitledWindow {
public:
    explicit TitledWindow(const std::wstring& title)
        : window_(::CreateWindowW(L"Static", title.c_str(), WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                                  nullptr)) {}
    ~TitledWindow() { ::DestroyWindow(window_); }
    HWND Get() const { return window_; }

private:
    HWND window_;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"Wendrake.exe").c_str(), (dir / L"Wendrake.exe").c_str(), FALSE));
        WriteBytes(dir / L"Language.ini", kLanguages);
    }
    void Config(const std::string& params) { WriteBytes(dir / L"ConfigParams.ini", "[Params]\r\n" + params); }
    bool Start(Process& p) { return p.Start(dir / L"Wendrake.exe", L"", dir.Path()); }

    // The message box the process shows: a dialog that has the message-text control.
    static HWND MessageBoxOf(const Process& p) {
        HWND box = nullptr;
        WaitFor([&] {
            HWND w = FindProcessWindow(p.Id(), L"#32770");
            if (w && ::GetDlgItem(w, 0xFFFF)) box = w;
            return box != nullptr;
        });
        return box;
    }
    static HWND WizardOf(const Process& p) {
        HWND wizard = nullptr;
        WaitFor([&] {
            HWND w = FindProcessWindow(p.Id(), L"#32770");
            if (w && !::GetDlgItem(w, 0xFFFF) && ::GetDlgItem(w, 6)) wizard = w;
            return wizard != nullptr;
        });
        return wizard;
    }
    static void Dismiss(HWND box) { ::PostMessageW(box, WM_COMMAND, IDOK, 0); }
    // Minimizes a window of another process, as its user would, and waits until it is.
    static bool Minimize(HWND window) {
        ::ShowWindow(window, SW_MINIMIZE);
        return WaitFor([&] { return ::IsIconic(window) != FALSE; });
    }
    // The state a refused copy leaves: the window restored, and in front of every other.
    static bool BroughtToFront(HWND window) {
        return WaitFor([&] { return !::IsIconic(window) && ::GetForegroundWindow() == window; }, 30000);
    }
    // Leaves the wizard as a user does: closing brings up the features page, whose
    // "No Thanks" ends the program.
    static void Leave(HWND wizard) {
        ::PostMessageW(wizard, WM_CLOSE, 0, 0);
        HWND noThanks = nullptr;
        WaitFor([&] {
            noThanks = FindControl(wizard, 113);
            return noThanks && ::IsWindowVisible(noThanks);
        });
        ASSERT_NE(noThanks, nullptr);
        ::PostMessageW(noThanks, BM_CLICK, 0, 0);
    }

    TempDir dir;
};

}  // namespace

TEST_F(StartupTest, OpenProductWindowRefusesAndWinsOverAnotherInstaller) {
    Config("WindowsGroup=Corvana Test Lobby\r\n");
    TitledWindow lobby(L"Corvana Test Lobby");
    TitledWindow otherInstaller(L"Wendrake Startup Test");
    Process p;
    ASSERT_TRUE(Start(p));
    HWND box = MessageBoxOf(p);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"Please close the lobby first.");
    EXPECT_EQ(TextOf(box), L"Wendrake Startup Test");
    Dismiss(box);
    EXPECT_EQ(p.Wait(10000), 0);
}

TEST_F(StartupTest, AnotherProductsInstallerIsFoundByItsTitleInAnyLanguageAndBroughtBack) {
    Config("DefaultLanguage=DE\r\nBrandProduct=Corvana Poker\r\n");
    Process first;
    ASSERT_TRUE(Start(first));
    HWND wizard = WizardOf(first);
    ASSERT_NE(wizard, nullptr);
    // The short name matched "de" with the letter case ignored.
    EXPECT_EQ(TextOf(wizard), L"Wendrake Starttest");
    ASSERT_TRUE(Minimize(wizard));

    // Another product, so its own lock is free: the title decides. The second copy speaks
    // English but still finds the German window.
    Config("DefaultLanguage=xx\r\nBrandProduct=Corvana Casino\r\n");
    Process second;
    ASSERT_TRUE(Start(second));
    HWND box = MessageBoxOf(second);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"The installer is already running.");
    EXPECT_EQ(TextOf(box), L"Wendrake Startup Test");
    Dismiss(box);
    EXPECT_EQ(second.Wait(30000), 0);
    EXPECT_TRUE(BroughtToFront(wizard));

    EXPECT_TRUE(first.Running());
    Leave(wizard);
    EXPECT_EQ(first.Wait(10000), 0);
}

TEST_F(StartupTest, SecondCopyOfTheProductIsRefusedAndBringsTheMinimizedWizardBack) {
    Config("BrandProduct=Corvana Poker\r\n");
    Process first;
    ASSERT_TRUE(Start(first));
    HWND wizard = WizardOf(first);
    ASSERT_NE(wizard, nullptr);
    ASSERT_TRUE(Minimize(wizard));
    // Titles alone would let this copy through: its language file names no title the wizard has.
    WriteBytes(dir / L"Language.ini",
               "[English]\r\nApplicationTitle=Wendrake Renamed\r\nOtherInstallerOpenMsg=Already open.\r\n");

    Process second;
    ASSERT_TRUE(Start(second));
    HWND box = MessageBoxOf(second);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), L"Already open.");
    Dismiss(box);
    EXPECT_EQ(second.Wait(30000), 0);
    EXPECT_TRUE(BroughtToFront(wizard));

    Leave(wizard);
    EXPECT_EQ(first.Wait(10000), 0);
}

TEST_F(StartupTest, TwoCopiesStartedTogetherMakeOneWizard) {
    Config("BrandProduct=Corvana Poker\r\n");
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Process copies[2];
        ASSERT_TRUE(Start(copies[0]));
        ASSERT_TRUE(Start(copies[1]));
        // Each copy ends up with a wizard or a refusal; wait until both have one.
        HWND wizards[2] = {}, boxes[2] = {};
        ASSERT_TRUE(WaitFor(
            [&] {
                for (int i = 0; i < 2; ++i) {
                    wizards[i] = nullptr;
                    boxes[i] = nullptr;
                    HWND w = FindProcessWindow(copies[i].Id(), L"#32770");
                    if (w && ::GetDlgItem(w, 0xFFFF)) boxes[i] = w;
                    if (w && !::GetDlgItem(w, 0xFFFF) && ::GetDlgItem(w, 6)) wizards[i] = w;
                }
                return (wizards[0] || boxes[0]) && (wizards[1] || boxes[1]);
            },
            60000));
        ASSERT_TRUE((wizards[0] && boxes[1]) || (wizards[1] && boxes[0])) << "exactly one wizard";
        const int kept = wizards[0] ? 0 : 1, refused = 1 - kept;
        EXPECT_EQ(TextOf(::GetDlgItem(boxes[refused], 0xFFFF)), L"The installer is already running.");
        Dismiss(boxes[refused]);
        EXPECT_EQ(copies[refused].Wait(30000), 0);
        EXPECT_TRUE(BroughtToFront(wizards[kept]));
        Leave(wizards[kept]);
        EXPECT_EQ(copies[kept].Wait(10000), 0);
    }
}

TEST_F(StartupTest, EmptySettingsAndUntitledWindowsDoNotRefuse) {
    // No WindowsGroup: its empty title must not match this untitled window, and neither may the
    // language whose ApplicationTitle is empty.
    Config("BrandProduct=Corvana Poker\r\n");
    TitledWindow untitled(L"");
    Process p;
    ASSERT_TRUE(Start(p));
    HWND wizard = WizardOf(p);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(TextOf(wizard), L"Wendrake Startup Test");
    Leave(wizard);
    EXPECT_EQ(p.Wait(10000), 0);
}

namespace {

// The icon group's entries: (size in pixels, bits per pixel).
std::vector<std::pair<int, int>> IconGroupEntries(HMODULE file, UINT id) {
    std::vector<std::pair<int, int>> entries;
    HRSRC found = ::FindResourceW(file, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    const BYTE* data = found ? static_cast<const BYTE*>(::LockResource(::LoadResource(file, found))) : nullptr;
    DWORD size = found ? ::SizeofResource(file, found) : 0;
    if (!data || size < 6) return entries;
    int count = data[4] | data[5] << 8;
    for (int i = 0; i < count && 6 + 14 * (i + 1) <= static_cast<int>(size); ++i) {
        const BYTE* entry = data + 6 + 14 * i;
        entries.push_back({entry[0] == 0 ? 256 : entry[0], entry[6] | entry[7] << 8});
    }
    return entries;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

}  // namespace

// The shell shows a program's first icon group for the file and for shortcuts to it.
TEST_F(StartupTest, TheExecutableCarriesTheProgramsIcon) {
    const std::wstring exe = dir / L"Wendrake.exe";
    HMODULE file = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(file, nullptr);
    std::vector<ULONG_PTR> groups;
    ::EnumResourceNamesW(file, RT_GROUP_ICON, &CollectName, reinterpret_cast<LONG_PTR>(&groups));
    EXPECT_EQ(groups, (std::vector<ULONG_PTR>{IDI_WENDRAKE}));
    // Drawn at the sizes of 96, 144 and 192 dots per inch, with an alpha channel.
    EXPECT_EQ(IconGroupEntries(file, IDI_WENDRAKE),
              (std::vector<std::pair<int, int>>{{16, 32}, {24, 32}, {32, 32}, {48, 32}, {64, 32}}));
    ::FreeLibrary(file);
    HICON large = nullptr, small = nullptr;
    ASSERT_EQ(::ExtractIconExW(exe.c_str(), 0, &large, &small, 1), 2u);
    EXPECT_NE(large, nullptr);
    EXPECT_NE(small, nullptr);
    if (large) ::DestroyIcon(large);
    if (small) ::DestroyIcon(small);
    // The wizard's own window icons are checked in the pages tests, inside the process: Wine 8
    // answers WM_GETICON from another process with no icon (Windows gives the icon).
}

TEST_F(StartupTest, WithoutPackageOrSettingsItSaysItIsIncompleteAndCloses) {
    // As a browser saves it: the executable alone (here with a Language.ini, which is not enough).
    Process p;
    ASSERT_TRUE(Start(p));
    HWND box = MessageBoxOf(p);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(::GetDlgItem(box, 0xFFFF)), kIncompleteMessage);
    EXPECT_EQ(TextOf(box), L"Wendrake");
    Dismiss(box);
    // Ending by itself shows that no wizard followed: one would wait for the user.
    EXPECT_EQ(p.Wait(10000), 0);
}

TEST_F(StartupTest, PackedInstallerReadsOnlyWhatIsInsideIt) {
    std::vector<PackedFile> files = {
        {L"ConfigParams.ini", Bytes("[Params]\r\nDefaultLanguage=de\r\nBrandProduct=Corvana Packed\r\n")},
        {L"Language.ini", Bytes("[English]\r\nShortName=en\r\nApplicationTitle=Packed Setup\r\n"
                                "[Deutsch]\r\nShortName=de\r\nApplicationTitle=Packed Installation\r\n")}};
    ASSERT_EQ(WritePackedInstaller(BuildDir() + L"Wendrake.exe", dir / L"Setup.exe", files).error, L"");
    // Beside it, files that would refuse it (the product's window is open) and speak English.
    Config("WindowsGroup=Corvana Test Lobby\r\nDefaultLanguage=en\r\n");
    TitledWindow lobby(L"Corvana Test Lobby");

    Process p;
    ASSERT_TRUE(p.Start(dir / L"Setup.exe", L"", dir.Path()));
    HWND wizard = WizardOf(p);
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(TextOf(wizard), L"Packed Installation");
    Leave(wizard);
    EXPECT_EQ(p.Wait(10000), 0);
}
