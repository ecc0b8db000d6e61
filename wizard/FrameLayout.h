#pragma once
// The frame window's side of density and windowing, on its handle alone: its own controls at
// the screen's density, where a page sits, its icons, dragging it by its background, and the
// size it wants at another density. The frame decides when; these know how.

#include <windows.h>

#include "framework/Handles.h"

// Defined from Windows 8.1 (and 10 1703) on, and so not in the XP-level headers we build with.
constexpr UINT kDensityChanged = 0x02E0;   // WM_DPICHANGED
constexpr UINT kGetScaledSize = 0x02E4;    // WM_GETDPISCALEDSIZE

// The frame's own controls laid out at the recorded density. The percentage's font is returned
// for the caller to keep while the label shows it.
Font LayOutFrameControls(HWND frame);
// A page at its place on the background picture.
void PlacePage(HWND frame, HWND page);
// The program's icons at the recorded density. The caller keeps them while the window shows them.
void SetFrameIcons(HWND frame, Icon& big, Icon& small);
// WM_NCHITTEST: the window has no caption, its background is one.
LRESULT FrameHitTest(HWND frame, WPARAM wParam, LPARAM lParam);
// WM_GETDPISCALEDSIZE: the window's outer size at `density`; false for a density no screen has.
bool FrameSizeAt(HWND frame, int density, SIZE* size);
