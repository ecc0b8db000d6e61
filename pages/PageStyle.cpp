#include "pages/PageStyle.h"

#include "wizard/Layout.h"

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

