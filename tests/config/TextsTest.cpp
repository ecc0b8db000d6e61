#include <gtest/gtest.h>

#include "config/Settings.h"
#include "config/Texts.h"
#include "tests/config/BothWays.h"

namespace {

class TextsTest : public BothWays {
protected:
    void SetUp() override {
        LoadSettingsFrom(Put(L"ConfigParams.ini", "[Params]\r\nBrandProductDisplayName=Poker Deluxe\r\n"
                                                  "BrandName=Corvana\r\nProductName=poker-$BrandName$\r\n"));
    }
    PackageFile Write(const std::string& utf8) { return Put(L"Language.ini", utf8); }
};

RUN_BOTH_WAYS(TextsTest);

}  // namespace

TEST_P(TextsTest, ListsSectionsInFileOrder) {
    PackageFile path = Write("[English]\r\nA=1\r\n  [Deutsch]  \r\n[]\r\n[English]\r\nnot [a] header\r\n[x\r\n");
    EXPECT_EQ(ListLanguages(path), (std::vector<std::wstring>{L"English", L"Deutsch", L"", L"English"}));
    EXPECT_TRUE(ListLanguages(Missing(L"missing.ini")).empty());
    EXPECT_EQ(LanguageAt(1, path), L"Deutsch");
    EXPECT_EQ(LanguageAt(-1, path), L"");
    EXPECT_EQ(LanguageAt(4, path), L"");
}

TEST_P(TextsTest, ValueRulesAndTextPlaceholders) {
    PackageFile path = Write(
        "[English]\n"
        "WelcomeTitle = Welcome to %AppName% by %Brand% \n"
        "Other=%appname% stays\n"
        "Formula=a=b=c\n"
        "welcometitle=wrong case\n"
        "InstallerShortCutString=Install %AppName%\n");
    EXPECT_EQ(ReadLanguageValue(L"English", L"WelcomeTitle", path, true), L"Welcome to Poker Deluxe by Corvana");
    EXPECT_EQ(ReadLanguageValue(L"English", L"WelcomeTitle", path, false), L"Welcome to %AppName% by %Brand%");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Other", path, true), L"%appname% stays");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Formula", path, true), L"a=b=c");
    EXPECT_EQ(ReadLanguageValue(L"English", L"WELCOMETITLE", path, true), L"");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Missing", path, true), L"");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Formula", Missing(L"missing.ini"), true), L"");

    LoadTexts(L"English", path);
    EXPECT_EQ(AppTexts().WelcomeTitle, L"Welcome to Poker Deluxe by Corvana");
    EXPECT_EQ(AppTexts().InstallerShortCutString, L"Install %AppName%");
}

TEST_P(TextsTest, FallbacksBetweenSections) {
    PackageFile path = Write(
        "[Deutsch]\nButtonNext=Weiter\n"
        "[English]\nButtonNext=Next\nButtonBack=Back\n"
        "[Dansk]\nButtonBack=Tilbage\n");
    // A key the section lacks comes from a later section that has it.
    EXPECT_EQ(ReadLanguageValue(L"Deutsch", L"ButtonBack", path, true), L"Back");
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonBack", path, true), L"Back");
    EXPECT_EQ(ReadLanguageValue(L"Dansk", L"ButtonNext", path, true), L"");
    // A language without a section reads English; so does the empty name.
    EXPECT_EQ(ReadLanguageValue(L"Svenska", L"ButtonNext", path, true), L"Next");
    LoadTexts(L"", path);
    EXPECT_EQ(AppTexts().ButtonNext, L"Next");
}

TEST_P(TextsTest, FailureTextsFallBackToBuiltInEnglishOnlyWhereTheFileHasNone) {
    // Written before the failure texts existed: each gets the built-in English.
    PackageFile path = Write("[Deutsch]\nButtonNext=Weiter\n[English]\nButtonNext=Next\n");
    LoadTexts(L"Deutsch", path);
    EXPECT_EQ(AppTexts().DownloadFailedMsg, L"Download failed. Check your connection, then retry.");
    EXPECT_EQ(AppTexts().DownloadCorruptMsg, L"The downloaded file was damaged. Please retry.");
    EXPECT_EQ(AppTexts().InstallerStartFailedMsg, L"The installer could not be started. Please retry.");
    EXPECT_EQ(AppTexts().ButtonRetry, L"Retry");
    EXPECT_EQ(AppTexts().TryingToConnect, L"") << "older keys keep reading empty";

    // The file's own texts win, placeholders expanded; a missing one still falls back.
    path = Write("[Deutsch]\nButtonRetry=Wiederholen\nDownloadFailedMsg=%AppName% kam nicht an.\n"
                 "InstallerStartFailedMsg=\n");
    LoadTexts(L"Deutsch", path);
    EXPECT_EQ(AppTexts().ButtonRetry, L"Wiederholen");
    EXPECT_EQ(AppTexts().DownloadFailedMsg, L"Poker Deluxe kam nicht an.");
    EXPECT_EQ(AppTexts().InstallerStartFailedMsg, L"The installer could not be started. Please retry.");
    EXPECT_EQ(AppTexts().DownloadCorruptMsg, L"The downloaded file was damaged. Please retry.");
}

