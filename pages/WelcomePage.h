#pragma once
// Stage 1: welcome texts and the language choice.

#include "framework/Handles.h"
#include "framework/Window.h"

class WelcomePage : public Dialog {
public:
    WelcomePage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void SetPageTexts();
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

protected:
    bool OnInitDialog() override;
    void OnCancel() override;

private:
    // Loads the chosen language's texts and shows them on this page and the frame.
    void LanguageSelected();
    LRESULT OnLanguageSelected(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    static const MessageEntry<WelcomePage> kMessages[];

    Font titleFont_;
};
