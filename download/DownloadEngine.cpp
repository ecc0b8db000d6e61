#include "download/DownloadEngine.h"

#include <vector>

// The window's timer reads the counts while a WinINet thread writes them: on a 32-bit build
// a plain 64-bit read could tear, and a lock-based atomic would be a hidden lock.
static_assert(std::atomic<long long>::is_always_lock_free, "64-bit counts must be lock-free atomics");

DownloadEngine::DownloadEngine()
    : wake(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      gate(CallbackGate::Open(this)),
      receiver(totalBytes, receivedBytes, progressValid, Started, this) {
    ::InitializeCriticalSection(&lock);
}

DownloadEngine::~DownloadEngine() {
    CancelDownload();
    // From here no callback enters; those already inside finish first (with the engine
    // cancelled they return at once, a pause before a retry included).
    gate->Detach();
    ::DeleteCriticalSection(&lock);
}

bool DownloadEngine::SetChecks(const std::wstring& sha256, const std::wstring& size, const std::wstring& signer) {
    Lock hold(lock);
    freshRetried = false;
    return receiver.Checks().Set(sha256, size, signer);
}

void DownloadEngine::SetMirrors(std::vector<std::wstring> urls) {
    Lock hold(lock);
    addresses.SetMirrors(std::move(urls));
}

bool DownloadEngine::Start(const std::wstring& address, NotifyProc handler, const std::wstring& target, void* owner) {
    Lock hold(lock);
    if (!enabled) return false;
    addresses.Reset(address);
    notify = handler;
    context = owner;
    failure = DownloadError::None;
    fruitless = unreached = 0;
    // The file is named by the first address whichever address it comes from: one file, one stamp.
    std::wstring name = FileNameFromUrl(address);
    bool separated = target.empty() || target.back() == L'\\' || target.back() == L'/';
    PartialFile& part = receiver.Partial();
    part.Reset(target, target + (separated ? L"" : L"\\") + name);
    if (name.empty() || !receiver.Checks().Valid()) {
        // No address can mend that.
        failure = DownloadError::Misconfigured;
        Finish(DownloadFailed);
        return false;
    }
    part.ReadStamp();
    return BeginAttempt();
}

bool DownloadEngine::BeginAttempt() {
    probePhase = true;
    receiver.NewAttempt();
    // Only web addresses: anything else WinINet would open as another protocol, whose answer has
    // no status, which reads as a connection closed early and would be retried for ever.
    if (!IsHttpAddress(addresses.Url())) {
        Fail(DownloadError::Misconfigured);
        return false;
    }
    if (!internet) {
        internet.Reset(::InternetOpenW(L"MyAgent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
        if (!internet) {
            failure = DownloadError::Connection;
            if (notify) notify(DownloadOpenFailed, context);
            return false;
        }
    }
    ::InternetSetStatusCallbackW(internet.Get(), StatusCallback);
    addresses.NewRequest();
    return IssueRequest();
}

bool DownloadEngine::BeginFileRequest(bool resume) {
    probePhase = false;
    bool fromThisAddress = receiver.Partial().CameFrom(addresses.Url(), addresses.IsFirst());
    if (!receiver.AskFile(resume, fromThisAddress, addresses.Url())) {
        Fail(DownloadError::FileInUse);
        return false;
    }
    addresses.NewRequest();
    return IssueRequest();
}

bool DownloadEngine::IssueRequest() {
    std::wstring header = receiver.Headers(probePhase);
    waiting = Waiting::Open;
    // Redirects are followed here, counted: WinINet would follow one that points at itself forever.
    HINTERNET answered = ::InternetOpenUrlW(
        internet.Get(), addresses.RequestUrl().c_str(), header.c_str(), static_cast<DWORD>(-1),
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT,
        reinterpret_cast<DWORD_PTR>(gate));
    if (answered) {
        // Answered at once: no completion follows.
        if (request.Get() != answered) request.Reset(answered);
        if (OnOpened() || interrupted) ReadLoop();
        return true;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        Fail(ErrorOfWinInet(error));
        return false;
    }
    return true;
}

void DownloadEngine::FollowRedirect(const HttpAnswer& answer) {
    DownloadError error = addresses.Redirect(answer.location);
    if (error != DownloadError::None) {
        Fail(error);
        return;
    }
    CloseRequest();
    IssueRequest();
}

void CALLBACK DownloadEngine::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                             DWORD infoLength) {
    auto* gate = reinterpret_cast<CallbackGate*>(context);
    if (!gate || !info) return;
    auto* engine = static_cast<DownloadEngine*>(gate->Enter());
    if (!engine) return;
    if (status == INTERNET_STATUS_HANDLE_CREATED && infoLength >= sizeof(HINTERNET))
        engine->OnHandleCreated(*static_cast<HINTERNET*>(info));
    else if (status == INTERNET_STATUS_REQUEST_COMPLETE && infoLength >= sizeof(INTERNET_ASYNC_RESULT))
        engine->OnStatus(handle, *static_cast<const INTERNET_ASYNC_RESULT*>(info));
    gate->Leave();
}

void DownloadEngine::OnHandleCreated(HINTERNET handle) {
    // Knowing the request before its open completes lets Close abort a slow connect, and
    // lets OnStatus tell this request's completions from those of handles closed earlier.
    Lock hold(lock);
    // Set before the request is sent, so that it reaches the connection's socket.
    if (handle)
        ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs, sizeof receiveTimeoutMs);
    if (waiting != Waiting::Open || request || !handle) return;
    DWORD type = 0;
    DWORD size = sizeof type;
    if (::InternetQueryOptionW(handle, INTERNET_OPTION_HANDLE_TYPE, &type, &size) &&
        type == INTERNET_HANDLE_TYPE_HTTP_REQUEST)
        request.Reset(handle);
}

void DownloadEngine::OnStatus(HINTERNET handle, const INTERNET_ASYNC_RESULT& result) {
    enum class Next { Stop, Read, Retry } next = Next::Stop;
    {
        Lock hold(lock);
        if (!enabled || waiting == Waiting::Nothing) return;
        // Only the handle being waited for counts: a closed probe or an older attempt can
        // still report here, with "operation cancelled" among other things.
        if (request && handle != request.Get() &&
            !(waiting == Waiting::Open && result.dwResult == reinterpret_cast<DWORD_PTR>(request.Get())))
            return;
        // A failed wait for data has dwResult 0 and the error in dwError.
        DWORD error = waiting == Waiting::Data && result.dwResult ? ERROR_SUCCESS : result.dwError;
        if (error != ERROR_SUCCESS) {
            if (IsTransientError(error)) {
                if (IsUnreachable(error)) ++unreached;
                CloseRequest();
                waiting = Waiting::Nothing;
                next = Next::Retry;
            } else {
                Fail(ErrorOfWinInet(error));
            }
        } else if (waiting == Waiting::Open) {
            if (!request) request.Reset(reinterpret_cast<HINTERNET>(result.dwResult));
            if (OnOpened()) next = Next::Read;
        } else {
            next = Next::Read;  // data or the end of the body has arrived
        }
        if (interrupted && next == Next::Stop) {
            interrupted = false;
            next = Next::Retry;
        }
    }
    // Both run without the lock held here, so that a cancel from the window's thread gets in.
    if (next == Next::Read) ReadLoop();
    if (next == Next::Retry) Retry();
}

bool DownloadEngine::OnOpened() {
    if (!request) {
        Fail(DownloadError::Connection);
        return false;
    }
    HttpAnswer answer = ReadAnswer(request.Get());
    if (answer.status != 0) unreached = 0;
    if (answer.status == 0) {
        // No status line at all: the connection closed before any answer (Wine completes such
        // a request instead of failing it with ERROR_HTTP_INVALID_SERVER_RESPONSE).
        Interrupted();
        return false;
    }
    if (IsRedirect(answer.status)) {
        FollowRedirect(answer);
        return false;
    }
    if (answer.status == HTTP_STATUS_PROXY_AUTH_REQ) {
        OnProxyRefused();
        return true;
    }
    if (!probePhase) return OnFileAnswered(answer);
    DownloadError refused = receiver.Probed(answer);
    if (refused != DownloadError::None) {
        Fail(refused);
        return false;
    }
    // The probe's body is never read.
    CloseRequest();
    BeginFileRequest(true);
    return false;
}

void DownloadEngine::ReadLoop() {
    for (;;) {
        // Step aside for a Close from another thread; it ends the download anyway.
        if (closers > 0) return;
        Lock hold(lock);
        if (interrupted) break;
        if (waiting != Waiting::Data || !request) return;
        transfer.lpvBuffer = readBuffer.get();
        transfer.dwBufferLength = kReadBufferSize;
        // IRF_NO_WAIT takes what has arrived. When nothing has, the read completes once data
        // (or the end of the body) is there, without taking it: the next read does. A read
        // without it waits to fill the whole buffer, which holds back progress on a slow link
        // and loses what had arrived when the download is cancelled.
        if (!::InternetReadFileExA(request.Get(), &transfer, IRF_ASYNC | IRF_NO_WAIT,
                                   reinterpret_cast<DWORD_PTR>(gate))) {
            DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) return;  // the completion brings OnStatus back here
            if (!IsTransientError(error)) {
                Fail(ErrorOfWinInet(error));
                return;
            }
            CloseRequest();
            waiting = Waiting::Nothing;
            break;
        }
        if (!TakeChunk(readBuffer.get(), transfer.dwBufferLength) && !interrupted) return;
    }
    // A network error, or a body that ended short of the file: resumed after a pause, taken
    // without the lock so that a cancel gets in.
    {
        Lock hold(lock);
        interrupted = false;
    }
    Retry();
}

