#pragma once
// Stage 3: the picture and the web content shown while the installer downloads.

#include "pages/Page.h"
#include "wizard/ContentBrowser.h"
#include "wizard/Picture.h"

class PreloaderPage : public Dispatching<PreloaderPage, Page> {
public:
    explicit PreloaderPage(PageOwner& owner);
    static MessageTable<PreloaderPage> Messages();

    const ContentBrowser& Content() const { return content_; }

protected:
    bool OnInitDialog() override;

private:
    void OnPaint();

    Picture picture_;
    ContentBrowser content_;
};
