#pragma once
// What WinINet's callbacks reach instead of their owner itself. It outlives the owner: WinINet
// may call back after every handle is closed (a request still opening, a handle whose last
// reference goes away on another thread), and no moment tells that the last call has come. The
// owner's destructor detaches it and waits for callbacks inside; later ones find no owner. A few
// bytes per owner, never freed.

#include <windows.h>

class CallbackGate {
public:
    // A gate open to `owner`. Never freed (see above).
    static CallbackGate* Open(void* owner);
    // The owner, with this callback counted as inside it until Leave; null once detached (and
    // then no Leave).
    void* Enter();
    void Leave();
    // From here no callback enters; returns once those already inside have left.
    void Detach();

private:
    CallbackGate() = default;
    CRITICAL_SECTION section_;
    void* owner_ = nullptr;
    int inside_ = 0;  // callbacks running in the owner
};
