#include <gtest/gtest.h>

#include <string>

#include "framework/Handles.h"
#include "resources/resource.h"
#include "tests/support/LayoutChecks.h"
#include "tests/support/TestSupport.h"
#include "tests/wizard/TestTemplates.h"
#include "tests/wizard/WizardTestSupport.h"
#include "wizard/Density.h"
#include "wizard/Layout.h"

namespace {

// A dialog's client size, extended style, font and one control's place (client coordinates).
struct Layout {
    SIZE client = {0, 0};
    LONG_PTR exStyle = 0;
    LOGFONTW font = {};
    RECT control = {};
};

Layout LayoutOf(HWND dialog, int controlId) {
    Layout layout;
    RECT client;
    ::GetClientRect(dialog, &client);
    layout.client = {client.right, client.bottom};
    layout.exStyle = ::GetWindowLongPtrW(dialog, GWL_EXSTYLE);
    HWND control = ::GetDlgItem(dialog, controlId);
    // The controls show the layout's font; a dialog under Wine keeps answering WM_GETFONT
    // with the one the dialog manager made.
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), sizeof layout.font, &layout.font);
    ::GetWindowRect(control, &layout.control);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&layout.control), 2);
    return layout;
}

Layout LayoutOfTemplate(UINT templateId, int controlId, bool fix) {
    TemplateDialog dialog(templateId, fix);
    return dialog.Create(nullptr) ? LayoutOf(dialog.Handle(), controlId) : Layout();
}

// Dialog base units as Windows defines them: half the average letter width, rounded, and the line height.
SIZE BaseUnitsOf(int height, const wchar_t* face) {
    Font font(::CreateFontW(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face));
    WindowDC dc(nullptr);
    SelectedObject selected(dc.Get(), font.Get());
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc.Get(), &metrics);
    SIZE extent = {};
    ::GetTextExtentPoint32W(dc.Get(), L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52, &extent);
    return {(extent.cx / 26 + 1) / 2, metrics.tmHeight};
}

// The design rectangle of a template item, as the dialog manager places it at 96 dots per inch.
RECT DesignRect(SIZE units, int x, int y, int cx, int cy) {
    int left = ::MulDiv(x, units.cx, 4), top = ::MulDiv(y, units.cy, 8);
    return RECT{left, top, left + ::MulDiv(cx, units.cx, 4), top + ::MulDiv(cy, units.cy, 8)};
}

// A control's place at a density: its corner rounded, its size rounded up.
RECT ScaledRect(const RECT& r, int density) {
    auto up = [density](LONG v) { return static_cast<LONG>((v * density + 95) / 96); };
    LONG left = ::MulDiv(r.left, density, 96), top = ::MulDiv(r.top, density, 96);
    return RECT{left, top, left + up(r.right - r.left), top + up(r.bottom - r.top)};
}

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

}  // namespace

TEST(FixDialogLayout, At96DpiItIsTheDialogManagersOwnLayout) {
    RecordScreenDensity();
    ASSERT_EQ(96, ScreenDensity()) << "the test prefix runs at 96 dots per inch";
    Layout natural = LayoutOfTemplate(IDD_WIZARD, IDC_CONTINUE, false);
    Layout fixed = LayoutOfTemplate(IDD_WIZARD, IDC_CONTINUE, true);
    EXPECT_EQ(natural.client.cx, fixed.client.cx);
    EXPECT_EQ(natural.client.cy, fixed.client.cy);
    EXPECT_TRUE(EqualRect(&natural.control, &fixed.control)) << Text(natural.control) << " " << Text(fixed.control);
    EXPECT_EQ(natural.font.lfHeight, fixed.font.lfHeight);
    EXPECT_TRUE(natural.exStyle & WS_EX_ACCEPTFILES);
    EXPECT_FALSE(fixed.exStyle & WS_EX_ACCEPTFILES);
    SIZE design = DesignClientSize(IDD_WIZARD);
    EXPECT_EQ(natural.client.cx, design.cx);
    EXPECT_EQ(natural.client.cy, design.cy);
}

