#include "wizard/Layout.h"

#include <commctrl.h>

#include "wizard/Density.h"

namespace {

// Reads the little-endian fields of a dialog resource, refusing to run past its end.
class TemplateReader {
public:
    TemplateReader(const void* data, size_t size) : data_(static_cast<const BYTE*>(data)), size_(size) {}

    bool Ok() const { return ok_; }
    size_t Offset() const { return offset_; }
    void Seek(size_t offset) {
        if (Need(offset, 0)) offset_ = offset;
    }
    void AlignTo4() { Seek((offset_ + 3) & ~size_t(3)); }

    BYTE Byte() {
        BYTE value = 0;
        if (Need(offset_, 1)) value = data_[offset_++];
        return value;
    }
    WORD Word() {
        WORD low = Byte();
        return static_cast<WORD>(low | Byte() << 8);
    }
    DWORD Dword() {
        DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }

    std::wstring String() {
        std::wstring text;
        while (ok_) {
            WORD c = Word();
            if (c == 0) break;
            text += static_cast<wchar_t>(c);
        }
        return text;
    }
    // A menu or class field: 0 (none), 0xFFFF and an ordinal, or a name. True unless empty.
    bool NameOrOrdinal() {
        WORD first = Word();
        if (first == 0) return false;
        if (first == 0xFFFF)
            Word();
        else if (ok_)
            String();  // the rest of the name
        return true;
    }

private:
    bool Need(size_t offset, size_t count) {
        if (offset > size_ || size_ - offset < count) ok_ = false;
        return ok_;
    }

