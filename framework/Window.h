#pragma once
// The window framework's core: objects attached to window handles, message tables,
// dialogs (modal with their own loop, or modeless children) and subclassed controls.

#include <windows.h>
#include <string>

class Window {
public:
    virtual ~Window();
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }
    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }

    // The object attached to a window handle, or null.
    static Window* FromHandle(HWND window);

    // Offered every message of the modal loop whose target is this window or one of
    // its children, before any dialog navigation; true swallows the message.
    virtual bool PreTranslateMessage(MSG&) { return false; }
    // Dialogs take part in keyboard navigation (IsDialogMessage) in the modal loop.
    virtual bool IsDialog() const { return false; }
    // A control that wants its parent's WM_CTLCOLOR* sent back to itself.
    virtual bool ColorsItself() const { return false; }

    // Handles one message; false leaves it to default processing.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // A handler found in a message table calls this to pass the message on.
    void NotHandled() { handled_ = false; }
    // Used by DispatchTable around each handler call.
    void BeginHandling() { handled_ = true; }
    bool WasHandled() const { return handled_; }

protected:
    void Attach(HWND window);
    void Detach();

    HWND hwnd_ = nullptr;

private:
    bool handled_ = true;
};

// A WM_CTLCOLOR* message sent back to the control that asked to colour itself.
constexpr UINT kReflectBase = WM_USER + 0x1C00;
constexpr UINT Reflected(UINT message) { return kReflectBase + message; }

// Wildcard for the notification code and control id of a table entry.
constexpr UINT kAny = 0xFFFFFFFFu;

// One row of a class's message table: (message, notification code, control id) -> handler.
// The code and id are matched for WM_COMMAND and WM_NOTIFY; the id also for WM_CTLCOLOR*.
// A handler takes the message's parameters, or none (an action: the message's result is 0).
template <class T>
struct MessageEntry {
    using Handler = LRESULT (T::*)(WPARAM, LPARAM);
    using Action = void (T::*)();

    constexpr MessageEntry(UINT message, UINT code, UINT id, Handler handler)
        : message(message), code(code), id(id), handler(handler), action(nullptr) {}
    constexpr MessageEntry(UINT message, UINT code, UINT id, Action action)
        : message(message), code(code), id(id), handler(nullptr), action(action) {}

    LRESULT Call(T* self, WPARAM wParam, LPARAM lParam) const {
        if (handler) return (self->*handler)(wParam, lParam);
        (self->*action)();
        return 0;
    }

    UINT message;
    UINT code;
    UINT id;
    Handler handler;
    Action action;
};

// A class's table as its static Messages() returns it: the rows and how many there are.
template <class T>
struct MessageTable {
    template <size_t N>
    constexpr MessageTable(const MessageEntry<T> (&rows)[N]) : rows(rows), count(N) {}
    const MessageEntry<T>* rows;
    size_t count;
};

bool EntryMatches(UINT message, UINT code, UINT id, UINT actual, WPARAM wParam, LPARAM lParam);

// Searches a table in order; the first match whose handler does not pass the message on wins.
template <class T>
bool DispatchTable(T* self, const MessageTable<T>& table, UINT message, WPARAM wParam, LPARAM lParam,
                   LRESULT& result) {
    for (size_t i = 0; i < table.count; ++i) {
        const MessageEntry<T>& entry = table.rows[i];
        if (!EntryMatches(entry.message, entry.code, entry.id, message, wParam, lParam)) continue;
        self->BeginHandling();
        LRESULT r = entry.Call(self, wParam, lParam);
        if (self->WasHandled()) {
            result = r;
            return true;
        }
    }
    return false;
}

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId) : templateId_(templateId) {}
    ~Dialog() override;

    UINT TemplateId() const { return templateId_; }
    bool IsDialog() const override { return true; }

    // Runs the dialog modally with its own message loop; returns the EndModal value,
    // or -1 when the window could not be made.
    INT_PTR RunModal(HWND owner);
    // Creates the dialog as a modeless window (a child when the template says WS_CHILD).
    bool Create(HWND parent);
    // Ends a modal run: the window is destroyed and RunModal returns the value.
    void EndModal(INT_PTR value);

    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    virtual bool OnInitDialog() { return true; }
    // The dialog's OK and Cancel commands (Enter and Escape).
    virtual void OnOK() {}
    virtual void OnCancel() {}
    // Default colouring: a control that colours itself gets the message back; otherwise 0.
    LRESULT DefaultCtlColor(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR modalResult_ = 0;
};

// An object with its own message table attached to an existing control by subclassing.
class Control : public Window {
public:
    ~Control() override;
    bool Subclass(HWND control);

protected:
    // Called once the control is attached, for style changes.
    virtual void OnAttached() {}

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

// A window class T whose messages go to its own table first (a static T::Messages(), defined
// in T's source file beside the handlers), then to Base.
template <class T, class Base>
class Dispatching : public Base {
public:
    using Base::Base;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        return DispatchTable(static_cast<T*>(this), T::Messages(), message, wParam, lParam, result) ||
               Base::OnMessage(message, wParam, lParam, result);
    }
};

// Offers a message to the pre-translation hooks of its target and the target's parents,
// then to IsDialogMessage of each enclosing dialog, innermost first; Tab skips child dialogs
// that are control parents, so that it moves through the whole window.
bool RouteMessage(MSG& msg);

// Data exchange between an edit box (or any control's text) and a wide string.
void ExchangeText(HWND dialog, int id, std::wstring& value, bool fromControl);

// Gives a button a caption shown as written: a button takes "&" for the mark of its shortcut
// key, so each one is doubled. (Static texts show "&" as written through SS_NOPREFIX.)
void SetButtonText(HWND button, const std::wstring& text);
std::wstring WindowText(HWND window);
