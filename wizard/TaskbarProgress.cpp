#include "wizard/TaskbarProgress.h"

namespace {

// CLSID_TaskbarList, named here so that no library of interface ids is linked.
const CLSID kTaskbarList = {0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};

TBPFLAG FlagOf(TaskbarProgress::State state) {
    switch (state) {
    case TaskbarProgress::State::Indeterminate:
        return TBPF_INDETERMINATE;
    case TaskbarProgress::State::Normal:
        return TBPF_NORMAL;
    case TaskbarProgress::State::Paused:
        return TBPF_PAUSED;
    case TaskbarProgress::State::Error:
        return TBPF_ERROR;
    default:
        return TBPF_NOPROGRESS;
    }
}

}  // namespace

UINT TaskbarProgress::ButtonCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void TaskbarProgress::AllowButtonCreatedMessage(HWND window) {
    // ChangeWindowMessageFilterEx exists from Windows 7 on, where the message does.
    using Proc = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    static const auto allow = reinterpret_cast<Proc>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx")));
    const DWORD kAllow = 1;  // MSGFLT_ALLOW
    if (allow && ButtonCreatedMessage()) allow(window, ButtonCreatedMessage(), kAllow, nullptr);
}

void TaskbarProgress::Attach(HWND window) {
    window_ = window;
    taskbar_.Reset();
    ComPtr<ITaskbarList3> taskbar;
    // Where the object lacks the Windows 7 interface (Vista), nothing is shown.
    if (FAILED(::CoCreateInstance(kTaskbarList, nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskbarList3),
                                  taskbar.PutVoid())))
        return;
    if (FAILED(taskbar->HrInit())) return;
    taskbar_ = taskbar;
    Push();
}

void TaskbarProgress::Show(State state, unsigned long long done, unsigned long long total) {
    if (state == state_ && done == done_ && total == total_) return;
    state_ = state;
    done_ = done;
    total_ = total;
    Push();
}

void TaskbarProgress::Push() {
    if (!taskbar_ || !window_) return;
    // The value first: the state change then shows the bar at its place at once.
    if ((state_ == State::Normal || state_ == State::Paused || state_ == State::Error) && total_ > 0)
        taskbar_->SetProgressValue(window_, done_, total_);
    taskbar_->SetProgressState(window_, FlagOf(state_));
}