TEST_P(TextsTest, MissingEnglishOrAnEmptyFileEndsTheLookup) {
    PackageFile path = Write("[Deutsch]\nButtonNext=Weiter\n");
    EXPECT_EQ(ReadLanguageValue(L"Svenska", L"ButtonNext", path, true), L"");
    LoadTexts(L"Svenska", path);
    EXPECT_EQ(AppTexts().ButtonNext, L"");

    path = Write("");
    EXPECT_TRUE(ListLanguages(path).empty());
    EXPECT_EQ(FindLanguageByShortName(L"en", path), L"");
    LoadTexts(L"English", path);
    EXPECT_EQ(AppTexts().ApplicationTitle, L"");
}

TEST_P(TextsTest, ExactHeaderWinsOverANameInsideAnEarlierLine) {
    PackageFile path = Write(
        "[Portugu\xC3\xAAs (Brasil)]\nButtonNext=Pr\xC3\xB3ximo BR\n"
        "[Espa\xC3\xB1ol]\nWelcomeMsg1=Not English at all\nButtonNext=Siguiente\n"
        "[Portugu\xC3\xAAs]\nButtonNext=Seguinte\n"
        "[English]\nButtonNext=Next\n");
    EXPECT_EQ(ReadLanguageValue(L"Portugu\x00EAs", L"ButtonNext", path, true), L"Seguinte");
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonNext", path, true), L"Next");
}

TEST_P(TextsTest, NameInsideALineStillFindsASectionWithoutExactHeader) {
    // No "[English]" header at all: the first line holding the name past its first
    // character starts the section, as files written for that rule expect.
    PackageFile path = Write("[Deutsch]\nButtonNext=Weiter\n; English follows\n[ English ]\nButtonNext=Next\n");
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonNext", path, true), L"Next");
    // A name at the very first character of a line does not count.
    path = Write("[Deutsch]\nButtonNext=Weiter\nEnglishButton=x\n");
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonNext", path, true), L"");
}

TEST_P(TextsTest, OddFilesReadWithoutHarm) {
    // Byte-order mark, no final line end, an overlong line, invalid bytes and a zero byte.
    std::string file = "\xEF\xBB\xBF[English]\nButtonNext=Next\n" + std::string(5000, 'z') + "\n" +
                       "Broken=\xFF\xFE\n" + std::string("Zero=ab\0cd\n", 11) + "ButtonBack=Back";
    PackageFile path = Write(file);
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonNext", path, true), L"Next");
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonBack", path, true), L"Back");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Zero", path, true), L"ab");
    EXPECT_FALSE(ReadLanguageValue(L"English", L"Broken", path, true).empty());
    LoadTexts(L"English", path);
    EXPECT_EQ(AppTexts().ButtonBack, L"Back");
}

TEST_P(TextsTest, LineEndsAndTheEndMarkAsTheRuntimeReadsThem) {
    // Text mode: CR LF is a line end, a CR elsewhere stays, and ^Z ends the file.
    PackageFile path = Write("[English]\r\r\nButtonNext=Next\r\r\nButtonBack=Ba\rck\r\nOk=Fine\x1A\r\n"
                             "Cancel=After the end mark\r\n");
    EXPECT_EQ(ListLanguages(path), std::vector<std::wstring>{L"English"});
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonNext", path, true), L"Next");
    EXPECT_EQ(ReadLanguageValue(L"English", L"ButtonBack", path, true), L"Ba\rck");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Ok", path, true), L"Fine");
    EXPECT_EQ(ReadLanguageValue(L"English", L"Cancel", path, true), L"");
}

TEST_P(TextsTest, FindsLanguageByShortNameIgnoringAsciiCaseOnly) {
    PackageFile path = Write(
        "[English]\nShortName=en\n[Deutsch]\nShortName=DE\n[Deutsch]\nShortName=de\n"
        "[\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9]\nShortName=\xD1\x80\xD1\x83\n");
    EXPECT_EQ(FindLanguageByShortName(L"de", path), L"Deutsch");
    EXPECT_EQ(FindLanguageByShortName(L"En", path), L"English");
    EXPECT_EQ(FindLanguageByShortName(L"\x0440\x0443", path), L"\x0420\x0443\x0441\x0441\x043A\x0438\x0439");
    // Letters outside A to Z are compared exactly.
    EXPECT_EQ(FindLanguageByShortName(L"\x0420\x0423", path), L"");
    EXPECT_EQ(FindLanguageByShortName(L"xx", path), L"");
    EXPECT_EQ(FindLanguageByShortName(L"en", Missing(L"missing.ini")), L"");
}

TEST_P(TextsTest, UrlPlaceholdersExpandInOrder) {
    PackageFile path = Write("[English]\nShortName=en\n");
    LoadTexts(L"English", path);
    std::wstring url = L"http://h/$ProductName$/$LangName$/$SL$?b=$BrandName$&s=$StageID$&x=$productname$";
    ExpandUrlPlaceholders(url);
    // ProductName's own "$BrandName$" is expanded by the later step.
    EXPECT_EQ(url, L"http://h/poker-Corvana/en/en?b=Corvana&s=$StageID$&x=$productname$");
}
