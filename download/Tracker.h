#pragma once
// Usage tracking: the program asks for each tracking address itself, in the background, with
// Windows' own HTTP client and the user's Internet settings (proxy, cookies). Nothing is shown,
// nothing is started, and nothing waits for an answer: a request that fails is simply lost.

#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "download/CallbackGate.h"
#include "framework/Handles.h"

// The User-Agent of every tracking request, so that a distributor's statistics can tell them
// from browsers (and the checker asks the tracking address with it too).
extern const wchar_t kTrackingAgent[];

class Tracker {
public:
    // How long the destructor lets requests still running finish.
    static constexpr DWORD kClosingWaitMs = 2000;

    Tracker();
    // Waits up to kClosingWaitMs for the requests still running, then abandons them: whatever
    // WinINet still reports for them afterwards reaches nothing of this object.
    ~Tracker();
    Tracker(const Tracker&) = delete;
    Tracker& operator=(const Tracker&) = delete;

    // Sends a GET for the address and returns at once; the answer is read by nobody. Only http
    // and https addresses are asked for. False when the request could not even be made.
    bool Request(const std::wstring& url);
    // Requests made and not yet answered or failed.
    int Pending() const;

private:
    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);
    void OnHandleCreated(HINTERNET handle);
    void OnRequestComplete(HINTERNET handle, const INTERNET_ASYNC_RESULT& result);
    // Takes the request out of the open ones; true when it was one of them.
    bool Forget(HINTERNET request);
    void Done();

    mutable CRITICAL_SECTION lock_;
    InternetHandle session_;
    std::vector<HINTERNET> requests_;  // request handles made and not yet closed
    int pending_ = 0;
    KernelHandle idle_;  // set while nothing is pending
    // What WinINet's callbacks reach instead of the tracker: they may come for an abandoned
    // request at any later moment.
    CallbackGate* gate_;
};
