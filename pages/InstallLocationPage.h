#pragma once
// Stage 2: the install folder, disk space and the terms link.

#include <windows.h>

#include <string>

#include "framework/Handles.h"
#include "pages/Page.h"
#include "wizard/LinkLabel.h"

class InstallLocationPage : public Dispatching<InstallLocationPage, Page> {
public:
    explicit InstallLocationPage(PageOwner& owner);
    static MessageTable<InstallLocationPage> Messages();
    void SetPageTexts();
    // True lets the wizard go on; false keeps the page (the user has been told why).
    bool ValidateLocation();
    // Lays the page out at the recorded density (again after a change of density).
    void LayOut();

    // The folder the user chose; the installer start trims it in place.
    std::wstring installPath;

protected:
    bool OnInitDialog() override;
    // Enter in the folder box is the frame's Continue, location check included.
    void OnOK() override { Owner().Continue(); }
    LRESULT OnCtlColor(WPARAM, LPARAM) override;
    // Run when the terms link is clicked: shows the terms and marks the link visited.
    virtual void OpenTermsLink();

private:
    void ChooseInitialFolder();
    RECT TermsPlace() const;
    std::wstring AvailableSpaceLine() const;
    void Browse();

    // Free megabytes on drive C:, measured once when the page opens; empty when unknown.
    std::wstring availableSpaceText;
    LinkLabel termsLink_;
    // The template's hidden control whose place the link takes.
    HWND termsPlace_ = nullptr;
    // Set once the terms have been opened: the link is drawn in its visited colour.
    Font headingFont_;
    Font linkFont_;
    Font editFont_;
};

// Whole megabytes (of 1 048 576 bytes) in a byte count, rounded down, as decimal digits.
std::wstring WholeMegabytes(ULONGLONG bytes);
