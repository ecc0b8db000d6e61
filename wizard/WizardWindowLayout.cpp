// The frame's side of density and windowing: its layout at the screen's density (again when the
// window moves to a monitor of another density), its icons, dragging it by its background, and
// the taskbar button's progress.
#include <windows.h>
#include <commctrl.h>

#include "config/Settings.h"
#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/Layout.h"
#include "wizard/WizardWindow.h"

namespace {

// Defined from Windows 8.1 (and 10 1703) on, and so not in the XP-level headers we build with.
constexpr UINT kDensityChanged = 0x02E0;   // WM_DPICHANGED
constexpr UINT kGetScaledSize = 0x02E4;    // WM_GETDPISCALEDSIZE

// Where the pages sit on the background picture, in design pixels.
const POINT kPageOrigin = {21, 92};
// The progress bar's height in design pixels; its template height in dialog units is too thin.
constexpr int kProgressHeight = 16;

}  // namespace

MessageTable<WizardWindow> WizardWindow::WindowingMessages() {
    static const MessageEntry<WizardWindow> rows[] = {
        {WM_NCHITTEST, kAny, kAny, &WizardWindow::OnNcHitTest},
        {kDensityChanged, kAny, kAny, &WizardWindow::OnDensityChanged},
        {kGetScaledSize, kAny, kAny, &WizardWindow::OnGetScaledSize},
    };
    return rows;
}

bool WizardWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_INITDIALOG) TaskbarProgress::AllowButtonCreatedMessage(hwnd_);
    // Registered at run time, so it cannot be a row of a table.
    if (message != 0 && message == TaskbarProgress::ButtonCreatedMessage()) {
        taskbar_.Attach(hwnd_);
        UpdateTaskbar();
        result = 0;
        return true;
    }
    return DispatchTable(this, WindowingMessages(), message, wParam, lParam, result) ||
           Dispatching::OnMessage(message, wParam, lParam, result);
}

void WizardWindow::LayOut() {
    FixDialogLayout(hwnd_, IDD_WIZARD);

    HWND progress = Item(IDC_PROGRESS);
    RECT bar;
    ::GetWindowRect(progress, &bar);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&bar), 2);
    ::MoveWindow(progress, bar.left, bar.top, bar.right - bar.left, Scaled(kProgressHeight), FALSE);

    // The percentage is drawn in its own font (chosen again when it is painted); the label is
    // told too, so that what it measures is what it shows.
    Font percent = MakeFont(L"Arial", 90, FW_BOLD, false, false, DEFAULT_CHARSET);
    ::SendMessageW(Item(IDC_PERCENT), WM_SETFONT, reinterpret_cast<WPARAM>(percent.Get()), FALSE);
    percentFont_ = std::move(percent);

    if (welcomePage_.Handle()) welcomePage_.LayOut();
    if (installLocationPage_.Handle()) installLocationPage_.LayOut();
    if (preloaderPage_.Handle()) preloaderPage_.LayOut();
    if (featuresPage_.Handle()) featuresPage_.LayOut();
    for (Dialog* page : {static_cast<Dialog*>(&welcomePage_), static_cast<Dialog*>(&installLocationPage_),
                         static_cast<Dialog*>(&preloaderPage_), static_cast<Dialog*>(&featuresPage_)})
        if (page->Handle()) PlacePage(*page);

    // A sharper variant of the picture may suit the new density better.
    background_.Load(OwnPackage(), L"BackGround.bmp");
    SetIcons();
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void WizardWindow::PlacePage(Dialog& page) {
    ::SetWindowPos(page.Handle(), nullptr, Scaled(kPageOrigin.x), Scaled(kPageOrigin.y), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

// The program's icon at `size` pixels, else at `fallback`: the sizes between the bitmap ones are
// PNG images, which Windows XP picks as the nearest but cannot read.
HICON LoadProgramIcon(int size, int fallback) {
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    HANDLE icon = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_WENDRAKE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    if (!icon) icon = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_WENDRAKE), IMAGE_ICON, fallback, fallback, LR_DEFAULTCOLOR);
    return static_cast<HICON>(icon);
}

}  // namespace

void WizardWindow::SetIcons() {
    // The sizes the shell shows at 96 dots per inch, scaled: the icon file has them drawn at
    // several sizes, and the system picks and scales the nearest.
    Icon big(LoadProgramIcon(Scaled(32), 32));
    Icon small(LoadProgramIcon(Scaled(16), 16));
    if (big) ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.Get()));
    if (small) ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.Get()));
    // The window no longer shows the old icons: they can go.
    if (big) bigIcon_ = std::move(big);
    if (small) smallIcon_ = std::move(small);
}

// The window has no caption: its background is one. Controls answer for themselves; the pages
// pass the mouse on where they have no control (pages/PageStyle.cpp).
LRESULT WizardWindow::OnNcHitTest(WPARAM wParam, LPARAM lParam) {
    LRESULT hit = ::DefWindowProcW(hwnd_, WM_NCHITTEST, wParam, lParam);
    return hit == HTCLIENT ? HTCAPTION : hit;
}

// The window moved to a monitor of another density, or the user changed the scale: everything
// is laid out again. The window goes where Windows suggests, at the size of our own layout (the
// one we gave Windows for the suggestion, below).
LRESULT WizardWindow::OnDensityChanged(WPARAM wParam, LPARAM lParam) {
    if (!SetScreenDensity(LOWORD(wParam))) return 0;
    LayOut();
    if (const RECT* suggested = reinterpret_cast<const RECT*>(lParam))
        ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
}

// Windows 10 1703 and later ask, before a change of density, what size the window will want.
LRESULT WizardWindow::OnGetScaledSize(WPARAM wParam, LPARAM lParam) {
    SIZE* size = reinterpret_cast<SIZE*>(lParam);
    SIZE design = DesignClientSize(IDD_WIZARD);
    int density = static_cast<int>(wParam);
    if (!size || !IsPlausibleDensity(density) || design.cx == 0) return FALSE;
    RECT window = {0, 0, ScaledTo(design.cx, density), ScaledTo(design.cy, density)};
    ::AdjustWindowRectEx(&window, static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    size->cx = window.right - window.left;
    size->cy = window.bottom - window.top;
    return TRUE;
}
