#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "config/Settings.h"
#include "tests/config/BothWays.h"

namespace {

class SettingsTest : public BothWays {
protected:
    void Load(const std::string& bytes) { LoadSettingsFrom(Put(L"ConfigParams.ini", bytes)); }
};

RUN_BOTH_WAYS(SettingsTest);

}  // namespace

TEST_P(SettingsTest, ReadsEveryKeyOfParams) {
    Load("[Params]\r\n"
         "InstallerDownloadURL=http://example.test/$ProductName$/Setup.exe\r\n"
         "TnCLink=http://example.test/terms\r\nOmnitureLink=http://example.test/t?s=$StageID$\r\n"
         "ContentLink=http://example.test/content\r\nBrandProduct=Poker\r\n"
         "BrandProductDisplayName=Poker Deluxe\r\nBrandName=Corvana\r\nProductName=poker\r\n"
         "DefaultLanguage=de\r\nRegPath=Corvana\\Poker\r\nInstallAnywhereURL=http://example.test/any\r\n"
         "WindowsGroup=Corvana Lobby\r\nInstallFolderName=Corvana Poker\r\n"
         "OtherProductForCommonInstall=Corvana Casino\r\nVistaDefaultInstallPath=C:\\Games\r\n"
         "InstallerSHA256=ab12\r\nInstallerSize=42\r\nInstallerSigner=Corvana Ltd\r\n");
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
    EXPECT_EQ(s.InstallerSHA256, L"ab12");
    EXPECT_EQ(s.InstallerSize, L"42");
    EXPECT_EQ(s.InstallerSigner, L"Corvana Ltd");
}

TEST_P(SettingsTest, MissingFileSectionOrKeyReadsEmpty) {
    LoadSettingsFrom(Missing(L"ConfigParams.ini"));
    EXPECT_EQ(AppSettings().BrandName, L"");
    EXPECT_EQ(AppSettings().DefaultLanguage, L"");

    Load("[Other]\r\nBrandName=X\r\n");
    EXPECT_EQ(AppSettings().BrandName, L"");

    Load("");
    EXPECT_EQ(AppSettings().WindowsGroup, L"");

    // Keys before any section, or under an empty or unclosed header, belong to no [Params].
    Load("BrandName=Early\r\n[]\r\nProductName=Nameless\r\n[Params\r\nRegPath=Unclosed\r\n");
    EXPECT_EQ(AppSettings().BrandName, L"");
    EXPECT_EQ(AppSettings().ProductName, L"");
    EXPECT_EQ(AppSettings().RegPath, L"");
}

TEST_P(SettingsTest, ProfileReaderRulesHold) {
    std::string longValue(250, 'v');
    Load("[params]\r\nbrandname =  \"Quoted Brand\"  \r\nProductName=" + longValue + "\r\nBRANDPRODUCT=Upper\r\n");
    EXPECT_EQ(AppSettings().BrandName, L"Quoted Brand");
    EXPECT_EQ(AppSettings().ProductName, std::wstring(199, L'v'));
    EXPECT_EQ(AppSettings().BrandProduct, L"Upper");
}

TEST_P(SettingsTest, OddLinesReadAsWindowsReadsThem) {
    Load("; a comment\n"
         "  [ Other ]  \n"
         "BrandName=Wrong section\n"
         "[PARAMS]\n"
         "\t BrandName \t=\t  Tabs and blanks\t \n"
         "ProductName='single quoted'\n"
         "RegPath=\"unbalanced'\n"
         "WindowsGroup=\"\"\n"
         "InstallFolderName=\"\n"
         "DefaultLanguage=a=b=c\n"
         "BrandName=Second of the same key\n"
         ";InstallAnywhereURL=commented out\n"
         "ContentLink\n"
         "TnCLink=\n"
         "OmnitureLink=\"" + std::string(240, 'q') + "\"\n"
         "InstallerSigner=caf\xE9 \x1A\r\n"
         "[Params]\n"
         "InstallerSize=only in the second [Params]\n");
    const Settings& s = AppSettings();
    EXPECT_EQ(s.BrandName, L"Tabs and blanks");
    EXPECT_EQ(s.ProductName, L"single quoted");
    EXPECT_EQ(s.RegPath, L"\"unbalanced'");
    EXPECT_EQ(s.WindowsGroup, L"");
    EXPECT_EQ(s.InstallFolderName, L"\"");
    EXPECT_EQ(s.DefaultLanguage, L"a=b=c");
    EXPECT_EQ(s.InstallAnywhereURL, L"");
    EXPECT_EQ(s.ContentLink, L"");
    EXPECT_EQ(s.TnCLink, L"");
    EXPECT_EQ(s.OmnitureLink, std::wstring(199, L'q')) << "the opening quote goes, the cut comes after it";
    EXPECT_EQ(s.InstallerSigner, L"caf\x00E9") << "the ANSI code page, blanks and ^Z trimmed";
    EXPECT_EQ(s.InstallerSize, L"") << "only the first section of a name is read";
}

