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

MessageTable<PreloaderPage> PreloaderPage::Messages() {
    static const MessageEntry<PreloaderPage> rows[] = {
        {WM_PAINT, kAny, kAny, &PreloaderPage::OnPaint},
    };
    return rows;
}

PreloaderPage::PreloaderPage(PageOwner& owner) : Dispatching(IDD_PRELOADER, owner) {}

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

void PreloaderPage::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    // Where the picture does not reach, the frame's background shows through.
    picture_.Draw(dc, 0, 0);
    ::EndPaint(hwnd_, &paint);
}
