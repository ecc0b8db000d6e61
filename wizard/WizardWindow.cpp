#include "wizard/WizardWindow.h"

#include <commctrl.h>

#include <utility>

#include "config/Settings.h"
#include "config/Texts.h"
#include "download/LinkOpener.h"
#include "download/Registry.h"
#include "download/Shortcut.h"
#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/FrameLayout.h"
#include "wizard/Layout.h"

namespace {

constexpr UINT_PTR kProgressTimer = 1;
// Fires once, after the first paint (a timer comes after painting): the first tracking request
// is made then, so that nothing of it comes before the wizard is on the screen.
constexpr UINT_PTR kFirstTrackingTimer = 2;
// What the frame shows behind its texts when BackGround.bmp is missing or cannot be decoded.
const COLORREF kPlainBackground = RGB(28, 36, 52);

// The status line's text for a download that ended with this failure.
const std::wstring Texts::*FailureText(DownloadError error) {
    switch (error) {
    case DownloadError::NotFound: return &Texts::DownloadNotFoundMsg;
    case DownloadError::ServerError: return &Texts::DownloadServerErrorMsg;
    case DownloadError::SignInNeeded: return &Texts::DownloadSignInMsg;
    case DownloadError::DiskFull: return &Texts::DownloadDiskFullMsg;
    case DownloadError::FileInUse: return &Texts::DownloadFileInUseMsg;
    case DownloadError::Misconfigured: return &Texts::DownloadMisconfiguredMsg;
    case DownloadError::SecureConnection: return &Texts::DownloadSecureMsg;
    case DownloadError::TooManyRedirects: return &Texts::DownloadRedirectMsg;
    case DownloadError::ProxyCredentials: return &Texts::DownloadProxyMsg;
    default: return &Texts::DownloadFailedMsg;
    }
}

}  // namespace

MessageTable<WizardWindow> WizardWindow::Messages() {
    static const MessageEntry<WizardWindow> rows[] = {
        {WM_COMMAND, BN_CLICKED, IDC_CONTINUE, &WizardWindow::Continue},
        {WM_COMMAND, BN_CLICKED, IDC_BACK, &WizardWindow::Back},
        {WM_COMMAND, BN_CLICKED, IDC_CANCEL_SETUP, &WizardWindow::Cancel},
        {WM_CLOSE, kAny, kAny, &WizardWindow::Cancel},
        {WM_PAINT, kAny, kAny, &WizardWindow::OnPaint},
        {WM_TIMER, kAny, kAny, &WizardWindow::OnTimer},
        {WM_CTLCOLORSTATIC, kAny, kAny, &WizardWindow::OnCtlColor},
        {WM_CTLCOLORBTN, kAny, kAny, &WizardWindow::OnCtlColor},
        {WM_CTLCOLORDLG, kAny, kAny, &WizardWindow::OnCtlColor},
        {WM_DOWNLOAD_STATUS, kAny, kAny, &WizardWindow::OnDownloadStatusMessage},
        {WM_NCHITTEST, kAny, kAny, &WizardWindow::OnNcHitTest},
        {kDensityChanged, kAny, kAny, &WizardWindow::OnDensityChanged},
        {kGetScaledSize, kAny, kAny, &WizardWindow::OnGetScaledSize},
    };
    return rows;
}

bool WizardWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_INITDIALOG) TaskbarProgress::AllowButtonCreatedMessage(hwnd_);
    // Registered at run time, so it cannot be a row of a table.
    if (message != 0 && message == TaskbarProgress::ButtonCreatedMessage()) {
        taskbar_.Attach(hwnd_);
        UpdateTaskbar();
        result = 0;
        return true;
    }
    return Dispatching::OnMessage(message, wParam, lParam, result);
}

WizardWindow::WizardWindow()
    : Dispatching(IDD_WIZARD), welcomePage_(*this), installLocationPage_(*this), preloaderPage_(*this),
      featuresPage_(*this) {
    background_.Load(OwnPackage(), L"BackGround.bmp");
}

WizardWindow::~WizardWindow() {
    // No notification may reach a frame that is going away.
    engine_.CancelDownload();
}

