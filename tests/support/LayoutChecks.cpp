#include "tests/support/LayoutChecks.h"

#include <commctrl.h>

#include <cstdio>

#include "framework/Handles.h"
#include "tests/support/TestSupport.h"
#include "wizard/Density.h"

namespace {

std::string Describe(HWND control, const RECT& r) {
    wchar_t name[64] = {};
    ::GetClassNameW(control, name, 64);
    char text[160];
    std::snprintf(text, sizeof text, "%s %d at %ld,%ld-%ld,%ld", Utf8(name).c_str(), ::GetDlgCtrlID(control), r.left,
                  r.top, r.right, r.bottom);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// The room a text needs in the control's font: wrapped at `width` when width > 0, else on one line.
SIZE Needed(HWND control, const std::wstring& text, int width, UINT prefixFlag) {
    WindowDC dc(control);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    SelectedObject selected(dc.Get(), font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    RECT need = {0, 0, width > 0 ? width : 0, 0};
    UINT flags = DT_CALCRECT | DT_EXPANDTABS | prefixFlag | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
    ::DrawTextW(dc.Get(), text.c_str(), -1, &need, flags);
    return SIZE{need.right - need.left, need.bottom - need.top};
}

struct Search {
    const std::map<int, std::vector<std::wstring>>* alsoShows;
    std::vector<std::string> cut;
};

void CheckText(HWND control, const std::wstring& text, Search& search) {
    if (text.empty()) return;
    RECT client;
    ::GetClientRect(control, &client);
    const std::wstring kind = ClassOf(control);
    const LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    SIZE room = {client.right, client.bottom};
    SIZE need = {0, 0};
    if (lstrcmpiW(kind.c_str(), L"Static") == 0) {
        const LONG_PTR type = style & SS_TYPEMASK;
        if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE)
            return;  // pictures and frames
        bool wraps = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
        need = Needed(control, text, wraps ? room.cx : 0, (style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    } else if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
        LONG_PTR type = style & BS_TYPEMASK;
        if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) return;
        need = Needed(control, text, 0, 0);
        // The button's edges and the focus rectangle inside them.
        room.cx -= 6;
        room.cy -= 4;
    } else if (lstrcmpiW(kind.c_str(), L"ComboBox") == 0) {
        need = Needed(control, text, 0, DT_NOPREFIX);
        room.cx -= ::GetSystemMetrics(SM_CXVSCROLL) + 4;
        room.cy -= 2;
    } else {
        return;
    }
    if (need.cx > room.cx || need.cy > room.cy) {
        char sizes[96];
        std::snprintf(sizes, sizeof sizes, ": \"%s\" needs %ld x %ld, has %ld x %ld", Utf8(text).c_str(), need.cx,
                      need.cy, room.cx, room.cy);
        RECT r;
        ::GetWindowRect(control, &r);
        search.cut.push_back(Describe(control, r) + sizes);
    }
}

BOOL CALLBACK VisitForCut(HWND control, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (!::IsWindowVisible(control)) return TRUE;
    if (lstrcmpiW(ClassOf(control).c_str(), L"ComboBox") == 0) {
        int count = static_cast<int>(::SendMessageW(control, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t item[256] = {};
            if (::SendMessageW(control, CB_GETLBTEXTLEN, i, 0) < 255)
                ::SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            CheckText(control, item, *search);
        }
    } else {
        CheckText(control, TextOf(control), *search);
    }
    auto more = search->alsoShows->find(::GetDlgCtrlID(control));
    if (more != search->alsoShows->end())
        for (const std::wstring& text : more->second) CheckText(control, text, *search);
    return TRUE;
}

}  // namespace

std::vector<std::string> ControlsOutside(HWND frame) {
    struct Outside {
        RECT client;
        std::vector<std::string> found;
    } search;
    ::GetClientRect(frame, &search.client);
    ::MapWindowPoints(frame, nullptr, reinterpret_cast<POINT*>(&search.client), 2);
    // A named function: on 32-bit Windows a callback must use the system's calling convention.
    struct Visit {
        static BOOL CALLBACK Window(HWND child, LPARAM data) {
            auto* s = reinterpret_cast<Outside*>(data);
            RECT r;
            if (!::IsWindowVisible(child) || !::GetWindowRect(child, &r)) return TRUE;
            if (r.left < s->client.left || r.top < s->client.top || r.right > s->client.right ||
                r.bottom > s->client.bottom)
                s->found.push_back(Describe(child, r));
            return TRUE;
        }
    };
    ::EnumChildWindows(frame, &Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<std::string> TextsCut(HWND frame, const std::map<int, std::vector<std::wstring>>& alsoShows) {
    Search search = {&alsoShows, {}};
    ::EnumChildWindows(frame, &VisitForCut, reinterpret_cast<LPARAM>(&search));
    return search.cut;
}

SIZE FrameDesignClientSize() {
    Font font(::CreateFontW(-12, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Verdana"));
    WindowDC dc(nullptr);
    SelectedObject selected(dc.Get(), font.Get());
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc.Get(), &metrics);
    SIZE extent = {};
    ::GetTextExtentPoint32W(dc.Get(), L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52, &extent);
    LONG unitX = (extent.cx / 26 + 1) / 2, unitY = metrics.tmHeight;
    return SIZE{::MulDiv(249, unitX, 4), ::MulDiv(225, unitY, 8)};
}

DensityOverride::DensityOverride(int dotsPerInch) : old_(ScreenDensity()) { SetScreenDensity(dotsPerInch); }

DensityOverride::~DensityOverride() { SetScreenDensity(old_); }
