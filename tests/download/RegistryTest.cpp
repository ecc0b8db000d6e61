#include <gtest/gtest.h>

#include <clocale>
#include <memory>

#include "config/Settings.h"
#include "download/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

const wchar_t kScratch[] = L"Software\\WendrakeTest";
const wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kWindowsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kWindowsNtKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion";

// The registry view of the other kind of program than this one (64-bit Windows only).
const REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

void SetRawValue(HKEY root, const std::wstring& key, const std::wstring& value, DWORD type, const std::string& bytes,
                 REGSAM view = 0) {
    HKEY k = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(k, value.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(k);
}

std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The stored type and bytes of a value; type 0 when it is missing.
std::pair<DWORD, std::string> RawValue(HKEY root, const std::wstring& key, const std::wstring& value) {
    std::pair<DWORD, std::string> result(0, std::string());
    HKEY k = nullptr;
    if (::RegOpenKeyExW(root, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return result;
    DWORD size = 0;
    if (::RegQueryValueExW(k, value.c_str(), nullptr, &result.first, nullptr, &size) == ERROR_SUCCESS) {
        result.second.resize(size);
        ::RegQueryValueExW(k, value.c_str(), nullptr, &result.first, reinterpret_cast<BYTE*>(&result.second[0]),
                           &size);
    }
    ::RegCloseKey(k);
    return result;
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteBytes(dir / L"ConfigParams.ini",
                   "[Params]\r\nBrandProduct=WendrakeTest Poker\r\nOtherProductForCommonInstall=WendrakeTest Casino\r\n"
                   "RegPath=WendrakeTest\\Poker\r\nInstallFolderName=Corvana Poker\r\n"
                   "VistaDefaultInstallPath=C:\\Games\r\n");
        LoadSettingsFrom(PackageFile(dir / L"ConfigParams.ini"));
    }
    void SetVersion(const wchar_t* version) {
        std::wstring text = version ? version : L"";
        version_.reset();  // restore before the next override reads the "old" value
        version_.reset(new RegistryOverride(HKEY_LOCAL_MACHINE, kWindowsNtKey, L"CurrentVersion", version ? &text : nullptr));
    }

    TempDir dir;
    ScratchRegistryKey scratch{HKEY_CURRENT_USER, kScratch};
    ScratchRegistryKey poker{HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"WendrakeTest Poker"};
    ScratchRegistryKey casino{HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"WendrakeTest Casino"};
    std::unique_ptr<RegistryOverride> version_;
};

}  // namespace

TEST_F(RegistryTest, ReadsTextUpToItsFirstZeroWithinTwoKilobytes) {
    SetRawValue(HKEY_CURRENT_USER, kScratch, L"", REG_SZ, Utf16Bytes(std::wstring(L"default text", 13)));
    SetRawValue(HKEY_CURRENT_USER, kScratch, L"Cut", REG_BINARY, Utf16Bytes(std::wstring(L"ab\0cd", 5)));
    // 1024 characters with no terminator fill the buffer exactly; one more is too large.
    SetRawValue(HKEY_CURRENT_USER, kScratch, L"Full", REG_BINARY, Utf16Bytes(std::wstring(1024, L'x')));
    SetRawValue(HKEY_CURRENT_USER, kScratch, L"Over", REG_BINARY, Utf16Bytes(std::wstring(1024, L'y') + L'\0'));
    SetRawValue(HKEY_CURRENT_USER, kScratch, L"Long", REG_SZ, Utf16Bytes(std::wstring(3000, L'z')));

    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kScratch, L""), L"default text");
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kScratch, L"Cut"), L"ab");
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kScratch, L"Full"), std::wstring(1024, L'x'));
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kScratch, L"Over"), L"");
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kScratch, L"Long"), L"");
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, kScratch, L"Missing"), L"");
    EXPECT_EQ(ReadRegistryText(HKEY_CURRENT_USER, std::wstring(kScratch) + L"\\Missing", L""), L"");
}

TEST_F(RegistryTest, WritesUtf8BytesAndOneZeroAsBinary) {
    const std::wstring key = std::wstring(kScratch) + L"\\New\\Nested";
    WriteRegistryText(HKEY_CURRENT_USER, key, L"Value", L"C:\\Downloads\\");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key, L"Value"),
              std::make_pair(DWORD(REG_BINARY), std::string("C:\\Downloads\\\0", 14)));
    WriteRegistryText(HKEY_CURRENT_USER, key, L"Value", L"");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, key, L"Value"), std::make_pair(DWORD(REG_BINARY), std::string(1, '\0')));

    // The folder of the running installer by default, under "Software\" + RegPath.
    const std::wstring downloadKey = std::wstring(kScratch) + L"\\Poker";
    SaveDownloadPath();
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, downloadKey, L"DownloadPath"),
              std::make_pair(DWORD(REG_BINARY), Utf8(ProgramFolder()) + '\0'));
    SaveDownloadPath(L"C:\\Downloads\\");
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, downloadKey, L"DownloadPath").second, std::string("C:\\Downloads\\\0", 14));
    // Each of these letters takes two or three bytes in UTF-8.
    SaveDownloadPath(L"C:\\\u00dcber\\\u0417\u0430\u0433\u0440\u0443\u0437\u043a\u0438\\\u4e0b\u8f7d\\");
    std::string expected = "C:\\\xc3\x9c" "ber\\\xd0\x97\xd0\xb0\xd0\xb3\xd1\x80\xd1\x83\xd0\xb7\xd0\xba\xd0\xb8\\"
                           "\xe4\xb8\x8b\xe8\xbd\xbd\\";
    EXPECT_EQ(RawValue(HKEY_CURRENT_USER, downloadKey, L"DownloadPath").second, expected + '\0');
}