void DownloadEngine::Interrupted() {
    CloseRequest();
    waiting = Waiting::Nothing;
    interrupted = true;  // retried once the lock is let go
}

void DownloadEngine::Started(void* engine) {
    auto* self = static_cast<DownloadEngine*>(engine);
    if (self->notify) self->notify(DownloadStarted, self->context);
}

void DownloadEngine::Fail(DownloadError error) {
    if (!enabled) return;
    // Another address of the same file may do better than one that fails for good.
    if (FailsTheAddress(error) && NextAddress()) return;
    failure = error;
    Finish(DownloadFailed);
}

void DownloadEngine::Finish(unsigned long code) {
    if (!enabled) return;
    Close();
    if (notify) notify(code, context);
}

void DownloadEngine::Retry() {
    int attempt;
    {
        Lock hold(lock);
        if (!enabled) return;
        // A server nobody reaches, again and again: the next address may be up. Not while bytes on
        // disk could be continued only from here, as a user's own network down looks the same.
        if (unreached >= kUnreachableAttempts && FreeToMoveOn() && NextAddress()) return;
        receivedBytes = 0;
        totalBytes = 0;
        // Said before the pause, which can be long: the owner shows that it is reconnecting.
        Finish(DownloadRetrying);
        attempt = ++fruitless;
    }
    ::WaitForSingleObject(wake.Get(), RetryDelayMs(attempt));
    Lock hold(lock);
    if (enabled) BeginAttempt();
}