bool WizardWindow::OnInitDialog() {
    // The monitor the window opens on may have another density than the one recorded at start.
    RecordWindowDensity(hwnd_);
    LayOut();

    RECT window, screen;
    ::GetWindowRect(hwnd_, &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    int width = window.right - window.left, height = window.bottom - window.top;
    ::SetWindowPos(hwnd_, nullptr, screen.left + (screen.right - screen.left - width) / 2,
                   screen.top + (screen.bottom - screen.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetWindowTextW(hwnd_, AppTexts().ApplicationTitle.c_str());

    if (welcomePage_.Create(hwnd_)) ShowPage(welcomePage_);
    stage_ = 1;
    ShowStage(1);
    ::SetFocus(Item(IDC_CONTINUE));
    ::SetTimer(hwnd_, kFirstTrackingTimer, 1, nullptr);
    return false;  // the focus is set
}

void WizardWindow::LayOut() {
    percentFont_ = LayOutFrameControls(hwnd_);
    if (welcomePage_.Handle()) welcomePage_.LayOut();
    if (installLocationPage_.Handle()) installLocationPage_.LayOut();
    if (preloaderPage_.Handle()) preloaderPage_.LayOut();
    if (featuresPage_.Handle()) featuresPage_.LayOut();
    for (HWND page : {welcomePage_.Handle(), installLocationPage_.Handle(), preloaderPage_.Handle(),
                      featuresPage_.Handle()})
        PlacePage(hwnd_, page);
    // A sharper variant of the picture may suit the new density better.
    background_.Load(OwnPackage(), L"BackGround.bmp");
    SetFrameIcons(hwnd_, bigIcon_, smallIcon_);
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT WizardWindow::OnNcHitTest(WPARAM wParam, LPARAM lParam) { return FrameHitTest(hwnd_, wParam, lParam); }

// The window moved to a monitor of another density, or the user changed the scale: everything
// is laid out again. The window goes where Windows suggests, at the size of our own layout (the
// one we gave Windows for the suggestion, below).
LRESULT WizardWindow::OnDensityChanged(WPARAM wParam, LPARAM lParam) {
    if (!SetScreenDensity(LOWORD(wParam))) return 0;
    LayOut();
    if (const RECT* suggested = reinterpret_cast<const RECT*>(lParam))
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

// Windows 10 1703 and later ask, before a change of density, what size the window will want.
LRESULT WizardWindow::OnGetScaledSize(WPARAM wParam, LPARAM lParam) {
    return FrameSizeAt(hwnd_, static_cast<int>(wParam), reinterpret_cast<SIZE*>(lParam)) ? TRUE : FALSE;
}

void WizardWindow::ShowItem(int id, bool show) { ::ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE); }

void WizardWindow::ShowPage(Dialog& page) {
    PlacePage(hwnd_, page.Handle());
    ::ShowWindow(page.Handle(), SW_SHOW);
}

void WizardWindow::ShowStage(int n) {
    auto hide = [](Dialog& page) {
        if (page.Handle()) ::ShowWindow(page.Handle(), SW_HIDE);
    };
    const Texts& texts = AppTexts();
    switch (n) {
    case 1:
        hide(installLocationPage_);
        if (welcomePage_.Handle()) ::ShowWindow(welcomePage_.Handle(), SW_SHOW);
        SetButtonText(Item(IDC_CONTINUE), texts.ButtonNext);
        ShowItem(IDC_CONTINUE, true);
        ShowItem(IDC_BACK, false);
        ShowItem(IDC_CANCEL_SETUP, true);
        ::SetFocus(Item(IDC_CONTINUE));
        break;
    case 2:
        hide(welcomePage_);
        if (installLocationPage_.Handle() || installLocationPage_.Create(hwnd_)) {
            installLocationPage_.SetPageTexts();
            ShowPage(installLocationPage_);
        }
        SetButtonText(Item(IDC_CONTINUE), texts.ButtonIAgree);
        ShowItem(IDC_CONTINUE, true);
        SetButtonText(Item(IDC_BACK), texts.ButtonBack);
        ShowItem(IDC_BACK, true);
        ShowItem(IDC_CANCEL_SETUP, true);
        ::SetFocus(Item(IDC_CONTINUE));
        break;
    case 3:
        hide(welcomePage_);
        hide(installLocationPage_);
        if (preloaderPage_.Handle() || preloaderPage_.Create(hwnd_)) ShowPage(preloaderPage_);
        ShowItem(IDC_BACK, false);
        ShowItem(IDC_CANCEL_SETUP, true);
        ShowItem(IDC_PROGRESS, true);
        ShowItem(IDC_PERCENT, true);
        if (failure_) {
            SetStatus(texts.*failure_);
            SetButtonText(Item(IDC_CONTINUE), texts.ButtonRetry);
        }
        ShowItem(IDC_STATUS, true);
        ShowItem(IDC_CONTINUE, failure_ != nullptr);
        ::SetFocus(Item(failure_ ? IDC_CONTINUE : IDC_CANCEL_SETUP));
        break;
    case 4:
        featuresPageShown_ = true;
        hide(welcomePage_);
        hide(installLocationPage_);
        hide(preloaderPage_);
        for (int id : {IDC_CANCEL_SETUP, IDC_CONTINUE, IDC_PROGRESS, IDC_STATUS, IDC_PERCENT, IDC_BACK})
            ShowItem(id, false);
        if (featuresPage_.Handle() || featuresPage_.Create(hwnd_)) {
            featuresPage_.SetPageTexts();
            ShowPage(featuresPage_);
            // The frame's buttons are hidden: the focus goes where Enter means "go on".
            ::SetFocus(featuresPage_.Item(IDC_CONTINUE_INSTALL));
        }
        break;
    default:
        break;
    }
}

void WizardWindow::Continue() {
    // Past the download's start, or behind the features page, Continue has nothing to move
    // on to: going further would strand the user with no way to start the installer.
    if (featuresPageShown_) return;
    if (stage_ == 3 && failure_) {
        Retry();
        return;
    }
    if (stage_ >= 3) return;
    if (stage_ == 2 && !installLocationPage_.ValidateLocation()) return;
    if (stage_ == 1) {
        // The welcome page's own tracking waits for the first paint; a user quicker than
        // that still gets it, first.
        TrackStage(1);
        CreateDesktopShortcut();
        if (IsProductInstalled()) ++stage_;
    }
    ++stage_;
    if (stage_ == 2 || stage_ == 3) TrackStage(stage_);
    if (stage_ == 3 && !downloadComplete_) StartDownload();
    ShowStage(stage_);
}

void WizardWindow::Back() {
    if (featuresPageShown_ || stage_ != 2) return;
    --stage_;
    ShowStage(stage_);
}

void WizardWindow::Cancel() {
    // The close that follows a started installer.
    if (installerStarted_ && !featuresPageShown_) {
        SaveDownloadPath();
        AbandonInstall();
        return;
    }
    ShowStage(4);
    CreateDesktopShortcut();
}

void WizardWindow::ResumeWizard() {
    featuresPageShown_ = false;
    ShowStage(stage_);
    AskProxy();
    // After a failure only the Retry button starts anything again.
    if (downloadComplete_ && !failure_) LaunchInstaller();
}

void WizardWindow::AbandonInstall() {
    engine_.CancelDownload();
    EndModal(IDCANCEL);
}

void WizardWindow::LanguageChanged(const std::wstring&) {
    const Texts& texts = AppTexts();
    SetButtonText(Item(IDC_CONTINUE), texts.ButtonNext);
    SetButtonText(Item(IDC_CANCEL_SETUP), texts.ButtonCancel);
    ::SetWindowTextW(Item(IDC_STATUS), texts.DownloadingLabel.c_str());
    ::SetWindowTextW(hwnd_, texts.ApplicationTitle.c_str());
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void WizardWindow::StartDownload() {
    std::wstring url = AppSettings().InstallerDownloadURL;
    ExpandUrlPlaceholders(url);
    const Settings& settings = AppSettings();
    // A folder of the product's own: nothing else lies beside the installer it starts. (An
    // address that names no file fails in the engine; no folder is made for it.)
    const std::wstring name = FileNameFromUrl(url);
    std::wstring folder = name.empty() ? std::wstring() : ProductDownloadFolder(settings.BrandProduct);
    if (folder.empty()) folder = TempFolder();
    AdoptEarlierDownload(folder, name);
    // The engine reports the download complete only once the file has passed these checks,
    // so the installer below never starts a file that failed them.
    engine_.SetChecks(settings.InstallerSHA256, settings.InstallerSize, settings.InstallerSigner);
    std::vector<std::wstring> mirrors = settings.MirrorURLs();
    for (std::wstring& mirror : mirrors) ExpandUrlPlaceholders(mirror);
    engine_.SetMirrors(std::move(mirrors));
    engine_.Start(url, &WizardWindow::NotifyFromEngine, folder, this);
    ::SetTimer(hwnd_, kProgressTimer, 1000, nullptr);
    downloadStarted_ = true;
    UpdateTaskbar();
}

// Runs on WinINet's threads: only hands the code to the window's own thread.
// The engine stops calling before the frame goes (see the destructor).
void WizardWindow::NotifyFromEngine(unsigned long code, void* context) {
    WizardWindow* wizard = static_cast<WizardWindow*>(context);
    if (HWND window = wizard->hwnd_) ::PostMessageW(window, WM_DOWNLOAD_STATUS, code, 0);
}

LRESULT WizardWindow::OnDownloadStatusMessage(WPARAM code, LPARAM) {
    OnDownloadStatus(static_cast<unsigned long>(code));
    return 0;
}

void WizardWindow::OnDownloadStatus(unsigned long code) {
    switch (code) {
    case DownloadStarted:
        reconnecting_ = false;
        SetStatus(AppTexts().DownloadingLabel);
        break;
    case ::DownloadComplete:
        downloadComplete_ = true;
        // One last look at the counts, so that the display ends at 100%, painted now: the
        // installer start below holds this thread for two seconds.
        UpdateProgress();
        ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        ::KillTimer(hwnd_, kProgressTimer);
        LaunchInstaller();
        break;
    case DownloadRetrying:
        reconnecting_ = true;
        UpdateTaskbar();
        break;
    case DownloadFailed:
    case DownloadOpenFailed:
        ShowFailure(FailureText(engine_.Failure()));
        break;
    case DownloadCorrupt:
        ShowFailure(&Texts::DownloadCorruptMsg);
        break;
    case DownloadProxyCredentials:
        proxyAsks_ = true;
        AskProxy();
        break;
    default:
        break;
    }
}

void WizardWindow::AskProxy() {
    // Behind the features page the question waits for "Continue Installation".
    if (!proxyAsks_ || featuresPageShown_) return;
    proxyAsks_ = false;
    HINTERNET challenge = engine_.ProxyChallenge();
    if (!challenge) return;
    // The system's own dialog, on this thread: it asks for the proxy's user name and password and
    // keeps them in the request (and, if the user ticks it, in the system's password store).
    DWORD answer = ::InternetErrorDlg(hwnd_, challenge, ERROR_INTERNET_INCORRECT_PASSWORD,
                                      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                          FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                                      nullptr);
    engine_.AnswerProxy(answer == ERROR_INTERNET_FORCE_RETRY);
}

LRESULT WizardWindow::OnTimer(WPARAM id, LPARAM) {
    if (id == kProgressTimer) UpdateProgress();
    if (id == kFirstTrackingTimer) {
        ::KillTimer(hwnd_, kFirstTrackingTimer);
        TrackStage(1);
    }
    NotHandled();
    return 0;
}

void WizardWindow::UpdateProgress() {
    UpdateTaskbar();
    if (reconnecting_ && !featuresPageShown_) {
        SetStatus(AppTexts().TryingToConnect);
        return;
    }
    unsigned long long total = static_cast<unsigned long long>(engine_.totalBytes.load());
    unsigned long long received = static_cast<unsigned long long>(engine_.receivedBytes.load());
    if (total == 0 || !engine_.progressValid.load()) return;
    ShowItem(IDC_PERCENT, false);
    if (received > 0) {
        // 64-bit arithmetic: no overflow below 180 petabytes.
        unsigned long long percent = received >= total ? 100 : received * 100 / total;
        percentText_ = DecimalText(percent) + L"%";
        ::SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    }
    ::SetWindowTextW(Item(IDC_PERCENT), percentText_.c_str());
    if (stage_ > 1 && !featuresPageShown_) ShowItem(IDC_PERCENT, true);
}

void WizardWindow::LaunchInstaller() {
    if (!downloadComplete_ || featuresPageShown_) return;
    // The engine holds the checked file so that nobody can change it until it has started.
    int result = StartInstaller(engine_.FilePath(), installLocationPage_.installPath, hwnd_);
    if (result > 32) {
        installerStarted_ = true;
        engine_.ReleaseFile();
        return;
    }
    if (InstallerFileUnusable(result)) {
        // Kept, the file would come back complete (416) on every retry and fail alike.
        engine_.DiscardFile();
        downloadComplete_ = false;
    }
    ShowFailure(&Texts::InstallerStartFailedMsg);
}

void WizardWindow::ShowFailure(const std::wstring Texts::*text) {
    // Nothing is retried any more: the reconnect text would be a false promise.
    reconnecting_ = false;
    failure_ = text;
    ::KillTimer(hwnd_, kProgressTimer);
    UpdateTaskbar();
    // Behind the features page the failure waits for "Continue Installation".
    if (!featuresPageShown_) ShowStage(3);
}

void WizardWindow::Retry() {
    failure_ = nullptr;
    UpdateTaskbar();
    SetStatus(AppTexts().DownloadingLabel);
    ShowStage(3);
    // The engine resumes the partial file; a complete one that did not start is tried again.
    if (downloadComplete_)
        LaunchInstaller();
    else
        StartDownload();
}

// What the taskbar button shows: the download's progress, yellow (paused) while it waits for the
// connection to come back, red after a failure.
void WizardWindow::UpdateTaskbar() {
    using State = TaskbarProgress::State;
    unsigned long long total = static_cast<unsigned long long>(engine_.totalBytes.load());
    unsigned long long received = static_cast<unsigned long long>(engine_.receivedBytes.load());
    bool known = total > 0 && engine_.progressValid.load();
    if (received > total) received = total;
    if (downloadComplete_ && !failure_)
        taskbar_.Show(State::Normal, known ? total : 1, known ? total : 1);
    else if (failure_)
        taskbar_.Show(State::Error, known ? received : 0, known ? total : 0);
    else if (!downloadStarted_)
        taskbar_.Show(State::None);
    else if (reconnecting_)
        taskbar_.Show(State::Paused, known ? received : 0, known ? total : 0);
    else if (known)
        taskbar_.Show(State::Normal, received, total);
    else
        taskbar_.Show(State::Indeterminate);
}

// Hidden while it changes: the transparent label is then repainted over the background
// instead of over its old text.
void WizardWindow::SetStatus(const std::wstring& text) {
    ShowItem(IDC_STATUS, false);
    ::SetWindowTextW(Item(IDC_STATUS), text.c_str());
    if (!featuresPageShown_) ShowItem(IDC_STATUS, true);
}

void WizardWindow::TrackStage(int n) {
    if (n < 1 || n > 3 || stageTracked_[n - 1]) return;
    stageTracked_[n - 1] = true;
    if (AppSettings().OmnitureLink.empty()) return;
    // In the background: whatever the server does, the wizard goes on as if it had answered.
    tracker_.Request(TrackingAddress(n));
}

void WizardWindow::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    if (!background_.Draw(dc, 0, 0)) {
        // White texts need something dark under them, and old texts must not shine through.
        Brush plain(::CreateSolidBrush(kPlainBackground));
        ::FillRect(dc, &paint.rcPaint, plain.Get());
    }
    ::EndPaint(hwnd_, &paint);
}

LRESULT WizardWindow::OnCtlColor(WPARAM wParam, LPARAM lParam) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    if (control == Item(IDC_PERCENT)) {
        ::SelectObject(dc, percentFont_.Get());
        ::SetTextColor(dc, RGB(0, 0, 0));
    }
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}
