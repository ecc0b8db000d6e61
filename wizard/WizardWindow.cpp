#include "wizard/WizardWindow.h"

#include "config/Texts.h"
#include "resources/resource.h"

const MessageEntry<WizardWindow> WizardWindow::kMessages[] = {
    {WM_COMMAND, BN_CLICKED, IDC_CANCEL_SETUP, &WizardWindow::OnCancelCommand},
    {WM_CLOSE, kAny, kAny, &WizardWindow::OnClose},
};

WizardWindow::WizardWindow() : Dialog(IDD_WIZARD) {}

bool WizardWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return DispatchTable(this, kMessages, message, wParam, lParam, result) ||
           Dialog::OnMessage(message, wParam, lParam, result);
}

bool WizardWindow::OnInitDialog() {
    RECT window, screen;
    ::GetWindowRect(hwnd_, &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    int width = window.right - window.left, height = window.bottom - window.top;
    ::MoveWindow(hwnd_, screen.left + (screen.right - screen.left - width) / 2,
                 screen.top + (screen.bottom - screen.top - height) / 2, width, height, TRUE);
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetWindowTextW(hwnd_, AppTexts().ApplicationTitle.c_str());
    ::SetFocus(Item(IDC_CONTINUE));
    return false;
}

void WizardWindow::LanguageChanged(const std::wstring&) { ::SetWindowTextW(hwnd_, AppTexts().ApplicationTitle.c_str()); }
void WizardWindow::ResumeWizard() { featuresPageShown_ = false; }
void WizardWindow::AbandonInstall() { EndModal(IDCANCEL); }
void WizardWindow::Continue() {}

LRESULT WizardWindow::OnCancelCommand(WPARAM, LPARAM) {
    AbandonInstall();
    return 0;
}

LRESULT WizardWindow::OnClose(WPARAM, LPARAM) {
    AbandonInstall();
    return 0;
}
