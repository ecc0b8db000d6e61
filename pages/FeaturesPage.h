#pragma once
// Shown when the user tries to leave: the product's features, continue or give up.

#include "framework/Handles.h"
#include "pages/Page.h"

class FeaturesPage : public Dispatching<FeaturesPage, Page> {
public:
    explicit FeaturesPage(PageOwner& owner);
    static MessageTable<FeaturesPage> Messages();
    void SetPageTexts();
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

protected:
    bool OnInitDialog() override;
    LRESULT OnCtlColor(WPARAM, LPARAM) override;

private:
    void ContinueInstall();
    void NoThanks();

    Font headingFont_;
    Font featureTitleFont_;
};
