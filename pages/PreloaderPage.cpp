#include "pages/PreloaderPage.h"

#include <string>

#include "config/Settings.h"
#include "config/Texts.h"
#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Layout.h"

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
    picture_.Load(OwnPackage().File(L"Preloader.jpg"));
    FixDialogLayout(hwnd_, IDD_PRELOADER);
    // Without the content window the page just keeps showing its picture.
    const RECT area = {0, 0, 460, 445};
    if (!content_.Create(IDC_CONTENT, area, hwnd_)) return true;
    std::wstring address = AppSettings().ContentLink;
    ExpandUrlPlaceholders(address);
    // Hidden until its page has loaded without an error; it then shows itself.
    HWND content = content_.Handle();
    ::SetWindowLongPtrW(content, GWL_STYLE, ::GetWindowLongPtrW(content, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_VISIBLE));
    content_.Navigate(address);
    return true;
}

void PreloaderPage::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd_, &paint);
    // Where the picture does not reach, the frame's background shows through.
    SIZE size = picture_.SizeInPixels(nullptr);
    picture_.Draw(dc, 0, 0, size.cx, size.cy, 1.0);
    ::EndPaint(hwnd_, &paint);
}
