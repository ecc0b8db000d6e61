#include "wizard/FrameLayout.h"

#include <commctrl.h>

#include <utility>

#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/Layout.h"

namespace {

// Where the pages sit on the background picture, in design pixels.
const POINT kPageOrigin = {21, 92};
// The progress bar's height in design pixels; its template height in dialog units is too thin.
constexpr int kProgressHeight = 16;

// The program's icon at `size` pixels, else at `fallback`: the sizes between the bitmap ones are
// PNG images, which Windows XP picks as the nearest but cannot read.
HICON LoadProgramIcon(int size, int fallback) {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    HANDLE icon = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_WENDRAKE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    if (!icon) icon = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_WENDRAKE), IMAGE_ICON, fallback, fallback, LR_DEFAULTCOLOR);
    return static_cast<HICON>(icon);
}

}  // namespace

Font LayOutFrameControls(HWND frame) {
    FixDialogLayout(frame, IDD_WIZARD);

    HWND progress = ::GetDlgItem(frame, IDC_PROGRESS);
    RECT bar;
    ::GetWindowRect(progress, &bar);
    ::MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&bar), 2);
    ::MoveWindow(progress, bar.left, bar.top, bar.right - bar.left, Scaled(kProgressHeight), FALSE);

    // The percentage is drawn in its own font (chosen again when it is painted); the label is
    // told too, so that what it measures is what it shows.
    Font percent = MakeFont(L"Arial", 90, FW_BOLD, false, false, DEFAULT_CHARSET);
    ::SendMessageW(::GetDlgItem(frame, IDC_PERCENT), WM_SETFONT, reinterpret_cast<WPARAM>(percent.Get()), FALSE);
    return percent;
}

void PlacePage(HWND frame, HWND page) {
    if (!page || ::GetParent(page) != frame) return;
    ::SetWindowPos(page, nullptr, Scaled(kPageOrigin.x), Scaled(kPageOrigin.y), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetFrameIcons(HWND frame, Icon& big, Icon& small) {
    // The sizes the shell shows at 96 dots per inch, scaled: the icon file has them drawn at
    // several sizes, and the system picks and scales the nearest.
    Icon newBig(LoadProgramIcon(Scaled(32), 32));
    Icon newSmall(LoadProgramIcon(Scaled(16), 16));
    if (newBig) ::SendMessageW(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(newBig.Get()));
    if (newSmall) ::SendMessageW(frame, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(newSmall.Get()));
    // The window no longer shows the old icons: they can go.
    if (newBig) big = std::move(newBig);
    if (newSmall) small = std::move(newSmall);
}

// Controls answer for themselves; the pages pass the mouse on where they have no control
// (pages/PageStyle.cpp).
LRESULT FrameHitTest(HWND frame, WPARAM wParam, LPARAM lParam) {
    LRESULT hit = ::DefWindowProcW(frame, WM_NCHITTEST, wParam, lParam);
    return hit == HTCLIENT ? HTCAPTION : hit;
}

bool FrameSizeAt(HWND frame, int density, SIZE* size) {
    SIZE design = DesignClientSize(IDD_WIZARD);
    if (!size || !IsPlausibleDensity(density) || design.cx == 0) return false;
    RECT window = {0, 0, ScaledTo(design.cx, density), ScaledTo(design.cy, density)};
    ::AdjustWindowRectEx(&window, static_cast<DWORD>(::GetWindowLongPtrW(frame, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(frame, GWL_EXSTYLE)));
    size->cx = window.right - window.left;
    size->cy = window.bottom - window.top;
    return true;
}