void DownloadEngine::Close() {
    ++closers;
    {
        Lock hold(lock);
        waiting = Waiting::Nothing;
        draining = false;
        receiver.Partial().CloseWriter();
        CloseRequest();
        // The root handle stays for the next attempt: it holds what a proxy was told, which the
        // user would otherwise be asked for again after every reset. CancelDownload closes it.
    }
    --closers;
}

void DownloadEngine::CloseRequest() {
    if (!request) return;
    // Whatever WinINet still reports for a handle whose context is zero never reaches us.
    DWORD_PTR none = 0;
    ::InternetSetOptionW(request.Get(), INTERNET_OPTION_CONTEXT_VALUE, &none, sizeof none);
    request.Reset();
}

void DownloadEngine::CancelDownload() {
    // Before the lock: a retry's pause may hold it, and ends now.
    enabled = false;
    ::SetEvent(wake.Get());
    ++closers;
    {
        Lock hold(lock);
        Close();
        internet.Reset();
        receiver.Partial().Release();
    }
    --closers;
}

std::wstring DownloadEngine::FilePath() {
    Lock hold(lock);
    return receiver.Partial().FilePath();
}

HANDLE DownloadEngine::HeldFile() {
    Lock hold(lock);
    return receiver.Partial().Held();
}

void DownloadEngine::ReleaseFile() {
    Lock hold(lock);
    receiver.Partial().Release();
}

bool DownloadEngine::DiscardFile() {
    Lock hold(lock);
    return receiver.Partial().Discard();
}

bool DownloadEngine::OnFileAnswered(const HttpAnswer& answer) {
    // A server that goes silent in the middle of the body is a network error, retried.
    if (answer.status == 200 || answer.status == 206)
        ::InternetSetOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs,
                             sizeof receiveTimeoutMs);
    Receiver::Step next = receiver.Answered(answer);
    if (next != Receiver::Step::Read) return Act(next);
    waiting = Waiting::Data;
    transfer = {};
    transfer.dwStructSize = sizeof transfer;
    if (receiver.EmptyBody()) return Act(receiver.Take(nullptr, 0));  // an empty body: nothing to read
    return true;
}

