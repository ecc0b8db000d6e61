// The real Wendrake.exe on 64-bit Windows, where the registry has two views: a 32-bit program
// reads HKLM\Software from its own copy (Wow6432Node), in which "ProgramFilesDir" is
// C:\Program Files (x86), and a 64-bit program reads the 64-bit copy, in which it is
// C:\Program Files. Both folders are protected from Windows Vista on, whichever build runs, and
// an uninstall entry may lie in either view.
//
// Run through scripts/wow64-run.sh: a Wine prefix of 64-bit Windows, in which the 32-bit build
// runs under WoW64 as it does on Windows. Wine keeps the two views as Windows does; the test lays
// out the values it reads in both views itself, as 64-bit Windows has them, because a prefix
// made on a machine that cannot run 32-bit programs lacks the 32-bit view's ones.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/TestSupport.h"

namespace {

const char kLanguages[] =
    "[English]\r\nShortName=en\r\nApplicationTitle=Corvana WoW64 Setup\r\nButtonNext=Next >\r\n"
    "ButtonIAgree=I Agree\r\nButtonCancel=Cancel\r\nNoThanks=No Thanks\r\nInstallerShortCutString=Install %AppName%\r\n"
    "VistaProtectedFolderMsg=Windows protects this folder.\r\n";

const wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kNtVersionKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kProgramFiles = L"C:\\Program Files";
const std::wstring kProgramFilesX86 = L"C:\\Program Files (x86)";
const std::wstring kVista = L"6.1";
// The view of the other kind of program than the one under test, where an installer of that
// other kind leaves its uninstall entry.
const REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

bool Visible(HWND window) { return window && ::IsWindowVisible(window); }

class Wow64 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RunsOn64BitWindows()) << "run through scripts/wow64-run.sh, in a prefix of 64-bit Windows";
        ASSERT_TRUE(::CopyFileW((BuildDir() + L"Wendrake.exe").c_str(), (app_ / L"Wendrake.exe").c_str(), FALSE));
        WriteBytes(app_ / L"Language.ini", kLanguages);
        WriteBytes(app_ / L"ConfigParams.ini",
                   "[Params]\r\nBrandProduct=Corvana WoW64 Poker\r\nOtherProductForCommonInstall=Corvana WoW64 Casino\r\n"
                   "InstallFolderName=Corvana Poker\r\nVistaDefaultInstallPath=C:\\Games\r\nRegPath=WendrakeWow64\r\n");
    }
    HWND StartWizard() {
        EXPECT_TRUE(wendrake_.Start(app_ / L"Wendrake.exe", L"", app_.Path()));
        HWND wizard = nullptr;
        WaitFor([&] {
            HWND w = FindProcessWindow(wendrake_.Id(), L"#32770");
            if (w && ::GetDlgItem(w, IDC_CONTINUE)) wizard = w;
            return wizard != nullptr;
        });
        return wizard;
    }
    static void Press(HWND wizard, int id) {
        HWND button = FindControl(wizard, id);
        ASSERT_NE(button, nullptr) << "no control " << id;
        ::PostMessageW(button, BM_CLICK, 0, 0);
    }
    static bool WaitVisible(HWND wizard, int id) {
        return WaitFor([&] { return Visible(FindControl(wizard, id)); });
    }
    // Types the folder, presses I Agree and answers the refusal: its text, or empty when the
    // download page came instead.
    std::wstring TryFolder(HWND wizard, const std::wstring& folder) {
        ::SendMessageW(FindControl(wizard, IDC_INSTALL_PATH), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
        Press(wizard, IDC_CONTINUE);
        HWND box = nullptr;
        bool progress = false;
        EXPECT_TRUE(WaitFor([&] {
            HWND w = FindProcessWindow(wendrake_.Id(), L"#32770");
            if (w && ::GetDlgItem(w, 0xFFFF)) box = w;
            progress = Visible(::GetDlgItem(wizard, IDC_PROGRESS));
            return box || progress;
        }));
        if (!box) return std::wstring();
        std::wstring text = TextOf(::GetDlgItem(box, 0xFFFF));
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }));
        return text;
    }
    void Leave(HWND wizard) {
        Press(wizard, IDC_CANCEL_SETUP);
        ASSERT_TRUE(WaitVisible(wizard, IDC_NO_THANKS));
        Press(wizard, IDC_NO_THANKS);
        EXPECT_EQ(wendrake_.Wait(15000), 0);
    }

    TempDir app_, temp_, desktop_;
    EnvironmentOverride tmp_{L"TMP", temp_.Path().c_str()};
    EnvironmentOverride temp2_{L"TEMP", temp_.Path().c_str()};
    RegistryOverride desktopFolder_{HKEY_CURRENT_USER,
                                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                    L"Desktop", &desktop_.Path()};
    // As 64-bit Windows lays them out, and a Windows version from Vista on.
    RegistryOverride programFiles64_{HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &kProgramFiles,
                                     KEY_WOW64_64KEY};
    RegistryOverride programFiles32_{HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &kProgramFilesX86,
                                     KEY_WOW64_32KEY};
    RegistryOverride version_{HKEY_LOCAL_MACHINE, kNtVersionKey, L"CurrentVersion", &kVista};
    ScratchRegistryKey casino_{HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvana WoW64 Casino", kOtherView};
    ScratchRegistryKey poker_{HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"Corvana WoW64 Poker", kOtherView};
    ScratchRegistryKey regPath_{HKEY_CURRENT_USER, L"Software\\WendrakeWow64"};
    Process wendrake_;
};

}  // namespace

TEST_F(Wow64, BothProgramFilesFoldersAreRefusedAndTheOtherViewsEntryIsProposed) {
    // The sibling product was installed by an installer of the other kind than this build.
    const std::wstring casino = L"D:\\Corvana\\Casino";
    RegistryOverride location(HKEY_LOCAL_MACHINE, casino_.Path(), L"InstallLocation", &casino, kOtherView);

    HWND wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_INSTALL_PATH));
    EXPECT_EQ(TextOf(FindControl(wizard, IDC_INSTALL_PATH)), casino);

    EXPECT_EQ(TryFolder(wizard, kProgramFiles + L"\\Corvana Poker"), L"Windows protects this folder.");
    EXPECT_EQ(TryFolder(wizard, kProgramFilesX86 + L"\\Corvana Poker"), L"Windows protects this folder.");
    EXPECT_EQ(TryFolder(wizard, L"c:\\program files (X86)"), L"Windows protects this folder.");
    // Not every folder: one outside both goes on to the download.
    EXPECT_EQ(TryFolder(wizard, L"C:\\Games\\Corvana Poker"), L"");
    EXPECT_TRUE(Visible(::GetDlgItem(wizard, IDC_PROGRESS)));
    Leave(wizard);
}

TEST_F(Wow64, ProductInstalledByTheOtherKindOfInstallerSkipsTheLocationPage) {
    const std::wstring uninstall = L"C:\\Corvana\\uninstall.exe";
    RegistryOverride installed(HKEY_LOCAL_MACHINE, poker_.Path(), L"UninstallString", &uninstall, kOtherView);
    HWND wizard = StartWizard();
    ASSERT_NE(wizard, nullptr);
    Press(wizard, IDC_CONTINUE);
    ASSERT_TRUE(WaitVisible(wizard, IDC_PROGRESS));
    EXPECT_EQ(FindControl(wizard, IDC_INSTALL_PATH), nullptr) << "the location page was never made";
    Leave(wizard);
}
