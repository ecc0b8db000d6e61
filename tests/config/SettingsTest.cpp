#include <gtest/gtest.h>

#include "config/Settings.h"
#include "tests/support/TestSupport.h"

TEST(Settings, ReadsEveryKeyOfParams) {
    TempDir dir;
    WriteBytes(dir / L"ConfigParams.ini",
               "[Params]\r\n"
               "InstallerDownloadURL=http://example.test/$ProductName$/Setup.exe\r\n"
               "TnCLink=http://example.test/terms\r\nOmnitureLink=http://example.test/t?s=$StageID$\r\n"
               "ContentLink=http://example.test/content\r\nBrandProduct=Poker\r\n"
               "BrandProductDisplayName=Poker Deluxe\r\nBrandName=Corvana\r\nProductName=poker\r\n"
               "DefaultLanguage=de\r\nRegPath=Corvana\\Poker\r\nInstallAnywhereURL=http://example.test/any\r\n"
               "WindowsGroup=Corvana Lobby\r\nInstallFolderName=Corvana Poker\r\n"
               "OtherProductForCommonInstall=Corvana Casino\r\nVistaDefaultInstallPath=C:\\Games\r\n");
    LoadSettingsFrom(dir / L"ConfigParams.ini");
    const Settings& s = AppSettings();
    EXPECT_EQ(s.InstallerDownloadURL, L"http://example.test/$ProductName$/Setup.exe");  // kept as written
    EXPECT_EQ(s.TnCLink, L"http://example.test/terms");
    EXPECT_EQ(s.OmnitureLink, L"http://example.test/t?s=$StageID$");
    EXPECT_EQ(s.ContentLink, L"http://example.test/content");
    EXPECT_EQ(s.BrandProduct, L"Poker");
    EXPECT_EQ(s.BrandProductDisplayName, L"Poker Deluxe");
    EXPECT_EQ(s.BrandName, L"Corvana");
    EXPECT_EQ(s.ProductName, L"poker");
    EXPECT_EQ(s.DefaultLanguage, L"de");
    EXPECT_EQ(s.RegPath, L"Corvana\\Poker");
    EXPECT_EQ(s.InstallAnywhereURL, L"http://example.test/any");
    EXPECT_EQ(s.WindowsGroup, L"Corvana Lobby");
    EXPECT_EQ(s.InstallFolderName, L"Corvana Poker");
    EXPECT_EQ(s.OtherProductForCommonInstall, L"Corvana Casino");
    EXPECT_EQ(s.VistaDefaultInstallPath, L"C:\\Games");
}

TEST(Settings, MissingFileSectionOrKeyReadsEmpty) {
    TempDir dir;
    LoadSettingsFrom(dir / L"ConfigParams.ini");
    EXPECT_EQ(AppSettings().BrandName, L"");
    EXPECT_EQ(AppSettings().DefaultLanguage, L"");

    WriteBytes(dir / L"other.ini", "[Other]\r\nBrandName=X\r\n");
    LoadSettingsFrom(dir / L"other.ini");
    EXPECT_EQ(AppSettings().BrandName, L"");

    WriteBytes(dir / L"empty.ini", "");
    LoadSettingsFrom(dir / L"empty.ini");
    EXPECT_EQ(AppSettings().WindowsGroup, L"");
}

TEST(Settings, ProfileReaderRulesHold) {
    TempDir dir;
    std::string longValue(250, 'v');
    WriteBytes(dir / L"c.ini", "[params]\r\nbrandname =  \"Quoted Brand\"  \r\nProductName=" + longValue +
                                   "\r\nBRANDPRODUCT=Upper\r\n");
    LoadSettingsFrom(dir / L"c.ini");
    EXPECT_EQ(AppSettings().BrandName, L"Quoted Brand");
    EXPECT_EQ(AppSettings().ProductName, std::wstring(199, L'v'));
    EXPECT_EQ(AppSettings().BrandProduct, L"Upper");
}

TEST(Settings, Utf16FileWithByteOrderMarkIsRead) {
    TempDir dir;
    std::wstring text = L"\xFEFF[Params]\r\nBrandName=\x041A\x043E\x0440\x0432\x0430\x043D\x0430\r\n";
    WriteBytes(dir / L"u.ini", std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    LoadSettingsFrom(dir / L"u.ini");
    EXPECT_EQ(AppSettings().BrandName, L"\x041A\x043E\x0440\x0432\x0430\x043D\x0430");
}

TEST(Settings, ProgramFolderEndsInBackslash) {
    std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_TRUE(FileExists(folder + L"config_tests.exe"));
}
