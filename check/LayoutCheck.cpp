#include "check/LayoutCheck.h"

#include <algorithm>

#include "pages/PageStyle.h"
#include "resources/resource.h"
#include "wizard/Density.h"
#include "wizard/DensityPicture.h"
#include "wizard/Layout.h"
#include "wizard/Picture.h"

namespace {

INT_PTR CALLBACK HiddenDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// One of the installer's own windows, made hidden from its template and laid out as the wizard
// lays it out.
HWND MakeHidden(UINT id, HWND parent) {
    const void* data = nullptr;
    size_t size = 0;
    if (!FindDialogTemplate(id, data, size) || size < 16) return nullptr;
    std::vector<BYTE> copy(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
    const bool extended = copy[2] == 0xFF && copy[3] == 0xFF;
    DWORD style;
    std::copy_n(&copy[extended ? 12 : 0], sizeof style, reinterpret_cast<BYTE*>(&style));
    style &= ~static_cast<DWORD>(WS_VISIBLE);
    std::copy_n(reinterpret_cast<BYTE*>(&style), sizeof style, &copy[extended ? 12 : 0]);
    HWND window = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(copy.data()),
                                               parent, HiddenDialogProc, 0);
    if (window) FixDialogLayout(window, id);
    return window;
}

SIZE ClientSize(HWND window) {
    RECT rect = {};
    ::GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

// A picture against the area it fills. A sharper variant (multiple 2 to 4) is optional: where it
// cannot be read the installer takes another one, so its faults are warnings.
void CheckPicture(const CheckedPackage& package, const std::wstring& name, SIZE area, bool largerIsCut, int multiple,
                  Report& report) {
    Picture picture;
    const PackageFile file = package.source.File(name);
    int loaded = picture.Load(file);
    if (multiple > 1 && loaded == Picture::kUnreadable && !file.Exists()) return;
    if (multiple > 1 && loaded != Picture::kLoaded)
        return report.Warning(name, 0, L"is no picture Windows can read (BMP, JPEG, GIF): the installer uses another size");
    if (loaded == Picture::kUnreadable) return report.Error(name, 0, L"missing or unreadable: its area stays unpainted");
    if (loaded != Picture::kLoaded)
        return report.Error(name, 0, L"is no picture Windows can read (BMP, JPEG, GIF): its area stays unpainted");
    area = SIZE{area.cx * multiple, area.cy * multiple};
    SIZE size = picture.SizeInPixels(nullptr);
    if (size.cx < area.cx || size.cy < area.cy)
        report.Warning(name, 0, L"is " + Pixels(size) + L" pixels, smaller than the " + Pixels(area) +
                                    L" it fills: the rest stays unpainted");
    else if (largerIsCut && (size.cx > area.cx || size.cy > area.cy))
        report.Warning(name, 0, L"is " + Pixels(size) + L" pixels, larger than the " + Pixels(area) +
                                    L" it fills: it is cut off at the right and bottom");
}

// How a control shows its text, "&" as written (statics have SS_NOPREFIX, buttons get it
// doubled): a static wraps at words and loses the lines below its height; a push button shows
// one line between its edges; the terms link grows to its text, and the page's edge cuts it.
enum class Shown { Wrapped, Button, Link };

struct TextPlace {
    const wchar_t* key;
    UINT window;
    int control;
    Shown shown;
    const wchar_t* place;  // what the finding calls it
};

const TextPlace kPlaces[] = {
    {L"WelcomeTitle", IDD_WELCOME, IDC_WELCOME_TITLE, Shown::Wrapped, L"its place"},
    {L"SetupContinued", IDD_INSTALL_LOCATION, IDC_SETUP_CONTINUED, Shown::Wrapped, L"its place"},
    {L"DontMiss", IDD_FEATURES, IDC_DONT_MISS, Shown::Wrapped, L"its place"},
    {L"DownloadingLabel", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"TryingToConnect", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadFailedMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadCorruptMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"InstallerStartFailedMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadNotFoundMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadServerErrorMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadSignInMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadDiskFullMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadFileInUseMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadMisconfiguredMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadSecureMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"DownloadRedirectMsg", IDD_WIZARD, IDC_STATUS, Shown::Wrapped, L"the status line"},
    {L"ButtonNext", IDD_WIZARD, IDC_CONTINUE, Shown::Button, L"its button"},
    {L"ButtonIAgree", IDD_WIZARD, IDC_CONTINUE, Shown::Button, L"its button"},
    {L"ButtonRetry", IDD_WIZARD, IDC_CONTINUE, Shown::Button, L"its button"},
    {L"ButtonBack", IDD_WIZARD, IDC_BACK, Shown::Button, L"its button"},
    {L"ButtonCancel", IDD_WIZARD, IDC_CANCEL_SETUP, Shown::Button, L"its button"},
    {L"BrowseButton", IDD_INSTALL_LOCATION, IDC_BROWSE, Shown::Button, L"its button"},
    {L"NoThanks", IDD_FEATURES, IDC_NO_THANKS, Shown::Button, L"its button"},
    {L"ContinueInstall", IDD_FEATURES, IDC_CONTINUE_INSTALL, Shown::Button, L"its button"},
    {L"TermsNConditions", IDD_INSTALL_LOCATION, IDC_TERMS_LINK, Shown::Link, L"the page"},
};

// The wizard's windows at one density, with the fonts the pages give their headings and link.
struct LaidOut {
    HWND frame = nullptr;
    HWND pages[3] = {};  // welcome, install location, features
    Font headings[3];
    Font link;

    LaidOut() {
        frame = MakeHidden(IDD_WIZARD, nullptr);
        const UINT ids[3] = {IDD_WELCOME, IDD_INSTALL_LOCATION, IDD_FEATURES};
        const int headingIds[3] = {IDC_WELCOME_TITLE, IDC_SETUP_CONTINUED, IDC_DONT_MISS};
        for (int i = 0; i < 3 && frame; ++i) {
            pages[i] = MakeHidden(ids[i], frame);
            // The pages' own fonts.
            if (pages[i]) headings[i] = MakeHeadingFont(pages[i], headingIds[i]);
        }
        link = MakeLinkFont();
    }
    ~LaidOut() {
        if (frame) ::DestroyWindow(frame);
    }
    LaidOut(const LaidOut&) = delete;
    LaidOut& operator=(const LaidOut&) = delete;

    HWND Window(UINT id) const {
        switch (id) {
        case IDD_WIZARD: return frame;
        case IDD_WELCOME: return pages[0];
        case IDD_INSTALL_LOCATION: return pages[1];
        case IDD_FEATURES: return pages[2];
        default: return nullptr;
        }
    }
};

// What a text needs of its control, and the room the control gives it.
struct Fit {
    SIZE need = {};
    SIZE room = {};
    bool cut = false;
};

Fit Measure(const LaidOut& windows, const TextPlace& place, const std::wstring& text) {
    Fit fit;
    HWND window = windows.Window(place.window);
    HWND control = window ? ::GetDlgItem(window, place.control) : nullptr;
    if (!control) return fit;
    HFONT font = place.shown == Shown::Link ? windows.link.Get()
                                            : reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HDC dc = ::GetDC(control);
    HGDIOBJ old = ::SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    RECT box = {};
    ::GetClientRect(control, &box);
    RECT need = {0, 0, box.right, 0};
    switch (place.shown) {
    case Shown::Wrapped:
        ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        fit.room = {box.right, box.bottom};
        break;
    case Shown::Button: {
        ::DrawTextW(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        // The button's edge and its focus rectangle take 3 pixels on either side at 96 dots per
        // inch, and grow with the density as the button does.
        const int margin = 2 * Scaled(3);
        fit.room = {box.right - margin, box.bottom};
        break;
    }
    case Shown::Link: {
        // The page fits the link to its text (LinkLabel::FitToText), from the placeholder's left.
        SIZE extent = {};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        need = {0, 0, extent.cx, extent.cy};
        RECT at = {};
        ::GetWindowRect(control, &at);
        ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&at), 2);
        fit.room = {ClientSize(window).cx - at.left, extent.cy};
        break;
    }
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    fit.need = {need.right, need.bottom};
    fit.cut = fit.need.cx > fit.room.cx || fit.need.cy > fit.room.cy;
    return fit;
}

// The densities the installer is laid out and tested at.
const int kDensities[] = {96, 120, 144, 192};

// A text cut off at one density or more: where, and what it needs at the first.
struct Cut {
    const LanguageSection* section;
    const TextPlace* place;
    int line;
    std::wstring densities;
    int first = 0;
    Fit fit;
};

// Each language's texts against their controls, at every density.
void CheckTextPlaces(const CheckedPackage& package, Report& report) {
    std::vector<Cut> cuts;
    for (int density : kDensities) {
        SetScreenDensity(density);
        const LaidOut windows;
        if (!windows.frame) {
            report.Warning(L"WendrakeCheck", 0, L"cannot make the wizard's windows here: texts are unchecked");
            break;
        }
        for (const LanguageSection& section : package.sections) {
            if (section.duplicate) continue;
            for (const TextPlace& place : kPlaces) {
                const FoundText found = package.Text(section.name, place.key);
                if (found.value.empty()) continue;
                const Fit fit = Measure(windows, place, found.value);
                if (!fit.cut) continue;
                auto cut = std::find_if(cuts.begin(), cuts.end(),
                                        [&](const Cut& c) { return c.section == &section && c.place == &place; });
                if (cut == cuts.end()) {
                    const int line = package.LineOf(found);
                    cut = cuts.insert(cuts.end(), Cut{&section, &place, found.builtIn || !line ? section.line : line,
                                                      std::wstring(), density, fit});
                }
                cut->densities += (cut->densities.empty() ? L"" : L", ") + std::to_wstring(density);
            }
        }
    }
    SetScreenDensity(kDesignDensity);
    for (const Cut& cut : cuts)
        report.Warning(kLanguageName, cut.line,
                       L"[" + cut.section->name + L"] " + cut.place->key + L" is cut off at " + Listed(cut.densities) +
                           L" dpi: at " + std::to_wstring(cut.first) + L" dpi it needs " + Pixels(cut.fit.need) +
                           L" pixels, " + cut.place->place + L" has " + Pixels(cut.fit.room));
}

}  // namespace

void CheckLayout(const CheckedPackage& package, Report& report) {
    // The pictures are designed for the wizard at 96 dots per inch; the installer scales them.
    for (int multiple = 1; multiple <= DensityPicture::kLargestMultiple; ++multiple) {
        CheckPicture(package, DensityPicture::VariantName(L"BackGround.bmp", multiple), DesignClientSize(IDD_WIZARD),
                     false, multiple, report);
        CheckPicture(package, DensityPicture::VariantName(L"Preloader.jpg", multiple), DesignClientSize(IDD_PRELOADER),
                     true, multiple, report);
    }
    CheckTextPlaces(package, report);
}
