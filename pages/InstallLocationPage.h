#pragma once
// Stage 2: the install folder, disk space and the terms link.

#include <string>

#include "framework/Window.h"

class InstallLocationPage : public Dialog {
public:
    InstallLocationPage();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void SetPageTexts();
    // True lets the wizard go on; false keeps the page (the user has been told why).
    bool ValidateLocation();

    // The folder the user chose; the installer start trims it in place.
    std::wstring installPath;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    static const MessageEntry<InstallLocationPage> kMessages[];
};
