#include "pages/FeaturesPage.h"

#include <string>

#include "config/Settings.h"
#include "config/Texts.h"
#include "download/LinkOpener.h"
#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Layout.h"

MessageTable<FeaturesPage> FeaturesPage::Messages() {
    static const MessageEntry<FeaturesPage> rows[] = {
        {WM_COMMAND, BN_CLICKED, IDC_CONTINUE_INSTALL, &FeaturesPage::ContinueInstall},
        {WM_COMMAND, BN_CLICKED, IDC_NO_THANKS, &FeaturesPage::NoThanks},
    };
    return rows;
}

FeaturesPage::FeaturesPage(PageOwner& owner) : Dispatching(IDD_FEATURES, owner) {}

bool FeaturesPage::OnInitDialog() {
    SetPageTexts();
    LayOut();
    PassMouseToFrame(hwnd_);
    return false;  // the frame gives the focus once the page is shown
}

void FeaturesPage::LayOut() {
    FixDialogLayout(hwnd_, IDD_FEATURES);
    headingFont_ = MakeHeadingFont(hwnd_, IDC_DONT_MISS);
    featureTitleFont_ = MakeControlFont(hwnd_, {IDC_FEATURE1_TITLE, IDC_FEATURE2_TITLE, IDC_FEATURE3_TITLE}, 90, FW_BOLD);
}

void FeaturesPage::SetPageTexts() {
    const Texts& texts = AppTexts();
    ::SetDlgItemTextW(hwnd_, IDC_DONT_MISS, texts.DontMiss.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_FEATURE1_TITLE, texts.NonStopPoker.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_FEATURE1_TEXT, texts.ThousandsOfPlayers.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_FEATURE2_TITLE, texts.LearnPoker.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_FEATURE2_TEXT, texts.TakeAdvantage.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_FEATURE3_TITLE, texts.SafeSecure.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_FEATURE3_TEXT, texts.CVFeatures.c_str());
    SetButtonText(Item(IDC_NO_THANKS), texts.NoThanks);
    SetButtonText(Item(IDC_CONTINUE_INSTALL), texts.ContinueInstall);
}

void FeaturesPage::ContinueInstall() {
    ::ShowWindow(hwnd_, SW_HIDE);
    Owner().ResumeWizard();
}

void FeaturesPage::NoThanks() {
    std::wstring address = AppSettings().InstallAnywhereURL;
    if (!address.empty()) {
        ExpandUrlPlaceholders(address);
        OpenLink(address);
    }
    // Ends the program: the frame stops the download and goes away, and this page with it.
    Owner().AbandonInstall();
}

LRESULT FeaturesPage::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    int id = CtlColorId(hwnd_, lParam);
    if (id == IDC_DONT_MISS) return WhiteOverBackground(wParam, headingFont_.Get());
    if (id == IDC_FEATURE1_TITLE || id == IDC_FEATURE2_TITLE || id == IDC_FEATURE3_TITLE)
        return WhiteOverBackground(wParam, featureTitleFont_.Get());
    return WhiteOverBackground(wParam);
}

