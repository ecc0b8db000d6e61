#pragma once
// Stage 3: the picture and the web content shown while the installer downloads.

#include "pages/Page.h"
#include "wizard/ContentBrowser.h"
#include "wizard/DensityPicture.h"

class PreloaderPage : public Dispatching<PreloaderPage, Page> {
public:
    explicit PreloaderPage(PageOwner& owner);
    static MessageTable<PreloaderPage> Messages();

    const ContentBrowser& Content() const { return content_; }
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

protected:
    bool OnInitDialog() override;

private:
    void OnPaint();

    DensityPicture picture_;
    ContentBrowser content_;
};
