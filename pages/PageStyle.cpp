#include "pages/PageStyle.h"

#include <commctrl.h>

#include "wizard/Layout.h"

namespace {

LRESULT CALLBACK TransparentBackground(HWND page, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                       DWORD_PTR) {
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(page, TransparentBackground, id);
    LRESULT result = ::DefSubclassProc(page, message, wParam, lParam);
    return message == WM_NCHITTEST && result == HTCLIENT ? HTTRANSPARENT : result;
}

}  // namespace

LRESULT WhiteOverBackground(WPARAM wParam, HFONT font) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, RGB(255, 255, 255));
    if (font) ::SelectObject(dc, font);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

int CtlColorId(HWND page, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    return control == page ? 0 : ::GetDlgCtrlID(control);
}

Font MakeControlFont(HWND page, std::initializer_list<int> ids, int tenthsOfPoint, int weight) {
    Font font = MakeFont(L"Verdana", tenthsOfPoint, weight, false, false, DEFAULT_CHARSET);
    for (int id : ids) ::SendDlgItemMessageW(page, id, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    return font;
}

Font MakeHeadingFont(HWND page, int id) { return MakeControlFont(page, {id}, 140, 0); }

Font MakeLinkFont() { return MakeFont(L"Verdana", 85, FW_BOLD, true, false, DEFAULT_CHARSET); }

void PassMouseToFrame(HWND page) { ::SetWindowSubclass(page, TransparentBackground, 0, 0); }
