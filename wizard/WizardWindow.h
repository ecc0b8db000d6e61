#pragma once
// The wizard's frame: the one top-level window of the installer.
// (Interim: the full frame with pages, engine and picture replaces this shortly.)

#include <string>

#include "framework/Window.h"

class InstallLocationPage;

class WizardWindow : public Dialog {
public:
    WizardWindow();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // Calls from the pages.
    void LanguageChanged(const std::wstring& name);
    void ResumeWizard();
    void AbandonInstall();
    void Continue();

    int Stage() const { return stage_; }
    bool FeaturesPageShown() const { return featuresPageShown_; }

protected:
    bool OnInitDialog() override;
    void OnOK() override { Continue(); }
    void OnCancel() override { AbandonInstall(); }

private:
    LRESULT OnCancelCommand(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);

    static const MessageEntry<WizardWindow> kMessages[];
    int stage_ = 1;
    bool featuresPageShown_ = false;
};
