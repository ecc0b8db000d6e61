#pragma once
// The wizard's frame: the one top-level window of the installer. It owns the pages, the
// download engine and the background picture, and moves through the stages:
// 1 welcome, 2 install location, 3 download, 4 features (shown when the user tries to leave).

#include <string>

#include "config/Texts.h"
#include "download/DownloadEngine.h"
#include "download/Tracker.h"
#include "framework/Handles.h"
#include "framework/Window.h"
#include "pages/FeaturesPage.h"
#include "pages/InstallLocationPage.h"
#include "pages/PreloaderPage.h"
#include "pages/WelcomePage.h"
#include "wizard/DensityPicture.h"
#include "wizard/TaskbarProgress.h"

// Posted to the frame for every engine notification (wParam: the code).
constexpr UINT WM_DOWNLOAD_STATUS = WM_APP + 1;

class WizardWindow : public Dispatching<WizardWindow, Dialog>, public PageOwner {
public:
    WizardWindow();
    ~WizardWindow() override;
    static MessageTable<WizardWindow> Messages();

    // Calls from the pages.
    void LanguageChanged(const std::wstring& name) override;
    void ResumeWizard() override;
    void AbandonInstall() override;
    void Continue() override;

    int Stage() const { return stage_; }
    bool FeaturesPageShown() const { return featuresPageShown_; }
    bool IsDownloadComplete() const { return downloadComplete_; }
    bool ShowsFailure() const { return failure_ != nullptr; }
    InstallLocationPage& InstallLocation() { return installLocationPage_; }
    const DownloadEngine& Engine() const { return engine_; }

    // The taskbar's registered message first, then Messages().
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    bool OnInitDialog() override;
    void OnOK() override { Continue(); }
    void OnCancel() override { Cancel(); }

private:
    void ShowStage(int n);
    void ShowPage(Dialog& page);
    void Back();
    void Cancel();
    void StartDownload();
    void OnDownloadStatus(unsigned long code);
    void AskProxy();
    void UpdateProgress();
    void LaunchInstaller();
    void ShowFailure(const std::wstring Texts::*text);
    void Retry();
    void SetStatus(const std::wstring& text);
    void TrackStage(int n);
    void ShowItem(int id, bool show);
    void UpdateTaskbar();

    // Everything at the recorded density: the frame's controls, the pages, the pictures.
    void LayOut();
    LRESULT OnNcHitTest(WPARAM, LPARAM);
    LRESULT OnDensityChanged(WPARAM, LPARAM);
    LRESULT OnGetScaledSize(WPARAM, LPARAM);

    static void NotifyFromEngine(unsigned long code, void* context);

    void OnPaint();
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    LRESULT OnDownloadStatusMessage(WPARAM, LPARAM);

    WelcomePage welcomePage_;
    InstallLocationPage installLocationPage_;
    PreloaderPage preloaderPage_;
    FeaturesPage featuresPage_;
    DownloadEngine engine_;
    // Gives its last request up to two seconds when the wizard goes.
    Tracker tracker_;
    DensityPicture background_;
    Font percentFont_;
    Icon bigIcon_, smallIcon_;
    TaskbarProgress taskbar_;

    int stage_ = 1;
    // The download was started: the taskbar button shows its progress from then on.
    bool downloadStarted_ = false;
    bool downloadComplete_ = false;
    bool featuresPageShown_ = false;
    bool stageTracked_[3] = {false, false, false};
    bool reconnecting_ = false;
    bool installerStarted_ = false;
    bool proxyAsks_ = false;  // a proxy's request for credentials waits for the user
    // The failure stage 3 shows with its Retry button; null while there is none.
    const std::wstring Texts::*failure_ = nullptr;
    std::wstring percentText_ = L"0%";
};