TEST_F(RegistryTest, InstallFoldersFromProgramFilesSettingsAndUninstallEntries) {
    std::wstring programFiles = L"C:\\Program Files";
    {
        RegistryOverride dir(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &programFiles);
        EXPECT_EQ(DefaultInstallFolder(), L"C:\\Program Files\\Corvana Poker");
    }
    {
        RegistryOverride none(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", nullptr);
        EXPECT_EQ(DefaultInstallFolder(), L"\\Corvana Poker");
    }
    EXPECT_EQ(VistaInstallFolder(), L"C:\\Games\\Corvana Poker");

    EXPECT_EQ(RecordedInstallLocation(), L"");
    SetRawValue(HKEY_LOCAL_MACHINE, casino.Path(), L"InstallLocation", REG_SZ,
                Utf16Bytes(std::wstring(L"D:\\Corvana\\Casino", 18)));
    EXPECT_EQ(RecordedInstallLocation(), L"D:\\Corvana\\Casino");
}

TEST_F(RegistryTest, ProgramFilesSearchIsCaseSensitiveButEqualityIsNot) {
    std::wstring programFiles = L"C:\\Program Files";
    RegistryOverride dir(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &programFiles);
    EXPECT_TRUE(IsInProgramFiles(L"C:\\Program Files\\Poker"));
    EXPECT_TRUE(IsInProgramFiles(L"C:\\PROGRAM FILES"));
    EXPECT_TRUE(IsInProgramFiles(L"C:\\Program Files"));
    EXPECT_FALSE(IsInProgramFiles(L"C:\\PROGRAM FILES\\Poker"));
    EXPECT_FALSE(IsInProgramFiles(L"C:\\Program FilesX"));
    EXPECT_FALSE(IsInProgramFiles(L"D:\\Games\\Poker"));
}

TEST_F(RegistryTest, BothProgramFilesFoldersOf64BitWindowsAreProtected) {
    if (!RunsOn64BitWindows()) GTEST_SKIP() << "32-bit Windows has one registry view and one program-files folder";
    // As 64-bit Windows lays them out: each view names the folder of its own kind of program.
    const std::wstring native = L"C:\\Program Files", x86 = L"C:\\Program Files (x86)";
    RegistryOverride sixtyFour(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &native, KEY_WOW64_64KEY);
    RegistryOverride thirtyTwo(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", &x86, KEY_WOW64_32KEY);

    EXPECT_TRUE(IsInProgramFiles(L"C:\\Program Files\\Poker"));
    EXPECT_TRUE(IsInProgramFiles(L"C:\\Program Files (x86)\\Poker"));
    EXPECT_TRUE(IsInProgramFiles(L"C:\\PROGRAM FILES"));
    EXPECT_TRUE(IsInProgramFiles(L"C:\\program files (X86)"));
    // The search stays case-sensitive for either folder, and stops at a folder's end.
    EXPECT_FALSE(IsInProgramFiles(L"C:\\PROGRAM FILES (X86)\\Poker"));
    EXPECT_FALSE(IsInProgramFiles(L"C:\\Program Files (x64)\\Poker"));
    EXPECT_FALSE(IsInProgramFiles(L"C:\\Games\\Poker"));
    // The proposed folder is still the one of this program's own kind.
    EXPECT_EQ(DefaultInstallFolder(), (sizeof(void*) == 8 ? native : x86) + L"\\Corvana Poker");
}

TEST_F(RegistryTest, WithoutProgramFilesValuesNoFolderIsProtected) {
    // On 32-bit Windows both overrides name the one value.
    RegistryOverride sixtyFour(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", nullptr, KEY_WOW64_64KEY);
    RegistryOverride thirtyTwo(HKEY_LOCAL_MACHINE, kWindowsKey, L"ProgramFilesDir", nullptr, KEY_WOW64_32KEY);
    EXPECT_TRUE(ProgramFilesFolders().empty());
    // An empty folder followed by a backslash is in every path: the user could choose none.
    EXPECT_FALSE(IsInProgramFiles(L"C:\\Games\\Poker"));
    EXPECT_FALSE(IsInProgramFiles(DefaultInstallFolder()));
    EXPECT_FALSE(IsInProgramFiles(L""));
}

TEST_F(RegistryTest, UninstallEntriesAreFoundInEitherRegistryView) {
    if (!RunsOn64BitWindows()) GTEST_SKIP() << "32-bit Windows has one registry view";
    ScratchRegistryKey otherPoker(HKEY_LOCAL_MACHINE, poker.Path(), kOtherView);
    ScratchRegistryKey otherCasino(HKEY_LOCAL_MACHINE, casino.Path(), kOtherView);
    // Written by installers of the other kind than this program: their view only.
    SetRawValue(HKEY_LOCAL_MACHINE, casino.Path(), L"InstallLocation", REG_SZ,
                Utf16Bytes(std::wstring(L"D:\\Corvana\\Casino", 18)), kOtherView);
    SetRawValue(HKEY_LOCAL_MACHINE, poker.Path(), L"UninstallString", REG_SZ,
                Utf16Bytes(std::wstring(L"D:\\Corvana\\uninstall.exe", 25)), kOtherView);
    ASSERT_EQ(ReadRegistryText(HKEY_LOCAL_MACHINE, casino.Path(), L"InstallLocation"), L"") << "not in this view";
    EXPECT_EQ(RecordedInstallLocation(), L"D:\\Corvana\\Casino");
    EXPECT_TRUE(IsProductInstalled());

    // Where both views have an entry, this program's own kind wins.
    SetRawValue(HKEY_LOCAL_MACHINE, casino.Path(), L"InstallLocation", REG_SZ,
                Utf16Bytes(std::wstring(L"E:\\Casino", 10)));
    EXPECT_EQ(RecordedInstallLocation(), L"E:\\Casino");
}

TEST_F(RegistryTest, WindowsVersionFromCurrentVersion) {
    SetVersion(L"5.1");
    EXPECT_FALSE(IsWindows6OrLater());
    SetVersion(L"6.0");
    EXPECT_TRUE(IsWindows6OrLater());
    SetVersion(L"6.1");
    EXPECT_TRUE(IsWindows6OrLater());
    SetVersion(L"10.0");
    EXPECT_TRUE(IsWindows6OrLater());
    SetVersion(L"Vista");
    EXPECT_FALSE(IsWindows6OrLater());
    SetVersion(L"");
    EXPECT_FALSE(IsWindows6OrLater());
    SetVersion(nullptr);
    EXPECT_FALSE(IsWindows6OrLater());
}

TEST_F(RegistryTest, WindowsVersionReadsAlikeWhereTheDecimalMarkIsAComma) {
    const std::string oldLocale = std::setlocale(LC_ALL, nullptr);
    const LCID oldThreadLocale = ::GetThreadLocale();
    ASSERT_NE(std::setlocale(LC_ALL, "German_Germany.1252"), nullptr);
    ::SetThreadLocale(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT));
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");

    SetVersion(L"5.1");
    bool fiveOne = IsWindows6OrLater();
    SetVersion(L"5.99");
    bool fiveNinetyNine = IsWindows6OrLater();
    SetVersion(L"6.1");
    bool sixOne = IsWindows6OrLater();

    std::setlocale(LC_ALL, oldLocale.c_str());
    ::SetThreadLocale(oldThreadLocale);
    EXPECT_FALSE(fiveOne);
    EXPECT_FALSE(fiveNinetyNine);
    EXPECT_TRUE(sixOne);
}

TEST_F(RegistryTest, ProductInstalledOnlyWithANonEmptyUninstallString) {
    EXPECT_FALSE(IsProductInstalled());
    SetRawValue(HKEY_LOCAL_MACHINE, poker.Path(), L"DisplayName", REG_SZ, Utf16Bytes(std::wstring(L"Poker", 6)));
    EXPECT_FALSE(IsProductInstalled());
    SetRawValue(HKEY_LOCAL_MACHINE, poker.Path(), L"UninstallString", REG_SZ, Utf16Bytes(std::wstring(1, L'\0')));
    EXPECT_FALSE(IsProductInstalled());
    SetRawValue(HKEY_LOCAL_MACHINE, poker.Path(), L"UninstallString", REG_SZ,
                Utf16Bytes(std::wstring(L"C:\\Poker\\uninstall.exe", 23)));
    EXPECT_TRUE(IsProductInstalled());
}

TEST_F(RegistryTest, DesktopFromTheUserShellFolders) {
    const wchar_t* shellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
    std::wstring desktop = dir.Path() + L"Desktop";
    {
        RegistryOverride set(HKEY_CURRENT_USER, shellFolders, L"Desktop", &desktop);
        EXPECT_EQ(DesktopFolder(), desktop);
    }
    RegistryOverride none(HKEY_CURRENT_USER, shellFolders, L"Desktop", nullptr);
    EXPECT_EQ(DesktopFolder(), L"");
}
