#include "pages/WelcomePage.h"

#include <string>
#include <vector>

#include "config/Settings.h"
#include "config/Texts.h"
#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Layout.h"

MessageTable<WelcomePage> WelcomePage::Messages() {
    static const MessageEntry<WelcomePage> rows[] = {
        {WM_COMMAND, CBN_SELCHANGE, IDC_LANGUAGE, &WelcomePage::LanguageSelected},
    };
    return rows;
}

WelcomePage::WelcomePage(PageOwner& owner) : Dispatching(IDD_WELCOME, owner) {}

bool WelcomePage::OnInitDialog() {
    LayOut();
    PassMouseToFrame(hwnd_);
    SetPageTexts();

    // Inserted by index, so the list keeps the file's order whatever the combo's sorting.
    HWND combo = Item(IDC_LANGUAGE);
    std::vector<std::wstring> languages = ListLanguages(LanguageFile());
    for (size_t i = 0; i < languages.size(); ++i)
        ::SendMessageW(combo, CB_INSERTSTRING, i, reinterpret_cast<LPARAM>(languages[i].c_str()));

    std::wstring initial = FindLanguageByShortName(AppSettings().DefaultLanguage);
    if (initial.empty()) initial = L"English";
    // A prefix match from the top of the list: the first name that begins with it wins.
    ::SendMessageW(combo, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(initial.c_str()));
    LanguageSelected();
    return true;
}

void WelcomePage::LayOut() {
    FixDialogLayout(hwnd_, IDD_WELCOME);
    titleFont_ = MakeHeadingFont(hwnd_, IDC_WELCOME_TITLE);
}

void WelcomePage::SetPageTexts() {
    const Texts& texts = AppTexts();
    ::SetDlgItemTextW(hwnd_, IDC_WELCOME_TITLE, texts.WelcomeTitle.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_WELCOME_MSG1, texts.WelcomeMsg1.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_WELCOME_MSG2, texts.WelcomeMsg2.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_SELECT_LANGUAGE, texts.WelcomeSelectLng.c_str());
}

void WelcomePage::LanguageSelected() {
    int index = static_cast<int>(::SendMessageW(Item(IDC_LANGUAGE), CB_GETCURSEL, 0, 0));
    // No selection reads as index -1: an empty name, for which the English texts load.
    std::wstring name = LanguageAt(index);
    LoadTexts(name);
    SetPageTexts();
    Owner().LanguageChanged(name);
    // Transparent texts are drawn afresh over the background, not over the old texts.
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT WelcomePage::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    switch (CtlColorId(hwnd_, lParam)) {
    case IDC_WELCOME_TITLE:
        return WhiteOverBackground(wParam, titleFont_.Get());
    case 0:
    case IDC_WELCOME_MSG1:
    case IDC_WELCOME_MSG2:
    case IDC_SELECT_LANGUAGE:
        return WhiteOverBackground(wParam);
    default:
        // The language list and anything else keep the system's colours.
        NotHandled();
        return 0;
    }
}