// The layout follows the density the wizard records, whatever the system's: every rectangle and
// the font grow by one factor from the 96-dots-per-inch design.
TEST(FixDialogLayout, ScalesTheDesignByTheDensity) {
    const SIZE units = BaseUnitsOf(-12, L"Verdana");
    const RECT continueButton = DesignRect(units, 184, 204, 55, 14);
    for (int density : {120, 144, 192, 240}) {
        DensityOverride at(density);
        Layout fixed = LayoutOfTemplate(IDD_WIZARD, IDC_CONTINUE, true);
        EXPECT_EQ(-(9 * density / 72), fixed.font.lfHeight) << density;
        EXPECT_STREQ(L"Verdana", fixed.font.lfFaceName);
        EXPECT_EQ(::MulDiv(::MulDiv(249, units.cx, 4), density, 96), fixed.client.cx) << density;
        EXPECT_EQ(::MulDiv(::MulDiv(225, units.cy, 8), density, 96), fixed.client.cy) << density;
        RECT expected = ScaledRect(continueButton, density);
        EXPECT_TRUE(EqualRect(&expected, &fixed.control)) << density << ": " << Text(fixed.control);
        // The design size does not depend on the density.
        SIZE design = DesignClientSize(IDD_WIZARD);
        EXPECT_EQ(::MulDiv(249, units.cx, 4), design.cx);
    }
}

TEST(FixDialogLayout, TemplatesWithoutAFontOrInTheClassicFormScaleAlike) {
    DensityOverride at(144);
    Layout noFont = LayoutOfTemplate(IDD_TEST_NO_FONT, IDC_TEST_LABEL, true);
    EXPECT_STREQ(L"Tahoma", noFont.font.lfFaceName);
    EXPECT_EQ(-16, noFont.font.lfHeight);  // 8 points at 144 dots per inch
    SIZE tahoma = BaseUnitsOf(-11, L"Tahoma");  // 8 points at 96
    EXPECT_EQ(::MulDiv(::MulDiv(200, tahoma.cx, 4), 144, 96), noFont.client.cx);
    EXPECT_EQ(::MulDiv(::MulDiv(100, tahoma.cy, 8), 144, 96), noFont.client.cy);

    Layout classic = LayoutOfTemplate(IDD_TEST_CLASSIC, IDC_TEST_LABEL, true);
    EXPECT_STREQ(L"Arial", classic.font.lfFaceName);
    EXPECT_EQ(-20, classic.font.lfHeight);  // 10 points at 144
    SIZE arial = BaseUnitsOf(-13, L"Arial");
    EXPECT_EQ(::MulDiv(::MulDiv(180, arial.cx, 4), 144, 96), classic.client.cx);
    EXPECT_EQ(::MulDiv(::MulDiv(60, arial.cy, 8), 144, 96), classic.control.top);
}

TEST(FixDialogLayout, LaidOutAgainAtAnotherDensityAndBackItIsAsBefore) {
    TemplateDialog frame(IDD_WIZARD, true);
    ASSERT_TRUE(frame.Create(nullptr));
    Layout before = LayoutOf(frame.Handle(), IDC_CONTINUE);
    {
        DensityOverride at(192);
        FixDialogLayout(frame.Handle(), IDD_WIZARD);
        Layout big = LayoutOf(frame.Handle(), IDC_CONTINUE);
        EXPECT_EQ(before.client.cx * 2, big.client.cx);
        EXPECT_EQ(-24, big.font.lfHeight);
    }
    FixDialogLayout(frame.Handle(), IDD_WIZARD);
    Layout after = LayoutOf(frame.Handle(), IDC_CONTINUE);
    EXPECT_EQ(before.client.cx, after.client.cx);
    EXPECT_EQ(before.client.cy, after.client.cy);
    EXPECT_TRUE(EqualRect(&before.control, &after.control));
    EXPECT_EQ(before.font.lfHeight, after.font.lfHeight);
}

