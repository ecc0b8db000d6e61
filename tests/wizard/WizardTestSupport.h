#pragma once
// Pieces shared by the wizard tests: OLE on the test thread and a dialog on a template.

#include <windows.h>
#include <ole2.h>

#include <vector>

#include "framework/Window.h"
#include "wizard/Layout.h"

// OLE for the life of a test (the application turns it on at start-up).
class OleScope {
public:
    OleScope() { ::OleInitialize(nullptr); }
    ~OleScope() { ::OleUninitialize(); }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;
};

// A modeless dialog on one of the executable's templates, laid out as the wizard's windows
// lay themselves out when asked to; it records the STN_CLICKED notifications it gets.
class TemplateDialog : public Dialog {
public:
    explicit TemplateDialog(UINT templateId, bool fixLayout = false) : Dialog(templateId), fixLayout_(fixLayout) {}

    // The window's position in its parent's client area (the screen for a top-level window)
    // just before the layout was fixed.
    POINT PositionBeforeFix() const { return before_; }
    const std::vector<int>& Clicks() const { return clicks_; }

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED) clicks_.push_back(LOWORD(wParam));
        return Dialog::OnMessage(message, wParam, lParam, result);
    }

protected:
    bool OnInitDialog() override {
        RECT rect;
        ::GetWindowRect(hwnd_, &rect);
        ::MapWindowPoints(nullptr, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&rect), 1);
        before_ = {rect.left, rect.top};
        if (fixLayout_) FixDialogLayout(hwnd_, TemplateId());
        return true;
    }

private:
    bool fixLayout_;
    POINT before_ = {0, 0};
    std::vector<int> clicks_;
};
