#include "wizard/LinkLabel.h"

#include <commctrl.h>
#include <windowsx.h>

#include "framework/Handles.h"
#include "resources/resource.h"

namespace {

// A shared resource cursor lives as long as the module: loaded once, on the window's thread,
// when a link first wants it.
HCURSOR HandCursor() {
    static HCURSOR hand = nullptr;
    if (!hand) hand = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK_HAND));
    return hand;
}

}  // namespace

MessageTable<LinkLabel> LinkLabel::Messages() {
    static const MessageEntry<LinkLabel> rows[] = {
        {WM_MOUSEMOVE, kAny, kAny, &LinkLabel::OnMouseMove},
        {WM_CAPTURECHANGED, kAny, kAny, &LinkLabel::OnCaptureChanged},
        {WM_SETCURSOR, kAny, kAny, &LinkLabel::OnSetCursor},
        {Reflected(WM_CTLCOLORSTATIC), kAny, kAny, &LinkLabel::OnCtlColor},
        {WM_SETFOCUS, kAny, kAny, &LinkLabel::OnSetFocus},
        {WM_KILLFOCUS, kAny, kAny, &LinkLabel::OnKillFocus},
    };
    return rows;
}

LinkLabel::~LinkLabel() {
    // Destroying the window also detaches this object from it.
    if (ownsWindow_ && hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

bool LinkLabel::Create(const std::wstring& text, const RECT& rect, HWND parent, int id, COLORREF colour, HFONT font,
                       int showCommand, bool handCursor, bool useAlternateColour) {
    HWND window = ::CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, rect.left, rect.top,
                                    rect.right - rect.left, rect.bottom - rect.top, parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                    nullptr);
    if (!window) return false;
    if (!Subclass(window)) {
        ::DestroyWindow(window);
        return false;
    }
    ownsWindow_ = true;
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    useAlternateColour_ = useAlternateColour;
    handCursor_ = handCursor;
    ::ShowWindow(window, showCommand);
    colour_ = colour;
    return true;
}

void LinkLabel::OnAttached() {
    // Clicks become STN_CLICKED notifications to the parent, which decides what they do. The
    // text is drawn as written ("Terms & Conditions"), as FitToText measures it.
    LONG_PTR style = ::GetWindowLongPtrW(hwnd_, GWL_STYLE);
    ::SetWindowLongPtrW(hwnd_, GWL_STYLE, style | SS_NOTIFY | SS_NOPREFIX);
}

void LinkLabel::UseAlternateColour(COLORREF colour) {
    alternateColour_ = colour;
    useAlternateColour_ = true;
    if (hwnd_) ::InvalidateRect(hwnd_, nullptr, TRUE);
}

void LinkLabel::FitToText(const std::wstring& text, int showCommand) {
    WindowDC dc(hwnd_);
    if (!dc.Get()) return;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(hwnd_, WM_GETFONT, 0, 0));
    SelectedObject selected(dc.Get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    SIZE extent = {0, 0};
    ::GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &extent);

    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    ::GetWindowPlacement(hwnd_, &placement);
    placement.rcNormalPosition.right = placement.rcNormalPosition.left + extent.cx;
    placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + extent.cy;
    placement.showCmd = static_cast<UINT>(showCommand);
    ::SetWindowPlacement(hwnd_, &placement);
}

void LinkLabel::Redraw() { ::RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }

LRESULT LinkLabel::OnMouseMove(WPARAM wParam, LPARAM lParam) {
    LRESULT result = ::DefSubclassProc(hwnd_, WM_MOUSEMOVE, wParam, lParam);
    if (!hover_) {
        hover_ = true;
        Redraw();
        // Captured, the label hears the move that takes the pointer off it.
        ::SetCapture(hwnd_);
        return result;
    }
    RECT client;
    ::GetClientRect(hwnd_, &client);
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!::PtInRect(&client, point)) {
        hover_ = false;
        ::ReleaseCapture();
        Redraw();
    }
    return result;
}

LRESULT LinkLabel::OnCaptureChanged(WPARAM, LPARAM lParam) {
    // Someone else took the mouse: the next move over the label starts a new hover.
    if (reinterpret_cast<HWND>(lParam) != hwnd_) hover_ = false;
    NotHandled();
    return 0;
}

LRESULT LinkLabel::OnSetCursor(WPARAM, LPARAM) {
    if (!handCursor_) {
        NotHandled();
        return 0;
    }
    ::SetCursor(HandCursor());
    return TRUE;
}

LRESULT LinkLabel::OnCtlColor(WPARAM wParam, LPARAM) {
    HDC dc = reinterpret_cast<HDC>(wParam);
    ::SetTextColor(dc, useAlternateColour_ && handCursor_ ? alternateColour_ : colour_);
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
}

LRESULT LinkLabel::OnSetFocus(WPARAM, LPARAM) {
    focus_ = true;
    ::InvalidateRect(hwnd_, nullptr, TRUE);
    NotHandled();
    return 0;
}

LRESULT LinkLabel::OnKillFocus(WPARAM, LPARAM) {
    focus_ = false;
    ::InvalidateRect(hwnd_, nullptr, TRUE);
    NotHandled();
    return 0;
}
