#include "pages/PreloaderPage.h"

#include <string>

#include "config/Settings.h"
#include "config/Texts.h"
#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/Layout.h"

namespace {

// The web content's place on the page, in design pixels.
const RECT kContentArea = {0, 0, 460, 445};

}  // namespace

const MessageEntry<PreloaderPage> PreloaderPage::kMessages[] = {
    {WM_PAINT, kAny, kAny, &PreloaderPage::OnPaint},
    {WM_CTLCOLORDLG, kAny, kAny, &PreloaderPage::OnCtlColor},
    {WM_CTLCOLORSTATIC, kAny, kAny, &PreloaderPage::OnCtlColor},
    {WM_CTLCOLORBTN, kAny, kAny, &PreloaderPage::OnCtlColor},
};

PreloaderPage::PreloaderPage() : Dialog(IDD_PRELOADER) {}

bool PreloaderPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return DispatchTable(this, kMessages, message, wParam, lParam, result) ||
           Dialog::OnMessage(message, wParam, lParam, result);
}

bool PreloaderPage::OnInitDialog() {
    // Decoded when the page first shows rather than at start-up, where decoding the JPEG took a
    // third of the time to the wizard's first paint.
    picture_.Load(OwnPackage(), L"Preloader.jpg");
    LayOut();
    PassMouseToFrame(hwnd_);
    // Without the content window the page just keeps showing its picture.
    if (!content_.Create(IDC_CONTENT, Scaled(kContentArea), hwnd_)) return true;
    std::wstring address = AppSettings().ContentLink;
    ExpandUrlPlaceholders(address);
    // Hidden until its page has loaded without an error; it then shows itself.
    HWND content = content_.Handle();
    ::SetWindowLongPtrW(content, GWL_STYLE, ::GetWindowLongPtrW(content, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_VISIBLE));
    content_.Navigate(address);
    return true;
}

void PreloaderPage::LayOut() {
    FixDialogLayout(hwnd_, IDD_PRELOADER);
    // A sharper variant of the picture may suit a new density better.
    picture_.Load(OwnPackage(), L"Preloader.jpg");
    if (HWND content = content_.Handle()) {
        RECT area = Scaled(kContentArea);
        ::SetWindowPos(content, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ::InvalidateRect(hwnd_, nullptr, TRUE);
}

LRESULT PreloaderPage::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    // Where the picture does not reach, the frame's background shows through.
    picture_.Draw(dc, 0, 0);
    ::EndPaint(hwnd_, &paint);
    return 0;
}

LRESULT PreloaderPage::OnCtlColor(WPARAM wParam, LPARAM) { return WhiteOverBackground(wParam); }

void PreloaderPage::OnCancel() { AskFrameToClose(hwnd_); }
