#pragma once
// What the four wizard pages share: text drawn white over the frame's background picture, and
// their own fonts.

#include <windows.h>

#include <initializer_list>

#include "framework/Handles.h"

// Prepares a control-colour message's device context for white text over the background:
// transparent background mode and, when given, the font; returns the hollow brush, which
// leaves the page unpainted so that the frame's picture shows through.
LRESULT WhiteOverBackground(WPARAM dc, HFONT font = nullptr);

// The control that a WM_CTLCOLOR* message is about: 0 for the page itself.
int CtlColorId(HWND page, LPARAM control);

// A Verdana font of the page's own, also given to the control so that its text is drawn in
// it whichever way the control picks its font (after the fixed-pixel layout, which sets the
// template's font on every control).
Font MakeControlFont(HWND page, std::initializer_list<int> ids, int tenthsOfPoint, int weight);
// A page's heading in its large font, given to the control as above.
Font MakeHeadingFont(HWND page, int id);
// The terms link's font: bold and underlined.
Font MakeLinkFont();

// Where the page shows no control, the mouse goes on to the frame, which is dragged by its
// background.
void PassMouseToFrame(HWND page);
