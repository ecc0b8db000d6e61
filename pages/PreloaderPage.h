#pragma once
// Stage 3: the picture and the web content shown while the installer downloads.

#include "framework/Window.h"
#include "wizard/ContentBrowser.h"
#include "wizard/DensityPicture.h"

class PreloaderPage : public Dialog {
public:
    PreloaderPage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    const ContentBrowser& Content() const { return content_; }
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

protected:
    bool OnInitDialog() override;
    void OnCancel() override;

private:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    static const MessageEntry<PreloaderPage> kMessages[];

    DensityPicture picture_;
    ContentBrowser content_;
};
