#pragma once
// Our own taskbar object (tests/wizard/taskbar) registered in the test prefix in place of the
// system's for the life of the object, with a log of its calls in a folder of the test's own.
// The registry comes back as it was on destruction.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

class TaskbarStandIn {
public:
    // likeVista: the object lacks the Windows 7 interface, as Vista's does.
    explicit TaskbarStandIn(bool likeVista = false);
    ~TaskbarStandIn();
    TaskbarStandIn(const TaskbarStandIn&) = delete;
    TaskbarStandIn& operator=(const TaskbarStandIn&) = delete;

    bool Registered() const { return registered_; }
    // Every call so far, one line each ("HrInit", "SetProgressState <window> <flags>", ...).
    std::vector<std::string> Calls() const;
    // Only the progress calls, without the window: "state 2", "value 30 100".
    std::vector<std::string> Progress() const;

    // What the shell sends a window once it has made its taskbar button (Windows 7 and later).
    static void ButtonCreated(HWND window);

private:
    TempDir dir_;
    std::wstring log_;
    bool registered_ = false;
    std::unique_ptr<RegistryOverride> server_, threading_;
    EnvironmentOverride logVariable_;
    EnvironmentOverride vistaVariable_;
};
