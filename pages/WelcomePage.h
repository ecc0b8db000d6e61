#pragma once
// Stage 1: welcome texts and the language choice.

#include "framework/Window.h"

class WelcomePage : public Dialog {
public:
    WelcomePage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void SetPageTexts();

protected:
    bool OnInitDialog() override;
    void OnCancel() override;

private:
    static const MessageEntry<WelcomePage> kMessages[];
};
