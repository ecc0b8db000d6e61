#include <gtest/gtest.h>

#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "config/Settings.h"
#include "config/Texts.h"
#include "download/Shortcut.h"
#include "framework/Handles.h"
#include "recorder/RecorderClient.h"
#include "tests/support/TestSupport.h"

namespace {

const wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kUserShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The names of the files in a folder, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

struct LinkContents {
    std::wstring target, description, iconFile;
};

// Reads a shortcut back through the shell's own link object.
LinkContents ReadLink(const std::wstring& path) {
    LinkContents contents;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(::CoCreateInstance(__uuidof(ShellLink), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW), link.PutVoid())) ||
        FAILED(link.As(file)) || FAILED(file->Load(path.c_str(), STGM_READ)))
        return contents;
    // The target as the shell opens it: through the link's item list, which keeps every letter
    // (Wine's copy of the path in the link's volume record is ANSI only).
    PIDLIST_ABSOLUTE items = nullptr;
    wchar_t text[MAX_PATH] = {};
    if (SUCCEEDED(link->GetIDList(&items)) && items && ::SHGetPathFromIDListW(items, text)) contents.target = text;
    ::CoTaskMemFree(items);
    wchar_t description[MAX_PATH] = {};
    if (SUCCEEDED(link->GetDescription(description, MAX_PATH))) contents.description = description;
    wchar_t iconFile[MAX_PATH] = {};
    int iconIndex = 0;
    if (SUCCEEDED(link->GetIconLocation(iconFile, MAX_PATH, &iconIndex))) contents.iconFile = iconFile;
    return contents;
}

std::wstring ExecutablePath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// A desktop of the test's own, a BrandProduct of "Poker", and languages whose shortcut names differ.
// Wine rewrites "Shell Folders" from "User Shell Folders" whenever the shell looks a folder up
// (saving a link does), so both point at the test's desktop.
class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_TRUE(::CreateDirectoryW(desktop.c_str(), nullptr));
        UseBrand("Poker");
        WriteBytes(languagePath,
                   "[English]\r\nInstallerShortCutString=Install %AppName%\r\n"
                   "[Deutsch]\r\nInstallerShortCutString=Installer %AppName%\r\n"
                   "[Leer]\r\nInstallerShortCutString=\r\n");
    }
    void TearDown() override { ::CoUninitialize(); }

    void UseBrand(const std::string& brand) {
        WriteBytes(dir / L"ConfigParams.ini", "[Params]\r\nBrandProduct=" + brand + "\r\n");
        LoadSettingsFrom(PackageFile(dir / L"ConfigParams.ini"));
    }
    std::wstring OnDesktop(const std::wstring& name) const { return desktop + L"\\" + name; }

    TempDir dir;
    std::wstring desktop = dir / L"Desktop";
    std::wstring languagePath = dir / L"Language.ini";
    PackageFile languages{languagePath};
    // Wine hands every saved link to winemenubuilder, which looks the desktop up in a process
    // of its own, rewriting "Shell Folders" at a moment of its choosing: not for these tests.
    std::wstring disabled;
    RegistryOverride noMenuBuilder{HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", L"winemenubuilder.exe", &disabled};
    RegistryOverride userDesktopValue{HKEY_CURRENT_USER, kUserShellFolders, L"Desktop", &desktop};
    RegistryOverride desktopValue{HKEY_CURRENT_USER, kShellFolders, L"Desktop", &desktop};
};

}  // namespace