TEST_P(SettingsTest, Utf16FileWithByteOrderMarkIsRead) {
    std::wstring text = L"\xFEFF[Params]\r\nBrandName=\x041A\x043E\x0440\x0432\x0430\x043D\x0430\r\n"
                        L"ProductName = \"\x03C0\x03CC\x03BA\x03B5\x03C1\" \r\n";
    Load(std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    EXPECT_EQ(AppSettings().BrandName, L"\x041A\x043E\x0440\x0432\x0430\x043D\x0430");
    EXPECT_EQ(AppSettings().ProductName, L"\x03C0\x03CC\x03BA\x03B5\x03C1");
}

TEST_P(SettingsTest, MirrorAddressesAreReadWholeInTheirNumbersOrder) {
    // Far past the 199 characters the other keys keep, and past the reader's first buffers.
    const std::string longUrl = "http://mirror.example.test/" + std::string(5000, 'm') + "/Setup.exe";
    Load("[Params]\r\nInstallerDownloadURL=http://example.test/" + std::string(250, 'd') + "\r\n"
         "InstallerMirrorURL3=http://third.example.test/Setup.exe\r\n"
         "installermirrorurl1 = \"" + longUrl + "\"\r\n"
         "InstallerMirrorURL9=http://ninth.example.test/Setup.exe\r\n"
         "InstallerMirrorURL10=http://tenth.example.test/Setup.exe\r\n");
    const Settings& s = AppSettings();
    EXPECT_EQ(s.InstallerMirrorURL[0], Wide(longUrl));
    EXPECT_EQ(s.InstallerDownloadURL.size(), 199u) << "the other keys are cut as they always were";
    EXPECT_EQ(s.MirrorURLs(), (std::vector<std::wstring>{Wide(longUrl), L"http://third.example.test/Setup.exe",
                                                          L"http://ninth.example.test/Setup.exe"}));
    EXPECT_TRUE(SettingReadWhole(L"installerMirrorURL9"));
    EXPECT_FALSE(SettingReadWhole(L"InstallerDownloadURL"));
    EXPECT_FALSE(SettingReadWhole(L"InstallerMirrorURL10"));
    // The keys as tools list them: the nine mirrors after the others.
    size_t count = 0;
    while (SettingKeyName(count)) ++count;
    ASSERT_GT(count, 9u);
    EXPECT_STREQ(SettingKeyName(count - 9), L"InstallerMirrorURL1");
    EXPECT_STREQ(SettingKeyName(count - 1), L"InstallerMirrorURL9");
}

TEST_P(SettingsTest, KeysAreListedAndReadWholeAsTheCheckerNeedsThem) {
    PackageFile file = Put(L"ConfigParams.ini", "[Params]\nBrandName=x\n;Note=y\nLoose line\nLong=" +
                                                    std::string(300, 'l') + "\nbrandname=again\n[Other]\nZ=1\n");
    IniFile ini(file);
    EXPECT_EQ(ini.Keys(L"Params"), (std::vector<std::wstring>{L"BrandName", L"Long", L"brandname"}));
    EXPECT_EQ(ini.Keys(L"Missing"), std::vector<std::wstring>());
    EXPECT_EQ(ini.Value(L"params", L"LONG").size(), 300u);
    EXPECT_EQ(ini.Value(L"Params", L"Long", 199).size(), 199u);
}

TEST(ProgramFolder, EndsInBackslash) {
    std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_TRUE(FileExists(folder + L"config_tests.exe"));
}
