#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "tests/support/TestSupport.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/LinkLabel.h"

namespace {

// Counts the paints a window gets, seen before its own procedure.
LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count) {
    if (message == WM_PAINT) ++*reinterpret_cast<int*>(count);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

POINT Centre(HWND window) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Real mouse input, as the user's hand gives it.
void MouseAt(POINT point, DWORD buttons = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(point.x, 65536, ::GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = ::MulDiv(point.y, 65536, ::GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    ::SendInput(1, &input, sizeof input);
    PumpMessages(150);
}

}  // namespace

TEST(LinkLabel, HoverRedrawsOnceOnAndOnceOffAndReleasesTheMouse) {
    TemplateDialog host(IDD_WIZARD);
    ASSERT_TRUE(host.Create(nullptr));
    Font font = MakeFont(L"Verdana", 85, FW_BOLD, true, false, DEFAULT_CHARSET);
    LinkLabel link;
    ASSERT_TRUE(link.Create(L"Terms and conditions", {40, 60, 240, 80}, host.Handle(), IDC_TERMS_LINK,
                            RGB(238, 245, 55), font.Get(), SW_SHOW, true, false));
    MouseAt({5, 5});
    int paints = 0;
    ::SetWindowSubclass(link.Handle(), CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints));

    POINT centre = Centre(link.Handle());
    MouseAt(centre);
    EXPECT_EQ(link.Handle(), ::GetCapture());
    EXPECT_EQ(1, paints);
    MouseAt({centre.x + 3, centre.y});  // moving about on the link changes nothing
    EXPECT_EQ(1, paints);
    // Over the link the pointer is the program's own hand.
    HCURSOR hand = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK_HAND));
    ASSERT_NE(nullptr, hand);
    ::SendMessageW(link.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.Handle()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(hand, ::GetCursor());
    MouseAt({centre.x, centre.y + 40});
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_EQ(2, paints);
    ::RemoveWindowSubclass(link.Handle(), CountPaints, 1);
}

TEST(LinkLabel, AClickOnATemplateLabelReachesTheParent) {
    TemplateDialog host(IDD_WIZARD);
    ASSERT_TRUE(host.Create(nullptr));
    HWND status = host.Item(IDC_STATUS);
    ::ShowWindow(status, SW_SHOW);
    LinkLabel link;
    ASSERT_TRUE(link.Subclass(status));
    POINT centre = Centre(status);
    MouseAt(centre);
    MouseAt(centre, MOUSEEVENTF_LEFTDOWN);
    MouseAt(centre, MOUSEEVENTF_LEFTUP);
    ASSERT_EQ(1u, host.Clicks().size());
    EXPECT_EQ(IDC_STATUS, host.Clicks()[0]);

    // The colour request the label's parent gets comes back to the label.
    HDC dc = ::CreateCompatibleDC(nullptr);
    LRESULT brush = ::SendMessageW(host.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                   reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)), brush);
    EXPECT_EQ(RGB(0, 0, 238), ::GetTextColor(dc));
    ::DeleteDC(dc);
}
