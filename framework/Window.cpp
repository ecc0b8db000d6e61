#include "framework/Window.h"

#include <commctrl.h>

#include <vector>

namespace {

const wchar_t kObjectProperty[] = L"Wendrake.Object";

bool IsCtlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

}  // namespace

Window::~Window() { Detach(); }

Window* Window::FromHandle(HWND window) {
    if (!window) return nullptr;
    return static_cast<Window*>(::GetPropW(window, kObjectProperty));
}

void Window::Attach(HWND window) {
    hwnd_ = window;
    ::SetPropW(window, kObjectProperty, this);
}

void Window::Detach() {
    if (hwnd_ && ::IsWindow(hwnd_) && FromHandle(hwnd_) == this) ::RemovePropW(hwnd_, kObjectProperty);
    hwnd_ = nullptr;
}

bool Window::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool EntryMatches(UINT message, UINT code, UINT id, UINT actual, WPARAM wParam, LPARAM lParam) {
    if (message != actual) return false;
    UINT actualCode = kAny;
    UINT actualId = kAny;
    if (actual == WM_COMMAND) {
        actualCode = HIWORD(wParam);
        actualId = LOWORD(wParam);
    } else if (actual == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        actualCode = header->code;
        actualId = static_cast<UINT>(header->idFrom);
    } else if (IsCtlColor(actual) || IsCtlColor(actual - kReflectBase)) {
        HWND control = reinterpret_cast<HWND>(lParam);
        actualId = static_cast<UINT>(::GetDlgCtrlID(control));
    }
    return (code == kAny || code == actualCode) && (id == kAny || id == actualId);
}

// ---------------------------------------------------------------------------------------------
// Dialog

Dialog::~Dialog() {
    if (hwnd_ && ::IsWindow(hwnd_)) {
        HWND window = hwnd_;
        // No more calls into this half-destroyed object.
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        Detach();
        ::DestroyWindow(window);
    }
}

INT_PTR CALLBACK Dialog::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->Attach(window);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    }
    if (!self) return FALSE;

    LRESULT result = 0;
    bool handled = self->OnMessage(message, wParam, lParam, result);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        self->Detach();
        self->ended_ = true;
    }
    if (!handled) return FALSE;
    // These messages return their value directly from a dialog procedure.
    if (message == WM_INITDIALOG || IsCtlColor(message) || message == WM_QUERYDRAGICON ||
        message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM)
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}

bool Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        result = OnInitDialog() ? TRUE : FALSE;
        return true;
    case WM_COMMAND:
        if (lParam == 0 || HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == IDOK) {
                OnOK();
                return true;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                return true;
            }
        }
        return false;
    default:
        if (IsCtlColor(message)) {
            result = DefaultCtlColor(message, wParam, lParam);
            return result != 0;
        }
        return false;
    }
}

LRESULT Dialog::DefaultCtlColor(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = reinterpret_cast<HWND>(lParam);
    Window* object = FromHandle(control);
    if (control != hwnd_ && object && object->ColorsItself())
        return ::SendMessageW(control, Reflected(message), wParam, lParam);
    return 0;
}

bool Dialog::Create(HWND parent) {
    modal_ = false;
    HWND window = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), parent, Proc,
                                       reinterpret_cast<LPARAM>(this));
    return window != nullptr;
}

INT_PTR Dialog::RunModal(HWND owner) {
    ended_ = false;
    modalResult_ = -1;
    if (!Create(owner)) return -1;
    modal_ = true;
    modalResult_ = 0;
    bool ownerEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerEnabled) ::EnableWindow(owner, FALSE);

    MSG msg;
    while (!ended_) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // Keep WM_QUIT for the loop that runs after us.
            if (got == 0) ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (RouteMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (ownerEnabled) ::EnableWindow(owner, TRUE);
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
    modal_ = false;
    return modalResult_;
}

void Dialog::EndModal(INT_PTR value) {
    modalResult_ = value;
    if (hwnd_) ::DestroyWindow(hwnd_);
}

bool RouteMessage(MSG& msg) {
    if (!msg.hwnd) return false;
    for (HWND h = msg.hwnd; h; h = ::GetParent(h)) {
        Window* object = Window::FromHandle(h);
        if (object && object->PreTranslateMessage(msg)) return true;
    }
    // Tab belongs to the outermost dialog: its navigation runs through the controls of the
    // pages inside it that are control parents as well as its own. A page that took Tab
    // first would keep the focus among its own controls.
    const bool tab = msg.message == WM_KEYDOWN && msg.wParam == VK_TAB;
    for (HWND h = msg.hwnd; h; h = ::GetParent(h)) {
        Window* object = Window::FromHandle(h);
        if (!object || !object->IsDialog()) continue;
        if (tab && (::GetWindowLongPtrW(h, GWL_STYLE) & WS_CHILD) &&
            (::GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_CONTROLPARENT))
            continue;
        if (::IsDialogMessageW(h, &msg)) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Control

Control::~Control() {
    if (hwnd_ && ::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, Proc, 0);
}

bool Control::Subclass(HWND control) {
    if (!control || !::SetWindowSubclass(control, Proc, 0, reinterpret_cast<DWORD_PTR>(this))) return false;
    Attach(control);
    OnAttached();
    return true;
}

LRESULT CALLBACK Control::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR data) {
    Control* self = reinterpret_cast<Control*>(data);
    LRESULT result = 0;
    if (self->OnMessage(message, wParam, lParam, result)) return result;
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, Proc, 0);
        self->Detach();
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------

std::wstring WindowText(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void ExchangeText(HWND dialog, int id, std::wstring& value, bool fromControl) {
    HWND control = ::GetDlgItem(dialog, id);
    if (!control) return;
    if (fromControl)
        value = WindowText(control);
    else
        ::SetWindowTextW(control, value.c_str());
}

void SetButtonText(HWND button, const std::wstring& text) {
    std::wstring caption;
    caption.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'&') caption += L'&';
        caption += c;
    }
    ::SetWindowTextW(button, caption.c_str());
}
