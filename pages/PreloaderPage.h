#pragma once
// Stage 3: the picture and the web content shown while the installer downloads.

#include "framework/Window.h"
#include "wizard/ContentBrowser.h"
#include "wizard/Picture.h"

class PreloaderPage : public Dialog {
public:
    PreloaderPage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    const ContentBrowser& Content() const { return content_; }

protected:
    bool OnInitDialog() override;
    void OnCancel() override;

private:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    static const MessageEntry<PreloaderPage> kMessages[];

    Picture picture_;
    ContentBrowser content_;
};
