#pragma once
// Stage 3: the picture and the web content shown while the installer downloads.

#include "framework/Window.h"

class PreloaderPage : public Dialog {
public:
    PreloaderPage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    bool OnInitDialog() override;
    void OnCancel() override;

private:
    static const MessageEntry<PreloaderPage> kMessages[];
};
