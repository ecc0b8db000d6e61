#include "pages/InstallLocationPage.h"

#include "config/Settings.h"
#include "config/Texts.h"
#include "download/LinkOpener.h"
#include "download/Registry.h"
#include "pages/FolderBrowser.h"
#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/Layout.h"

namespace {

const COLORREF kLinkColour = RGB(238, 245, 55);
const COLORREF kVisitedLinkColour = RGB(250, 250, 165);

// The executable's file name without its extension: the caption of the page's message box.
std::wstring ApplicationName() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name.erase(0, name.find_last_of(L"\\/") + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return name;
}

}  // namespace

std::wstring WholeMegabytes(ULONGLONG bytes) { return DecimalText(bytes >> 20); }

MessageTable<InstallLocationPage> InstallLocationPage::Messages() {
    static const MessageEntry<InstallLocationPage> rows[] = {
        {WM_COMMAND, BN_CLICKED, IDC_BROWSE, &InstallLocationPage::Browse},
        {WM_COMMAND, STN_CLICKED, IDC_TERMS_LINK, &InstallLocationPage::OpenTermsLink},
    };
    return rows;
}

InstallLocationPage::InstallLocationPage(PageOwner& owner) : Dispatching(IDD_INSTALL_LOCATION, owner) {}

bool InstallLocationPage::OnInitDialog() {
    termsPlace_ = Item(IDC_TERMS_LINK);
    LayOut();
    PassMouseToFrame(hwnd_);

    // Always drive C:, whatever folder is chosen later.
    ULARGE_INTEGER freeToCaller;
    if (::GetDiskFreeSpaceExW(L"c:\\", &freeToCaller, nullptr, nullptr))
        availableSpaceText = WholeMegabytes(freeToCaller.QuadPart);

    // The link takes the hidden placeholder's place, fitted to its text.
    const Texts& texts = AppTexts();
    if (termsLink_.Create(texts.TermsNConditions, TermsPlace(), hwnd_, IDC_TERMS_LINK, kLinkColour, linkFont_.Get(),
                          SW_SHOW, true, false))
        termsLink_.FitToText(texts.TermsNConditions, SW_SHOW);

    ::SetDlgItemTextW(hwnd_, IDC_TERMS_TEXT, texts.TermsTxt.c_str());
    ChooseInitialFolder();
    return true;
}

void InstallLocationPage::LayOut() {
    FixDialogLayout(hwnd_, IDD_INSTALL_LOCATION);
    headingFont_ = MakeHeadingFont(hwnd_, IDC_SETUP_CONTINUED);

    Font link = MakeLinkFont();
    if (HWND label = termsLink_.Handle()) {
        RECT place = TermsPlace();
        ::MoveWindow(label, place.left, place.top, place.right - place.left, place.bottom - place.top, FALSE);
        ::SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(link.Get()), FALSE);
        termsLink_.FitToText(AppTexts().TermsNConditions, SW_SHOW);
    }
    linkFont_ = std::move(link);

    // A pixel height: the folder box shows its text in 15 design pixels.
    Font edit(::CreateFontW(Scaled(15), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"));
    ::SendDlgItemMessageW(hwnd_, IDC_INSTALL_PATH, WM_SETFONT, reinterpret_cast<WPARAM>(edit.Get()), TRUE);
    editFont_ = std::move(edit);
}

RECT InstallLocationPage::TermsPlace() const {
    WINDOWPLACEMENT placeholder = {};
    placeholder.length = sizeof placeholder;
    ::GetWindowPlacement(termsPlace_, &placeholder);
    return placeholder.rcNormalPosition;
}

void InstallLocationPage::ChooseInitialFolder() {
    std::wstring folder = DefaultInstallFolder();
    std::wstring recorded = RecordedInstallLocation();
    if (!recorded.empty()) folder = recorded;
    // Windows 6 and later protect the program-files folder.
    if (IsWindows6OrLater() && IsInProgramFiles(folder)) folder = VistaInstallFolder();
    installPath = folder;
    ExchangeText(hwnd_, IDC_INSTALL_PATH, installPath, false);
}

std::wstring InstallLocationPage::AvailableSpaceLine() const {
    const Texts& texts = AppTexts();
    // Without a figure the unit would stand alone: the label only.
    if (availableSpaceText.empty()) return texts.AvailablespaceLabel;
    return texts.AvailablespaceLabel + L"   " + availableSpaceText + L" " + texts.MBLiteral;
}

void InstallLocationPage::SetPageTexts() {
    const Texts& texts = AppTexts();
    ::SetDlgItemTextW(hwnd_, IDC_SETUP_CONTINUED, texts.SetupContinued.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_CHOOSE_FOLDER, texts.ChooseFolder.c_str());
    SetButtonText(Item(IDC_BROWSE), texts.BrowseButton);
    // The required space is a text of the language file, not a computed figure.
    std::wstring required = texts.RequiredspaceLabel + L"   " + texts.RequiredspaceValue;
    ::SetDlgItemTextW(hwnd_, IDC_REQUIRED_SPACE, required.c_str());
    ::SetDlgItemTextW(hwnd_, IDC_AVAILABLE_SPACE, AvailableSpaceLine().c_str());
    if (termsLink_.Handle()) {
        ::SetWindowTextW(termsLink_.Handle(), texts.TermsNConditions.c_str());
        termsLink_.FitToText(texts.TermsNConditions, SW_SHOW);
    }
    ::SetDlgItemTextW(hwnd_, IDC_TERMS_TEXT, texts.TermsTxt.c_str());
}

bool InstallLocationPage::ValidateLocation() {
    ExchangeText(hwnd_, IDC_INSTALL_PATH, installPath, true);
    if (IsWindows6OrLater() && IsInProgramFiles(installPath)) {
        ::MessageBoxW(::GetParent(hwnd_), AppTexts().VistaProtectedFolderMsg.c_str(), ApplicationName().c_str(),
                      MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

void InstallLocationPage::Browse() {
    ExchangeText(hwnd_, IDC_INSTALL_PATH, installPath, true);
    std::wstring chosen;
    if (BrowseForFolder(chosen, L"Select folder", hwnd_, installPath) && !chosen.empty()) {
        installPath = chosen;
        ExchangeText(hwnd_, IDC_INSTALL_PATH, installPath, false);
    }
}

void InstallLocationPage::OpenTermsLink() {
    std::wstring address = AppSettings().TnCLink;
    ExpandUrlPlaceholders(address);
    OpenLink(address);
    // Visited: the link takes its second colour from now on.
    termsLink_.UseAlternateColour(kVisitedLinkColour);
}

LRESULT InstallLocationPage::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    switch (CtlColorId(hwnd_, lParam)) {
    case IDC_SETUP_CONTINUED:
        return WhiteOverBackground(wParam, headingFont_.Get());
    case IDC_INSTALL_PATH:
        NotHandled();
        return 0;
    case IDC_TERMS_LINK:
        // The link chooses its own text colour; the page keeps it transparent.
        DefaultCtlColor(WM_CTLCOLORSTATIC, wParam, lParam);
        ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    default:
        return WhiteOverBackground(wParam);
    }
}

