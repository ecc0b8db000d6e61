#include "download/Tracker.h"

#include <algorithm>

#include "download/Answer.h"

const wchar_t kTrackingAgent[] = L"Wendrake/1.0 (tracking)";

namespace {

// Whatever WinINet still reports for a handle whose context is zero never reaches us.
void ForgetContext(HINTERNET handle) {
    DWORD_PTR none = 0;
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONTEXT_VALUE, &none, sizeof none);
}

void Close(HINTERNET request) {
    ForgetContext(request);
    ::InternetCloseHandle(request);
}

}  // namespace

Tracker::Tracker() : idle_(::CreateEventW(nullptr, TRUE, TRUE, nullptr)), gate_(CallbackGate::Open(this)) {
    ::InitializeCriticalSection(&lock_);
}

Tracker::~Tracker() {
    if (idle_) ::WaitForSingleObject(idle_.Get(), kClosingWaitMs);
    // From here no callback enters; those already inside finish first. None of them waits for
    // anything but a handle's close, so this takes no time.
    gate_->Detach();
    // Abandoned: closing a request that is still connecting or waiting cancels it.
    for (HINTERNET request : requests_) Close(request);
    requests_.clear();
    session_.Reset();
    ::DeleteCriticalSection(&lock_);
}

bool Tracker::Request(const std::wstring& url) {
    // Anything else (a file, a program, another scheme) is no tracking address.
    if (!IsHttpAddress(url)) return false;
    if (!session_) {
        // The user's own proxy settings; WinINet's cookie store comes with the session.
        session_.Reset(::InternetOpenW(kTrackingAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr,
                                       INTERNET_FLAG_ASYNC));
        if (!session_) return false;
        ::InternetSetStatusCallbackW(session_.Get(), StatusCallback);
    }
    {
        // Counted before the call: its completion may come on another thread before it returns.
        SectionLock hold(lock_);
        if (pending_++ == 0) ::ResetEvent(idle_.Get());
    }
    // The request must reach the server itself, never a cache; and nothing may ask the user
    // anything (a login, a cookie prompt).
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_UI;
    HINTERNET answered = ::InternetOpenUrlW(session_.Get(), url.c_str(), nullptr, 0, flags,
                                            reinterpret_cast<DWORD_PTR>(gate_));
    if (answered) {
        // Answered at once: no completion follows.
        Forget(answered);
        Close(answered);
        Done();
        return true;
    }
    if (::GetLastError() == ERROR_IO_PENDING) return true;
    Done();
    return false;
}

int Tracker::Pending() const {
    SectionLock hold(lock_);
    return pending_;
}

void CALLBACK Tracker::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                      DWORD infoLength) {
    auto* gate = reinterpret_cast<CallbackGate*>(context);
    if (!gate || !info) return;
    auto* tracker = static_cast<Tracker*>(gate->Enter());
    if (!tracker) return;
    if (status == INTERNET_STATUS_HANDLE_CREATED && infoLength >= sizeof(HINTERNET))
        tracker->OnHandleCreated(*static_cast<HINTERNET*>(info));
    else if (status == INTERNET_STATUS_REQUEST_COMPLETE && infoLength >= sizeof(INTERNET_ASYNC_RESULT))
        tracker->OnRequestComplete(handle, *static_cast<const INTERNET_ASYNC_RESULT*>(info));
    gate->Leave();
}

void Tracker::OnHandleCreated(HINTERNET handle) {
    // Only the request handle is ours to close; the connection made for it goes with it.
    DWORD type = 0;
    DWORD size = sizeof type;
    if (!handle || !::InternetQueryOptionW(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size) ||
        (type != INTERNET_HANDLE_TYPE_HTTP_REQUEST))
        return;
    SectionLock hold(lock_);
    requests_.push_back(handle);
}

void Tracker::OnRequestComplete(HINTERNET handle, const INTERNET_ASYNC_RESULT& result) {
    // Answered or failed, the request is over: the answer itself is of no interest. A success
    // hands us the request in dwResult; a failure names it only as the handle reported on.
    if (result.dwResult) {
        HINTERNET request = reinterpret_cast<HINTERNET>(result.dwResult);
        Forget(request);
        Close(request);
    } else if (Forget(handle)) {
        Close(handle);
    }
    Done();
}

bool Tracker::Forget(HINTERNET request) {
    SectionLock hold(lock_);
    auto found = std::find(requests_.begin(), requests_.end(), request);
    if (found == requests_.end()) return false;
    requests_.erase(found);
    return true;
}

void Tracker::Done() {
    SectionLock hold(lock_);
    if (pending_ > 0 && --pending_ == 0) ::SetEvent(idle_.Get());
}
