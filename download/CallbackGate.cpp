#include "download/CallbackGate.h"

CallbackGate* CallbackGate::Open(void* owner) {
    auto* gate = new CallbackGate;
    ::InitializeCriticalSection(&gate->section_);
    gate->owner_ = owner;
    return gate;
}

void* CallbackGate::Enter() {
    ::EnterCriticalSection(&section_);
    void* owner = owner_;
    if (owner) ++inside_;
    ::LeaveCriticalSection(&section_);
    return owner;
}

void CallbackGate::Leave() {
    ::EnterCriticalSection(&section_);
    --inside_;
    ::LeaveCriticalSection(&section_);
}

void CallbackGate::Detach() {
    ::EnterCriticalSection(&section_);
    owner_ = nullptr;
    ::LeaveCriticalSection(&section_);
    for (;;) {
        ::EnterCriticalSection(&section_);
        int inside = inside_;
        ::LeaveCriticalSection(&section_);
        if (inside == 0) break;
        ::Sleep(1);
    }
}
