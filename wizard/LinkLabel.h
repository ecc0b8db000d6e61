#pragma once
// A static text that behaves as a clickable link: its own text colour, the hand cursor,
// and clicks reported to the parent as STN_CLICKED.

#include <string>

#include "framework/Window.h"

class LinkLabel : public Dispatching<LinkLabel, Control> {
public:
    LinkLabel() = default;
    ~LinkLabel() override;

    // Creates the control as a visible child (rect in parent client coordinates) and attaches to it.
    bool Create(const std::wstring& text, const RECT& rect, HWND parent, int id, COLORREF colour, HFONT font,
                int showCommand, bool handCursor, bool useAlternateColour);
    // Resizes the control to the extent of text in its current font.
    void FitToText(const std::wstring& text, int showCommand);

    bool ColorsItself() const override { return true; }
    static MessageTable<LinkLabel> Messages();

    // Switches to the alternate colour (a visited link, for instance); redrawn at once.
    void UseAlternateColour(COLORREF colour);

    bool Hovering() const { return hover_; }
    bool HasFocus() const { return focus_; }

protected:
    void OnAttached() override;

private:
    LRESULT OnMouseMove(WPARAM, LPARAM);
    LRESULT OnCaptureChanged(WPARAM, LPARAM);
    LRESULT OnSetCursor(WPARAM, LPARAM);
    LRESULT OnCtlColor(WPARAM, LPARAM);
    LRESULT OnSetFocus(WPARAM, LPARAM);
    LRESULT OnKillFocus(WPARAM, LPARAM);
    void Redraw();

    COLORREF colour_ = RGB(0, 0, 238);
    COLORREF alternateColour_ = RGB(85, 26, 139);
    bool hover_ = false;
    bool useAlternateColour_ = false;
    bool handCursor_ = false;
    bool focus_ = false;
    // Set when Create made the window: the label then destroys it.
    bool ownsWindow_ = false;
};
