#pragma once
// What every wizard page is: a child dialog of the frame whose texts are drawn over the
// frame's picture, and which reaches the frame only through its owner's few calls.

#include <string>

#include "framework/Window.h"

// The calls a page makes on the window that holds it.
class PageOwner {
public:
    // Go on from the current stage, as the frame's Continue button does.
    virtual void Continue() = 0;
    // The texts of another language are loaded: show them.
    virtual void LanguageChanged(const std::wstring& name) = 0;
    // The user stays: back to the stage they left.
    virtual void ResumeWizard() = 0;
    // The user gives up: stop and go away.
    virtual void AbandonInstall() = 0;

protected:
    ~PageOwner() = default;
};

class Page : public Dispatching<Page, Dialog> {
public:
    Page(UINT templateId, PageOwner& owner) : Dispatching(templateId), owner_(owner) {}
    static MessageTable<Page> Messages();

protected:
    PageOwner& Owner() const { return owner_; }
    // Every colour message of the page and its controls; by default white text, nothing painted.
    virtual LRESULT OnCtlColor(WPARAM dc, LPARAM control);
    // Escape on a page: the frame decides what leaving means.
    void OnCancel() override;

private:
    PageOwner& owner_;
};
