#pragma once
// The download's progress on the window's taskbar button (Windows 7 and later).
//
// The taskbar's interface exists from Windows 7 on; it is asked for only once the shell has made
// the window's button (its registered "TaskbarButtonCreated" message), so that older Windows,
// which never send that message and lack the interface, see nothing of it.

#include <windows.h>
#include <shobjidl.h>

#include "framework/Handles.h"

class TaskbarProgress {
public:
    enum class State { None, Indeterminate, Normal, Paused, Error };

    // The shell's message for a new taskbar button; 0 where it cannot be registered.
    static UINT ButtonCreatedMessage();
    // Lets that message through to a window of a program the user started with higher
    // rights than the shell's (Windows 7 and later filter it otherwise).
    static void AllowButtonCreatedMessage(HWND window);

    // Called on ButtonCreatedMessage: asks for the taskbar's interface (again, after the shell
    // restarted) and shows the state set so far.
    void Attach(HWND window);
    bool Attached() const { return static_cast<bool>(taskbar_); }

    // The state to show and, for Normal, Paused and Error, how far the download is.
    void Show(State state, unsigned long long done = 0, unsigned long long total = 0);

private:
    void Push();

    HWND window_ = nullptr;
    ComPtr<ITaskbarList3> taskbar_;
    State state_ = State::None;
    unsigned long long done_ = 0, total_ = 0;
};
