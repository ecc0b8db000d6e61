#include "PagesFixture.h"

#include <commctrl.h>

#include "config/Texts.h"
#include "resources/resource.h"

namespace {

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

int Selection(HWND combo) { return static_cast<int>(::SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

// Counts the selection changes the language list reports to its page.
LRESULT CALLBACK CountSelectionChanges(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR count) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDC_LANGUAGE && HIWORD(wParam) == CBN_SELCHANGE)
        ++*reinterpret_cast<int*>(count);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

class WelcomePageTest : public PagesTest {
protected:
    HWND Combo() const { return PageItem(IDC_LANGUAGE, IDC_LANGUAGE); }

    // The welcome texts and the frame's captions all speak the language.
    void ExpectWelcomeIn(const Language& language) {
        ExpectTexts(IDC_LANGUAGE,
                    {{IDC_WELCOME_TITLE, L"WelcomeTitle"}, {IDC_WELCOME_MSG1, L"WelcomeMsg1"},
                     {IDC_WELCOME_MSG2, L"WelcomeMsg2"}, {IDC_SELECT_LANGUAGE, L"WelcomeSelectLng"}},
                    language);
        EXPECT_EQ(TextOf(Frame()), LanguageText(language, L"ApplicationTitle"));
        EXPECT_EQ(TextOf(FrameItem(IDC_CONTINUE)), LanguageText(language, L"ButtonNext"));
        EXPECT_EQ(TextOf(FrameItem(IDC_CANCEL_SETUP)), LanguageText(language, L"ButtonCancel"));
    }
};

}  // namespace

TEST_F(WelcomePageTest, ChosenLanguageReachesTheFrameAndEveryPageShownAfterwards) {
    languages = {kEnglish, {L"Fran\x00E7" L"ais", L"fr", L"FR"}, kGerman};
    Start();
    EXPECT_EQ(ComboItems(Combo()), (std::vector<std::wstring>{L"English", L"Fran\x00E7" L"ais", L"Deutsch"}));
    EXPECT_EQ(Selection(Combo()), 0);
    ExpectWelcomeIn(kEnglish);

    // The install-location page exists in English before the change.
    GoToInstallLocation();
    ExpectTexts(IDC_INSTALL_PATH, {{IDC_SETUP_CONTINUED, L"SetupContinued"}}, kEnglish);
    Click(FrameItem(IDC_BACK));
    ASSERT_EQ(Wizard().Stage(), 1);

    // Choosing as the user does: the list's selection changes and the page hears of it.
    ::SendMessageW(Combo(), CB_SETCURSEL, 2, 0);
    ::SendMessageW(PageWith(IDC_LANGUAGE), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Combo()));
    ExpectWelcomeIn(kGerman);
    EXPECT_EQ(AppTexts().ShortName, L"de");
    // The list keeps the section names.
    EXPECT_EQ(ComboItems(Combo()), (std::vector<std::wstring>{L"English", L"Fran\x00E7" L"ais", L"Deutsch"}));

    GoToInstallLocation();
    ExpectTexts(IDC_INSTALL_PATH,
                {{IDC_SETUP_CONTINUED, L"SetupContinued"}, {IDC_CHOOSE_FOLDER, L"ChooseFolder"},
                 {IDC_BROWSE, L"BrowseButton"}, {IDC_TERMS_TEXT, L"TermsTxt"}},
                kGerman);
    EXPECT_EQ(TextOf(PageItem(IDC_INSTALL_PATH, IDC_REQUIRED_SPACE)),
              LanguageText(kGerman, L"RequiredspaceLabel") + L"   " + LanguageText(kGerman, L"RequiredspaceValue"));
    EXPECT_EQ(TextOf(FrameItem(IDC_CONTINUE)), LanguageText(kGerman, L"ButtonIAgree"));
    EXPECT_EQ(TextOf(FrameItem(IDC_BACK)), LanguageText(kGerman, L"ButtonBack"));

    Click(FrameItem(IDC_CANCEL_SETUP));
    ASSERT_TRUE(PageVisible(IDC_CONTINUE_INSTALL));
    ExpectTexts(IDC_CONTINUE_INSTALL,
                {{IDC_DONT_MISS, L"DontMiss"}, {IDC_FEATURE1_TITLE, L"NonStopPoker"},
                 {IDC_FEATURE1_TEXT, L"ThousandsOfPlayers"}, {IDC_FEATURE2_TITLE, L"LearnPoker"},
                 {IDC_FEATURE2_TEXT, L"TakeAdvantage"}, {IDC_FEATURE3_TITLE, L"SafeSecure"},
                 {IDC_FEATURE3_TEXT, L"CVFeatures"}, {IDC_NO_THANKS, L"NoThanks"},
                 {IDC_CONTINUE_INSTALL, L"ContinueInstall"}},
                kGerman);
}

TEST_F(WelcomePageTest, InitialChoiceIsTheFirstItemBeginningWithTheDefaultLanguagesName) {
    const Language britishFirst = {L"english (UK)", L"uk", L"UK"};
    struct Case {
        const char* defaultLanguage;
        std::vector<Language> languages;
        int selected;
        const Language* loaded;
    };
    // "zz" names no section: "English" is looked for, and "english (UK)" is the first item
    // that begins with it (letter case ignored), also when it is the very first item. "en"
    // names the section "English" itself, yet the earlier "english (UK)" begins with that
    // name too.
    const Case cases[] = {{"zz", {kGerman, britishFirst, kEnglish}, 1, &britishFirst},
                          {"zz", {britishFirst, kGerman, kEnglish}, 0, &britishFirst},
                          {"en", {kGerman, britishFirst, kEnglish}, 1, &britishFirst},
                          {"DE", {kEnglish, kGerman}, 1, &kGerman}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.defaultLanguage);
        settings["DefaultLanguage"] = c.defaultLanguage;
        languages = c.languages;
        Start();
        EXPECT_EQ(Selection(Combo()), c.selected);
        ExpectWelcomeIn(*c.loaded);
        Stop();
    }
}

TEST_F(WelcomePageTest, ArrowKeysMoveOneLanguageAStepAndEnterDoesNotMoveTheWizardOn) {
    const Language french = {L"Fran\x00E7" L"ais", L"fr", L"FR"};
    languages = {kEnglish, kGerman, french};
    Start();
    HWND combo = Combo();
    int changes = 0;
    ::SetWindowSubclass(PageWith(IDC_LANGUAGE), CountSelectionChanges, 1, reinterpret_cast<DWORD_PTR>(&changes));
    ::SetFocus(combo);
    ASSERT_EQ(::GetFocus(), combo);

    PressKey(combo, VK_DOWN);
    EXPECT_EQ(Selection(combo), 1);
    EXPECT_EQ(changes, 1);
    ExpectWelcomeIn(kGerman);
    PressKey(combo, VK_DOWN);
    EXPECT_EQ(Selection(combo), 2);
    EXPECT_EQ(changes, 2);
    ExpectWelcomeIn(french);
    PressKey(combo, VK_UP);
    EXPECT_EQ(Selection(combo), 1);
    EXPECT_EQ(changes, 3);
    ExpectWelcomeIn(kGerman);

    PressKey(combo, VK_RETURN);
    EXPECT_EQ(Wizard().Stage(), 1);
    EXPECT_TRUE(PageVisible(IDC_LANGUAGE));
    EXPECT_EQ(PageWith(IDC_INSTALL_PATH), nullptr);
    EXPECT_EQ(Selection(combo), 1);
    ::RemoveWindowSubclass(PageWith(IDC_LANGUAGE), CountSelectionChanges, 1);
}
