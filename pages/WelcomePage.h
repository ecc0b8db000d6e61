#pragma once
// Stage 1: welcome texts and the language choice.

#include "framework/Handles.h"
#include "pages/Page.h"

class WelcomePage : public Dispatching<WelcomePage, Page> {
public:
    explicit WelcomePage(PageOwner& owner);
    static MessageTable<WelcomePage> Messages();
    void SetPageTexts();
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

protected:
    bool OnInitDialog() override;
    LRESULT OnCtlColor(WPARAM, LPARAM) override;

private:
    // Loads the chosen language's texts and shows them on this page and the frame.
    void LanguageSelected();

    Font titleFont_;
};
