// "&" in a text of Language.ini is shown as written on every page: static texts and the link
// draw it (no shortcut marks), and buttons are given it doubled, which they draw as one "&".
// Each control is drawn (WM_PRINTCLIENT) as the program left it and again with its text
// without the "&": a control that took "&" for a shortcut mark draws both alike.
#include "PagesFixture.h"

#include <shlobj.h>

#include <algorithm>

#include "BrowseTestDialogs.h"
#include "pages/FolderBrowser.h"

namespace {

const Language kAmpersands = {
    L"English",
    L"en",
    L"T&C",
    {{L"TermsNConditions", L"Terms & Conditions"},
     {L"TermsTxt", L"Read our Terms & Conditions first."},
     {L"DontMiss", L"Poker & Friends"},
     {L"DownloadMisconfiguredMsg", L"Address & settings wrong."},
     {L"ButtonNext", L"Go & see"},
     {L"ButtonIAgree", L"Yes & go"},
     {L"ButtonBack", L"Back & up"},
     {L"ButtonCancel", L"Stop & go"},
     {L"ButtonRetry", L"Try & go"},
     {L"BrowseButton", L"B & C"},
     {L"NoThanks", L"No & bye"},
     {L"ContinueInstall", L"Go & play"},
     {L"Ok", L"O & K"},
     {L"Cancel", L"C & D"},
     {L"CreateFolder", L"New & dir"}}};

// A button's frame and focus mark stay out of the measure.
const int kButtonInset = 5;

std::wstring Without(std::wstring text, wchar_t c) {
    text.erase(std::remove(text.begin(), text.end(), c), text.end());
    return text;
}

std::wstring Doubled(const std::wstring& text) {
    std::wstring doubled;
    for (wchar_t c : text) doubled += c == L'&' ? std::wstring(L"&&") : std::wstring(1, c);
    return doubled;
}

// The control holds `given` and draws `shown`, "&" included: wider than `shown` without it.
void ExpectDrawnWithAmpersand(HWND control, const std::wstring& shown, const std::wstring& given, int inset) {
    ASSERT_NE(control, nullptr) << Utf8(shown);
    ASSERT_NE(shown.find(L'&'), std::wstring::npos);
    EXPECT_EQ(TextOf(control), given);
    const int drawn = InkWidth(control, inset);
    const std::wstring plain = Without(shown, L'&');
    ::SetWindowTextW(control, plain.c_str());
    const int withoutAmpersand = InkWidth(control, inset);
    ::SetWindowTextW(control, given.c_str());
    EXPECT_GT(withoutAmpersand, 0) << Utf8(shown);
    EXPECT_GT(drawn, withoutAmpersand) << Utf8(shown) << ": the \"&\" is not drawn";
}

void ExpectStatic(HWND control, const std::wstring& text) { ExpectDrawnWithAmpersand(control, text, text, 0); }
void ExpectButton(HWND control, const std::wstring& text) {
    ExpectDrawnWithAmpersand(control, text, Doubled(text), kButtonInset);
}

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class TextsAsWrittenTest : public PagesTest {
protected:
    TextsAsWrittenTest() { languages = {kAmpersands}; }
    std::wstring Text(const wchar_t* key) const { return LanguageText(kAmpersands, key); }
    void ExpectStatics(int pageControl, std::initializer_list<std::pair<int, const wchar_t*>> controls) {
        for (const auto& control : controls) ExpectStatic(PageItem(pageControl, control.first), Text(control.second));
    }
};

}  // namespace

TEST_F(TextsAsWrittenTest, EveryPageShowsAmpersandsAsWritten) {
    Start();
    ExpectStatics(IDC_WELCOME_TITLE, {{IDC_WELCOME_TITLE, L"WelcomeTitle"},
                                      {IDC_WELCOME_MSG1, L"WelcomeMsg1"},
                                      {IDC_WELCOME_MSG2, L"WelcomeMsg2"},
                                      {IDC_SELECT_LANGUAGE, L"WelcomeSelectLng"}});
    ExpectButton(FrameItem(IDC_CONTINUE), Text(L"ButtonNext"));
    ExpectButton(FrameItem(IDC_CANCEL_SETUP), Text(L"ButtonCancel"));

    GoToInstallLocation();
    ExpectStatics(IDC_INSTALL_PATH, {{IDC_SETUP_CONTINUED, L"SetupContinued"},
                                     {IDC_CHOOSE_FOLDER, L"ChooseFolder"},
                                     {IDC_TERMS_TEXT, L"TermsTxt"}});
    ExpectStatic(PageItem(IDC_INSTALL_PATH, IDC_REQUIRED_SPACE),
                 Text(L"RequiredspaceLabel") + L"   " + Text(L"RequiredspaceValue"));
    // The terms link, drawn by the link control and fitted to its text.
    ExpectStatic(FindControl(PageWith(IDC_INSTALL_PATH), IDC_TERMS_LINK), Text(L"TermsNConditions"));
    ExpectButton(PageItem(IDC_INSTALL_PATH, IDC_BROWSE), Text(L"BrowseButton"));
    ExpectButton(FrameItem(IDC_CONTINUE), Text(L"ButtonIAgree"));
    ExpectButton(FrameItem(IDC_BACK), Text(L"ButtonBack"));

    // No download address: the download fails at once, saying so, with Retry.
    Click(FrameItem(IDC_CONTINUE));
    ASSERT_TRUE(RunLoopUntil([&] { return Wizard().ShowsFailure(); }));
    ExpectStatic(FrameItem(IDC_STATUS), Text(L"DownloadMisconfiguredMsg"));
    ExpectButton(FrameItem(IDC_CONTINUE), Text(L"ButtonRetry"));

    Click(FrameItem(IDC_CANCEL_SETUP));
    ASSERT_TRUE(Wizard().FeaturesPageShown());
    ExpectStatics(IDC_CONTINUE_INSTALL, {{IDC_DONT_MISS, L"DontMiss"},
                                         {IDC_FEATURE1_TITLE, L"NonStopPoker"},
                                         {IDC_FEATURE1_TEXT, L"ThousandsOfPlayers"},
                                         {IDC_FEATURE2_TITLE, L"LearnPoker"},
                                         {IDC_FEATURE2_TEXT, L"TakeAdvantage"},
                                         {IDC_FEATURE3_TITLE, L"SafeSecure"},
                                         {IDC_FEATURE3_TEXT, L"CVFeatures"}});
    ExpectButton(PageItem(IDC_CONTINUE_INSTALL, IDC_NO_THANKS), Text(L"NoThanks"));
    ExpectButton(PageItem(IDC_CONTINUE_INSTALL, IDC_CONTINUE_INSTALL), Text(L"ContinueInstall"));
}

TEST_F(TextsAsWrittenTest, TheFolderBrowsersButtonsShowAmpersandsAsWritten) {
    Start();
    GoToInstallLocation();
    // A dialog laid out like the system's, with its "Make New Folder" button.
    HWND dialog = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BROWSE_LIKE_SYSTEM),
                                       nullptr, PlainDialog, 0);
    ASSERT_NE(dialog, nullptr);
    ::ShowWindow(dialog, SW_SHOW);
    BrowseCallback(dialog, BFFM_INITIALIZED, 0, 0);
    ExpectButton(::GetDlgItem(dialog, IDOK), Text(L"Ok"));
    ExpectButton(::GetDlgItem(dialog, IDCANCEL), Text(L"Cancel"));
    ExpectButton(::GetDlgItem(dialog, IDC_TEST_NEW_FOLDER), Text(L"CreateFolder"));
    ::DestroyWindow(dialog);
}
