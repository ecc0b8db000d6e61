#pragma once
// One wizard per product at a time. Window titles alone cannot decide it: two copies started
// together both look before either has a window. A named mutex per product decides before any
// window; the copy that holds it runs the wizard and leaves its process id where the copies it
// refuses can read it, so that they can bring its window to the front.

#include <windows.h>

#include <string>

#include "framework/Handles.h"

// The session-local name of the product's lock: the same for every copy of one product (letter
// case ignored, as Windows ignores it in the product's uninstall entry), different for
// different products, and a valid object name whatever the product's name holds.
std::wstring WizardLockName(const std::wstring& product);

class WizardLock {
public:
    WizardLock() = default;
    ~WizardLock();
    WizardLock(const WizardLock&) = delete;
    WizardLock& operator=(const WizardLock&) = delete;

    // True when this copy is to run the wizard: it now holds the product's lock, until the
    // object goes. False when another copy holds it. Where no lock can be made at all (the
    // name taken by another kind of object), true: the title checks still stand.
    bool Acquire(const std::wstring& product);
    // For a copy that Acquire refused: brings the holder's wizard to the front, waiting for a
    // limited time while the holder has not yet shown it, and not at all once the holder ends.
    void BringHolderToFront();

private:
    KernelHandle mutex_;
    KernelHandle holderBlock_;  // the holder's process id, kept for as long as it holds the lock
    std::wstring name_;
    bool held_ = false;
};

// Restores the window if it is minimized and makes it the foreground window.
void BringToFront(HWND window);
