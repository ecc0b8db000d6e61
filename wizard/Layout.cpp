#include "wizard/Layout.h"

#include <commctrl.h>

#include "app/AppState.h"

double DensityScale() {
    double density = ScreenDensity();
    return density == 96.0 ? 1.0 : 96.0 / density;
}

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

// Dialog base units of a font, measured the way the dialog manager measures them.
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

void ResizeWindow(HWND window, const DialogTemplateInfo& info, SIZE units) {
    RECT client;
    ::GetClientRect(window, &client);
    RECT rect = {client.left, client.top, client.left + Nearest(info.cx * units.cx * 0.25),
                 client.top + Nearest(info.cy * units.cy * 0.125)};
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
        ::MoveWindow(control, Nearest(item.x * units.cx * 0.25), Nearest(item.y * units.cy * 0.125),
                     Nearest(item.cx * units.cx * 0.25) + 1, Nearest(item.cy * units.cy * 0.125), TRUE);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        next = ::GetWindow(control, GW_HWNDNEXT);
    }
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
        font.face = L"Tahoma";
        font.pointSize = static_cast<int>(8 * DensityScale());
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
    if (ScreenDensity() == 96.0 || !window || !::IsWindow(window)) return;
    DialogTemplateInfo info;
    if (!LoadTemplate(templateId, info)) return;

    const TemplateFont& wanted = info.font;
    // The pixel height the font has at 96 dots per inch (96 / 72 pixels per point).
    int height = -static_cast<int>(wanted.pointSize * 1.3333333333333333 + 0.5);
    Font font(::CreateFontW(height, 0, 0, 0, wanted.weight, wanted.italic, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                            wanted.face.c_str()));
    if (!font) return;
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);

    SIZE units = MeasureBaseUnits(window, font.Get());
    ResizeWindow(window, info, units);
    PlaceControls(window, info, font.Get(), units);

    LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
    ::SetWindowLongPtrW(window, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_ACCEPTFILES));
    KeepFontWithWindow(window, std::move(font));
}

Font MakeFont(const wchar_t* face, int tenthsOfPoint, int weight, bool underline, bool italic, BYTE charset) {
    LOGFONTW font = {};
    int dotsPerInch = 96;
    {
        WindowDC screen(nullptr);
        if (screen.Get()) dotsPerInch = ::GetDeviceCaps(screen.Get(), LOGPIXELSY);
    }
    font.lfHeight = -(dotsPerInch * tenthsOfPoint / 720);
    font.lfWeight = weight;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfItalic = italic ? TRUE : FALSE;
    font.lfCharSet = charset;
    lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return Font(::CreateFontIndirectW(&font));
}
