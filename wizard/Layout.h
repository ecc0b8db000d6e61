#pragma once
// Fixed-pixel layout of the wizard's dialogs and the font factory.
//
// The background picture and the page positions are in pixels, so every wizard window
// re-lays itself out from its own template with the font size and dialog units it would
// have on a 96-dots-per-inch screen.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "framework/Handles.h"

// 1.0 at 96 dots per inch, otherwise 96 divided by the recorded screen density.
double DensityScale();

// The font a dialog template asks for, after the fall-back and fix-up rules.
struct TemplateFont {
    int pointSize = 0;
    bool hasMenu = false;
    int weight = 0;
    int italic = 0;
    std::wstring face;
};

struct TemplateItem {
    DWORD id = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplateInfo {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short cx = 0, cy = 0;
    TemplateFont font;
    std::vector<TemplateItem> items;
};

// One of the program's dialog templates (its resource), where the layout reads it; false when
// the program has none of that number.
bool FindDialogTemplate(UINT templateId, const void*& data, size_t& size);
// Reads a DIALOGEX or classic DIALOG template; false when the bytes end too early.
bool ReadDialogTemplate(const void* data, size_t size, DialogTemplateInfo& info);

// Lays the window out again from its template in fixed pixels (nothing at 96 dots per inch).
// The font it makes lives as long as the window.
void FixDialogLayout(HWND window, UINT templateId);

// A font of tenthsOfPoint tenths of a point at the screen's real density.
Font MakeFont(const wchar_t* face, int tenthsOfPoint, int weight, bool underline, bool italic, BYTE charset);
