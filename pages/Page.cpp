#include "pages/Page.h"

#include "pages/PageStyle.h"

MessageTable<Page> Page::Messages() {
    static const MessageEntry<Page> rows[] = {
        {WM_CTLCOLORDLG, kAny, kAny, &Page::OnCtlColor},
        {WM_CTLCOLORSTATIC, kAny, kAny, &Page::OnCtlColor},
        {WM_CTLCOLORBTN, kAny, kAny, &Page::OnCtlColor},
    };
    return rows;
}

LRESULT Page::OnCtlColor(WPARAM dc, LPARAM) { return WhiteOverBackground(dc); }

void Page::OnCancel() { ::PostMessageW(::GetParent(hwnd_), WM_CLOSE, 0, 0); }
