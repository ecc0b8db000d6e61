#include "download/CallbackGate.h"

#include "framework/Handles.h"

CallbackGate* CallbackGate::Open(void* owner) {
    auto* gate = new CallbackGate;
    ::InitializeCriticalSection(&gate->section_);
    gate->owner_ = owner;
    return gate;
}

void* CallbackGate::Enter() {
    SectionLock hold(section_);
    if (owner_) ++inside_;
    return owner_;
}

void CallbackGate::Leave() {
    SectionLock hold(section_);
    --inside_;
}

void CallbackGate::Detach() {
    {
        SectionLock hold(section_);
        owner_ = nullptr;
    }
    for (;;) {
        {
            SectionLock hold(section_);
            if (inside_ == 0) return;
        }
        ::Sleep(1);
    }
}
