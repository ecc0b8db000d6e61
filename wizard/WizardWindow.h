#pragma once
// The wizard's frame: the one top-level window of the installer.

#include "framework/Window.h"

class WizardWindow : public Dialog {
public:
    WizardWindow();
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    bool OnInitDialog() override;

private:
    LRESULT OnCancelCommand(WPARAM, LPARAM);
    LRESULT OnClose(WPARAM, LPARAM);

    static const MessageEntry<WizardWindow> kMessages[];
};