bool DownloadEngine::TakeChunk(const char* bytes, DWORD length) {
    if (draining) return Drain(length);
    Receiver::Step next = receiver.Take(bytes, length);
    if (receiver.Kept()) fruitless = 0;
    return Act(next);
}

bool DownloadEngine::Act(Receiver::Step next) {
    switch (next) {
        case Receiver::Step::Read:
            return true;
        case Receiver::Step::Fail:
            Fail(receiver.Error());
            break;
        case Receiver::Step::Refetch:
            CloseRequest();
            BeginFileRequest(false);
            break;
        case Receiver::Step::Short:
            Interrupted();
            break;
        case Receiver::Step::Whole:
            CloseRequest();
            waiting = Waiting::Nothing;
            return Act(receiver.CheckWhole());
        case Receiver::Step::Done:
            Finish(DownloadComplete);
            break;
        case Receiver::Step::Mismatch:
            Mismatch();
            break;
    }
    return false;
}

void DownloadEngine::Mismatch() {
    // Not the distributor's file: nothing of it may stay, nor a stamp to resume onto.
    Close();
    if (!receiver.Discard()) {
        Fail(DownloadError::FileInUse);  // never a fresh download onto the old bytes
        return;
    }
    if (freshRetried) {
        // A fresh copy failed too: this address serves another file.
        if (NextAddress()) return;
        Finish(DownloadCorrupt);
        return;
    }
    freshRetried = true;
    BeginAttempt();
}

bool DownloadEngine::NextAddress() {
    // Once an address fails for good (FailsTheAddress, or the checks failing on a fresh copy), or
    // its server cannot be reached.
    if (!addresses.NextMirror()) return false;
    CloseRequest();
    receiver.Partial().CloseWriter();
    receiver.Abandon();
    waiting = Waiting::Nothing;
    draining = interrupted = false;
    // A new server: its attempts back off from the start.
    fruitless = unreached = 0;
    BeginAttempt();
    return true;
}

// A proxy that asks for credentials (407). The user is asked with the system's own dialog, which
// must run on the owner's window thread, never on one of WinINet's: the engine reads the refusal
// to its end, hands the request to the owner (DownloadProxyCredentials) and waits; the owner
// shows InternetErrorDlg on that request, which keeps what the user types, and answers. The
// program itself never sees or stores the credentials.

void DownloadEngine::OnProxyRefused() {
    // A request is sent again only once its answer has been read.
    waiting = Waiting::Data;
    draining = true;
    drained = 0;
    transfer = {};
    transfer.dwStructSize = sizeof transfer;
}

bool DownloadEngine::Drain(DWORD length) {
    // A refusal is a short page; one that does not end is no proxy to talk to.
    const long long kMostDrained = 1 << 20;
    drained += length;
    if (drained >= kMostDrained) {
        Fail(DownloadError::Connection);
        return false;
    }
    if (length > 0) return true;
    draining = false;
    waiting = Waiting::Credentials;
    if (notify) notify(DownloadProxyCredentials, context);
    return false;
}

HINTERNET DownloadEngine::ProxyChallenge() {
    Lock hold(lock);
    return enabled && waiting == Waiting::Credentials ? request.Get() : nullptr;
}

void DownloadEngine::AnswerProxy(bool retry) {
    bool read = false;
    {
        Lock hold(lock);
        if (!enabled || waiting != Waiting::Credentials || !request) return;
        if (!retry) {
            Fail(DownloadError::ProxyCredentials);
            return;
        }
        // The same request again, with what the dialog put into it; WinINet keeps it for the
        // requests that follow. A proxy that refuses it again asks again.
        waiting = Waiting::Open;
        if (::HttpSendRequestW(request.Get(), nullptr, 0, nullptr, 0)) {
            read = OnOpened() || interrupted;  // answered at once: no completion follows
        } else {
            DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) return;  // OnStatus takes the answer
            if (!IsTransientError(error)) {
                Fail(ErrorOfWinInet(error));
                return;
            }
            Interrupted();
            read = true;
        }
    }
    // Without the lock, as from OnStatus: a cancel from the window's thread gets in.
    if (read) ReadLoop();
}
