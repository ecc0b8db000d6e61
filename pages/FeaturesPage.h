#pragma once
// Shown when the user tries to leave: the product's features, continue or give up.

#include "framework/Handles.h"
#include "framework/Window.h"

class FeaturesPage : public Dialog {
public:
    FeaturesPage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void SetPageTexts();
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

protected:
    bool OnInitDialog() override;
    void OnCancel() override;

private:
    LRESULT OnContinueInstall(WPARAM, LPARAM);
    LRESULT OnNoThanks(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    static const MessageEntry<FeaturesPage> kMessages[];

    Font headingFont_;
    Font featureTitleFont_;
};