    const BYTE* data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

int Nearest(double value) { return static_cast<int>(value + 0.5); }

// The layout font belongs to the window: it is deleted when the window is gone, after
// every child that used it.
const wchar_t kFontProperty[] = L"Wendrake.LayoutFont";

LRESULT CALLBACK FontOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
    if (message != WM_NCDESTROY) return ::DefSubclassProc(window, message, wParam, lParam);
    ::RemoveWindowSubclass(window, FontOwnerProc, id);
    HGDIOBJ font = ::RemovePropW(window, kFontProperty);
    LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
    ::DeleteObject(font);
    return result;
}

void KeepFontWithWindow(HWND window, Font font) {
    if (!::SetWindowSubclass(window, FontOwnerProc, 0, 0)) return;
    HGDIOBJ previous = ::GetPropW(window, kFontProperty);
    if (::SetPropW(window, kFontProperty, font.Get())) font.Release();
    // Laid out twice: the first font is no longer used.
    if (previous) ::DeleteObject(previous);
}

bool LoadTemplate(UINT templateId, DialogTemplateInfo& info) {
    const void* data = nullptr;
    size_t size = 0;
    return FindDialogTemplate(templateId, data, size) && ReadDialogTemplate(data, size, info);
}

// The template's font with the pixel height it has at the given density.
Font TemplateFontAt(const TemplateFont& wanted, int dotsPerInch) {
    int height = -static_cast<int>(wanted.pointSize * dotsPerInch / 72.0 + 0.5);
    return Font(::CreateFontW(height, 0, 0, 0, wanted.weight, wanted.italic, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                              wanted.face.c_str()));
}

// Dialog base units of a font, measured the way the dialog manager measures them. A font of a
// given pixel height measures the same on any device context of the screen.
SIZE MeasureBaseUnits(HWND window, HFONT font) {
    SIZE units = {0, 0};
    WindowDC dc(window);
    if (!dc.Get()) return units;
    SelectedObject selected(dc.Get(), font);
    TEXTMETRICW metrics = {};
    ::GetTextMetricsW(dc.Get(), &metrics);
    static const wchar_t kSample[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    SIZE extent = {0, 0};
    ::GetTextExtentPoint32W(dc.Get(), kSample, 52, &extent);
    units.cx = (extent.cx / 26 + 1) / 2;
    units.cy = metrics.tmHeight;
    return units;
}

// The 96-dots-per-inch base units of a template's own font.
SIZE DesignUnits(HWND window, const TemplateFont& font) {
    Font design = TemplateFontAt(font, kDesignDensity);
    return design ? MeasureBaseUnits(window, design.Get()) : SIZE{0, 0};
}

SIZE DesignClient(const DialogTemplateInfo& info, SIZE units) {
    return SIZE{Nearest(info.cx * units.cx * 0.25), Nearest(info.cy * units.cy * 0.125)};
}

void ResizeWindow(HWND window, const DialogTemplateInfo& info, SIZE units) {
    SIZE design = DesignClient(info, units);
    RECT client;
    ::GetClientRect(window, &client);
    RECT rect = {client.left, client.top, client.left + Scaled(design.cx), client.top + Scaled(design.cy)};
    ::MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    ::AdjustWindowRectEx(&rect, info.style, info.font.hasMenu, info.exStyle);
    // A page is a child: MoveWindow wants its parent's client coordinates.
    if (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)
        ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    ::MoveWindow(window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void PlaceControls(HWND window, const DialogTemplateInfo& info, HFONT font, SIZE units) {
    HWND next = ::GetWindow(window, GW_CHILD);
    for (const TemplateItem& item : info.items) {
        HWND control = next;
        while (control && static_cast<DWORD>(::GetWindowLongPtrW(control, GWLP_ID)) != item.id)
            control = ::GetWindow(control, GW_HWNDNEXT);
        // The walk follows the template's order; a control that is not there ends it.
        if (!control) return;
        // The rectangle the dialog manager gives the control at 96 dots per inch: the design.
        int left = Nearest(item.x * units.cx * 0.25), top = Nearest(item.y * units.cy * 0.125);
        RECT design = {left, top, left + Nearest(item.cx * units.cx * 0.25), top + Nearest(item.cy * units.cy * 0.125)};
        // Its corner rounded to the nearest pixel, its size rounded up, so that its text, whose
        // line height grows a little faster than the density, keeps its room.
        ::MoveWindow(control, Scaled(design.left), Scaled(design.top), ScaledUp(design.right - design.left),
                     ScaledUp(design.bottom - design.top), TRUE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        next = ::GetWindow(control, GW_HWNDNEXT);
    }
}

// From Windows 10 1703 on, the dialog manager scales the dialogs of a per-monitor aware program
// itself when the density changes; these windows do it themselves, from their templates.
void KeepDialogManagerFromScaling(HWND window) {
    using Proc = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = reinterpret_cast<Proc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetDialogDpiChangeBehavior")));
    const int kDisableAll = 1;  // DDC_DISABLE_ALL
    if (setBehavior) setBehavior(window, kDisableAll, kDisableAll);
}

}  // namespace

bool FindDialogTemplate(UINT templateId, const void*& data, size_t& size) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    data = loaded ? ::LockResource(loaded) : nullptr;
    size = data ? ::SizeofResource(module, found) : 0;
    return data != nullptr;
}

bool ReadDialogTemplate(const void* data, size_t size, DialogTemplateInfo& info) {
    TemplateReader in(data, size);
    info = DialogTemplateInfo();
    info.extended = in.Dword() == 0xFFFF0001;
    if (info.extended) {
        in.Dword();  // help id
        info.exStyle = in.Dword();
        info.style = in.Dword();
    } else {
        in.Seek(0);
        info.style = in.Dword();
        info.exStyle = in.Dword();
    }
    WORD count = in.Word();
    in.Short();  // x
    in.Short();  // y
    info.cx = in.Short();
    info.cy = in.Short();

    TemplateFont& font = info.font;
    font.hasMenu = in.NameOrOrdinal();
    in.NameOrOrdinal();  // window class
    in.String();         // title
    if (info.style & DS_SETFONT) {
        font.pointSize = in.Word();
        if (info.extended) {
            font.weight = in.Word();
            font.italic = in.Byte() ? 1 : 0;
            in.Byte();  // character set: the layout font always asks for the default one
        }
        font.face = in.String();
    } else {
        // The dialog manager's own choice for a template without a font.
        font.face = L"Tahoma";
        font.pointSize = 8;
        font.weight = FW_NORMAL;
    }
    // A size with the sign bit set is a negated size.
    if (font.pointSize < 0 || font.pointSize > 0x7FFF) font.pointSize = (0x10000 - font.pointSize) & 0xFFFF;

    for (WORD i = 0; i < count && in.Ok(); ++i) {
        in.AlignTo4();
        TemplateItem item;
        if (info.extended) {
            in.Dword();  // help id
            in.Dword();  // extended style
            in.Dword();  // style
        } else {
            in.Dword();  // style
            in.Dword();  // extended style
        }
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = info.extended ? in.Dword() : in.Word();
        in.NameOrOrdinal();  // class
        in.NameOrOrdinal();  // title
        WORD extra = in.Word();
        in.Seek(in.Offset() + extra);
        if (in.Ok()) info.items.push_back(item);
    }
    return in.Ok();
}

void FixDialogLayout(HWND window, UINT templateId) {
    if (!window || !::IsWindow(window)) return;
    DialogTemplateInfo info;
    if (!LoadTemplate(templateId, info)) return;

    SIZE units = DesignUnits(window, info.font);
    Font font = TemplateFontAt(info.font, ScreenDensity());
    if (!font || units.cx == 0 || units.cy == 0) return;
    KeepDialogManagerFromScaling(window);
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    ResizeWindow(window, info, units);
    PlaceControls(window, info, font.Get(), units);

    LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    ::SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_ACCEPTFILES));
    KeepFontWithWindow(window, std::move(font));
}

SIZE DesignClientSize(UINT templateId) {
    DialogTemplateInfo info;
    if (!LoadTemplate(templateId, info)) return SIZE{0, 0};
    return DesignClient(info, DesignUnits(nullptr, info.font));
}

Font MakeFont(const wchar_t* face, int tenthsOfPoint, int weight, bool underline, bool italic, BYTE charset) {
    LOGFONTW font = {};
    font.lfHeight = FontHeightForPoints(tenthsOfPoint);
    font.lfWeight = weight;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfItalic = italic ? TRUE : FALSE;
    font.lfCharSet = charset;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return Font(::CreateFontIndirectW(&font));
}
