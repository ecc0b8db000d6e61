#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "tests/support/TestSupport.h"
#include "tests/wizard/WizardTestSupport.h"
#include "app/AppState.h"
#include "framework/Handles.h"
#include "resources/resource.h"
#include "wizard/LinkLabel.h"

namespace {

const int kLinkId = IDC_TERMS_LINK;

// Counts the paints a window gets, seen before its own procedure.
LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR count) {
    if (message == WM_PAINT) ++*reinterpret_cast<int*>(count);
    return ::DefSubclassProc(window, message, wParam, lParam);
}

POINT CentreOnScreen(HWND window) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Real mouse input, as the user's hand would give it.
void MouseAt(POINT point, DWORD buttons = 0) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(point.x, 65536, ::GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = ::MulDiv(point.y, 65536, ::GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    ::SendInput(1, &input, sizeof input);
    PumpMessages(150);
}

class LinkLabelTest : public ::testing::Test {
protected:
    void SetUp() override {
        LoadLinkCursor();
        ASSERT_TRUE(host.Create(nullptr));
        ::SetForegroundWindow(host.Handle());
        font = MakeFont(L"Verdana", 85, FW_BOLD, true, false, DEFAULT_CHARSET);
    }

    TemplateDialog host{IDD_WIZARD};
    Font font;
};

}  // namespace

TEST_F(LinkLabelTest, HoverRedrawsOnceOnAndOnceOffAndReleasesTheMouse) {
    LinkLabel link;
    RECT rect = {40, 60, 240, 80};
    ASSERT_TRUE(link.Create(L"Terms and conditions", rect, host.Handle(), kLinkId, RGB(238, 245, 55), font.Get(),
                            SW_SHOW, true, false));
    EXPECT_TRUE(::GetWindowLongPtrW(link.Handle(), GWL_STYLE) & SS_NOTIFY);
    MouseAt({5, 5});
    int paints = 0;
    ::SetWindowSubclass(link.Handle(), CountPaints, 1, reinterpret_cast<DWORD_PTR>(&paints));

    MouseAt(CentreOnScreen(link.Handle()));
    EXPECT_TRUE(link.Hovering());
    EXPECT_EQ(link.Handle(), ::GetCapture());
    EXPECT_EQ(1, paints);
    // Moving about on the link changes nothing.
    POINT inside = CentreOnScreen(link.Handle());
    MouseAt({inside.x + 3, inside.y});
    EXPECT_EQ(1, paints);

    RECT onScreen;
    ::GetWindowRect(link.Handle(), &onScreen);
    MouseAt({onScreen.left + 10, onScreen.bottom + 40});
    EXPECT_FALSE(link.Hovering());
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_EQ(2, paints);
    ::RemoveWindowSubclass(link.Handle(), CountPaints, 1);
}

TEST_F(LinkLabelTest, AClickOnATemplateLabelReachesTheParent) {
    HWND status = host.Item(IDC_STATUS);
    ::ShowWindow(status, SW_SHOW);
    LinkLabel link;
    ASSERT_TRUE(link.Subclass(status));
    MouseAt({5, 5});
    POINT centre = CentreOnScreen(status);
    MouseAt(centre);
    MouseAt(centre, MOUSEEVENTF_LEFTDOWN);
    MouseAt(centre, MOUSEEVENTF_LEFTUP);
    ASSERT_EQ(1u, host.Clicks().size());
    EXPECT_EQ(IDC_STATUS, host.Clicks()[0]);
}

TEST_F(LinkLabelTest, ColoursCursorFocusAndFit) {
    LinkLabel plain, alternate, unhanded;
    RECT rect = {20, 20, 300, 40};
    ASSERT_TRUE(plain.Create(L"Terms", rect, host.Handle(), kLinkId, RGB(238, 245, 55), font.Get(), SW_SHOW, true,
                             false));
    ASSERT_TRUE(alternate.Create(L"Visited", rect, host.Handle(), kLinkId + 1, RGB(238, 245, 55), font.Get(),
                                 SW_SHOW, true, true));
    ASSERT_TRUE(unhanded.Create(L"Plain", rect, host.Handle(), kLinkId + 2, RGB(1, 2, 3), font.Get(), SW_SHOW,
                                false, true));

    // The parent's colour request comes back to the label, through the dialog.
    struct Expect {
        LinkLabel* label;
        COLORREF colour;
    } cases[] = {{&plain, RGB(238, 245, 55)}, {&alternate, RGB(85, 26, 139)}, {&unhanded, RGB(1, 2, 3)}};
    for (const Expect& c : cases) {
        HDC dc = ::CreateCompatibleDC(nullptr);
        LRESULT brush = ::SendMessageW(host.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(c.label->Handle()));
        EXPECT_EQ(reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH)), brush);
        EXPECT_EQ(c.colour, ::GetTextColor(dc));
        EXPECT_EQ(TRANSPARENT, ::GetBkMode(dc));
        ::DeleteDC(dc);
    }

    LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_TRUE(::SendMessageW(plain.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(plain.Handle()), overClient));
    EXPECT_EQ(LinkCursor(), ::GetCursor());
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    ::SendMessageW(unhanded.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(unhanded.Handle()), overClient);
    EXPECT_NE(LinkCursor(), ::GetCursor());

    ::SetFocus(plain.Handle());
    EXPECT_TRUE(plain.HasFocus());
    ::SetFocus(host.Item(IDC_CONTINUE));
    EXPECT_FALSE(plain.HasFocus());

    plain.FitToText(L"Terms and conditions", SW_SHOW);
    SIZE extent = {};
    {
        WindowDC dc(plain.Handle());
        SelectedObject selected(dc.Get(), font.Get());
        ::GetTextExtentPoint32W(dc.Get(), L"Terms and conditions", 20, &extent);
    }
    RECT fitted;
    ::GetWindowRect(plain.Handle(), &fitted);
    EXPECT_EQ(extent.cx, fitted.right - fitted.left);
    EXPECT_EQ(extent.cy, fitted.bottom - fitted.top);
    EXPECT_TRUE(::IsWindowVisible(plain.Handle()));
}