TEST_F(ShortcutTest, EveryLanguagesShortcutGoesBeforeTheCurrentOneIsWritten) {
    WriteBytes(OnDesktop(L"Install Poker.lnk"), "old");
    WriteBytes(OnDesktop(L"Installer Poker.lnk"), "old");
    WriteBytes(OnDesktop(L"Other.lnk"), "not ours");

    LoadTexts(L"Deutsch", languages);
    EXPECT_TRUE(CreateDesktopShortcut(languages));
    EXPECT_EQ(FilesIn(desktop), (std::vector<std::wstring>{L"Installer Poker.lnk", L"Other.lnk"}));
    LinkContents link = ReadLink(OnDesktop(L"Installer Poker.lnk"));
    EXPECT_EQ(::lstrcmpiW(link.target.c_str(), ExecutablePath().c_str()), 0) << Utf8(link.target);
    EXPECT_EQ(link.description, L"");
    // No icon of its own: the shell shows the target's, the program's icon.
    EXPECT_EQ(link.iconFile, L"");
    HICON icon = nullptr;
    EXPECT_EQ(::ExtractIconExW(link.target.c_str(), 0, &icon, nullptr, 1), 1u);
    if (icon) ::DestroyIcon(icon);

    // Leaving the welcome page twice, then again after a language change.
    EXPECT_TRUE(CreateDesktopShortcut(languages));
    EXPECT_EQ(FilesIn(desktop), (std::vector<std::wstring>{L"Installer Poker.lnk", L"Other.lnk"}));
    LoadTexts(L"English", languages);
    EXPECT_TRUE(CreateDesktopShortcut(languages));
    EXPECT_EQ(FilesIn(desktop), (std::vector<std::wstring>{L"Install Poker.lnk", L"Other.lnk"}));

    RemoveOldShortcuts(languages);
    EXPECT_EQ(FilesIn(desktop), (std::vector<std::wstring>{L"Other.lnk"}));
}

TEST_F(ShortcutTest, WithoutADesktopValueNothingIsRemovedOrCreated) {
    WriteBytes(OnDesktop(L"Installer Poker.lnk"), "old");
    std::wstring profileDesktop = EnvironmentValue(L"USERPROFILE") + L"\\Desktop";
    RegistryOverride none(HKEY_CURRENT_USER, kShellFolders, L"Desktop", nullptr);

    LoadTexts(L"English", languages);
    EXPECT_FALSE(CreateDesktopShortcut(languages));
    RemoveOldShortcuts(languages);
    EXPECT_EQ(FilesIn(desktop), (std::vector<std::wstring>{L"Installer Poker.lnk"}));
    EXPECT_FALSE(FileExists(profileDesktop + L"\\Install Poker.lnk"));
}

TEST_F(ShortcutTest, NamesThatCannotBeFileNamesLeaveNoFile) {
    LoadTexts(L"English", languages);
    UseBrand("Poker: Pro");
    EXPECT_FALSE(CreateDesktopShortcut(languages));
    UseBrand("Poker/Pro");
    EXPECT_FALSE(CreateDesktopShortcut(languages));
    EXPECT_EQ(FilesIn(desktop), std::vector<std::wstring>{});

    // One character over the limit of 259 for the name with ".lnk": not written, not cut.
    UseBrand("Poker");
    WriteBytes(languagePath, "[Long]\r\nInstallerShortCutString=" + std::string(250, 'x') + " %AppName%\r\n");
    LoadTexts(L"Long", languages);
    EXPECT_FALSE(CreateDesktopShortcut(languages));
    EXPECT_EQ(FilesIn(desktop), std::vector<std::wstring>{});

    // A language text cannot reach out of the desktop folder when old shortcuts are removed.
    WriteBytes(dir / L"victim.lnk", "keep");
    WriteBytes(languagePath, "[Evil]\r\nInstallerShortCutString=..\\victim\r\n");
    LoadTexts(L"Evil", languages);
    EXPECT_FALSE(CreateDesktopShortcut(languages));
    EXPECT_TRUE(FileExists(dir / L"victim.lnk"));
    EXPECT_EQ(FilesIn(desktop), std::vector<std::wstring>{});
}

TEST_F(ShortcutTest, TargetOutsideTheAnsiCodePageSurvives) {
    // A user folder in another script: Cyrillic and Chinese letters that no Western code page has.
    std::wstring folder = dir / L"\u041f\u043e\u043b\u044c\u0437\u043e\u0432\u0430\u0442\u0435\u043b\u044c \u7528\u6237";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring target = folder + L"\\Setup.exe";
    ASSERT_TRUE(CopyRecorderTo(target));
    std::wstring linkPath = OnDesktop(L"Wide.lnk");

    EXPECT_TRUE(SUCCEEDED(CreateShellLink(target, linkPath, L"Caf\u00e9 \u0418\u0433\u0440\u0430")));
    LinkContents link = ReadLink(linkPath);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.description, L"Caf\u00e9 \u0418\u0433\u0440\u0430");
}