TEST(Density, RefusesWhatNoScreenHasAndScalesEdgesNotSizes) {
    DensityOverride at(144);
    for (int bad : {0, -96, 47, 961, 65535}) {
        EXPECT_FALSE(SetScreenDensity(bad)) << bad;
        EXPECT_EQ(144, ScreenDensity());
    }
    // Two controls that touch at 96 dots per inch touch at 144, whatever the rounding.
    RECT left = Scaled(RECT{11, 20, 85, 45}), right = Scaled(RECT{85, 20, 139, 45});
    EXPECT_EQ(left.right, right.left);
    EXPECT_EQ(17, Scaled(11));  // 16.5, rounded half away from zero
    EXPECT_EQ(-28, FontHeightForPoints(140));  // 14 points
}

// The screen density is fixed when a process starts, so the system's own side (the dialog
// manager's font, the density the system reports) is checked in a second copy of this
// program, started with the prefix's density set to 120.
TEST(FixDialogLayout, At120DpiInAProcessOfItsOwn) {
    RegistryOverride density(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", nullptr);
    ASSERT_TRUE(SetLogPixels(120));
    ChildRun run = RunTestsInChild(L"DISABLED_At120Dpi.*");
    EXPECT_EQ(0, run.exitCode) << run.report;
    EXPECT_NE(std::string::npos, run.report.find("<testsuites tests=\"2\" failures=\"0\"")) << run.report;
}

class DISABLED_At120Dpi : public ::testing::Test {
protected:
    void SetUp() override {
        RecordScreenDensity();
        ASSERT_EQ(120, ScreenDensity());
    }
};

TEST_F(DISABLED_At120Dpi, TheFrameIsItsDesignTimesOneAndAQuarter) {
    Layout natural = LayoutOfTemplate(IDD_WIZARD, IDC_CONTINUE, false);
    Layout fixed = LayoutOfTemplate(IDD_WIZARD, IDC_CONTINUE, true);
    EXPECT_EQ(-15, natural.font.lfHeight);  // the dialog manager's font at 120
    EXPECT_EQ(-15, fixed.font.lfHeight);
    SIZE units = BaseUnitsOf(-12, L"Verdana");
    EXPECT_EQ(::MulDiv(::MulDiv(249, units.cx, 4), 120, 96), fixed.client.cx);
    EXPECT_EQ(::MulDiv(::MulDiv(225, units.cy, 8), 120, 96), fixed.client.cy);
    RECT expected = ScaledRect(DesignRect(units, 184, 204, 55, 14), 120);
    EXPECT_TRUE(EqualRect(&expected, &fixed.control)) << Text(fixed.control);
    // The design the pictures are made for is the same as at 96.
    EXPECT_EQ(::MulDiv(249, units.cx, 4), DesignClientSize(IDD_WIZARD).cx);
}

TEST_F(DISABLED_At120Dpi, APageKeepsItsPlaceInTheFrame) {
    TemplateDialog frame(IDD_WIZARD, true);
    ASSERT_TRUE(frame.Create(nullptr));
    ::SetWindowPos(frame.Handle(), nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    TemplateDialog page(IDD_INSTALL_LOCATION, true);
    ASSERT_TRUE(page.Create(frame.Handle()));
    RECT placed;
    ::GetWindowRect(page.Handle(), &placed);
    ::MapWindowPoints(nullptr, frame.Handle(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(page.PositionBeforeFix().x, placed.left);
    EXPECT_EQ(page.PositionBeforeFix().y, placed.top);
    SIZE units = BaseUnitsOf(-12, L"Verdana");
    EXPECT_EQ(::MulDiv(::MulDiv(235, units.cx, 4), 120, 96), placed.right - placed.left);
    EXPECT_EQ(::MulDiv(::MulDiv(150, units.cy, 8), 120, 96), placed.bottom - placed.top);
}
