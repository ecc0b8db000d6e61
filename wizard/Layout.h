#pragma once
// The layout of the wizard's dialogs at the screen's density, and the font factory.
//
// The background picture and the page positions are designed in pixels at 96 dots per inch,
// so every wizard window lays itself out from its own template as the dialog manager would at
// 96 dots per inch (its font and dialog units there), then scales every rectangle and the font
// by the one factor of wizard/Density.h. The result is the same picture at any density, only
// sharper.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "framework/Handles.h"

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

// Lays the window out from its template at the recorded density; again after a change of
// density. The font it makes lives as long as the window (or until the next layout).
void FixDialogLayout(HWND window, UINT templateId);

// The client size a template's window has at 96 dots per inch (0 x 0 without the template):
// what the pictures are designed for.
SIZE DesignClientSize(UINT templateId);

// A font of tenthsOfPoint tenths of a point at the recorded density.
Font MakeFont(const wchar_t* face, int tenthsOfPoint, int weight, bool underline, bool italic, BYTE charset);
