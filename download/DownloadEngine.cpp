#include "download/DownloadEngine.h"

#include <cwchar>
#include <vector>

#include "config/Texts.h"
#include "download/Answer.h"

// The window's timer reads the counts while a WinINet thread writes them: on a 32-bit build
// a plain 64-bit read could tear, and a lock-based atomic would be a hidden lock.
static_assert(std::atomic<long long>::is_always_lock_free, "64-bit counts must be lock-free atomics");

namespace {

// More than this many redirects for one request is a failure, whether or not they go round.
const size_t kMaxRedirects = 10;

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name)
        if (c < 0x20 || c == 0x7F || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    return true;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsWebAddress(const std::wstring& url) {
    return _wcsnicmp(url.c_str(), L"http://", 7) == 0 || _wcsnicmp(url.c_str(), L"https://", 8) == 0;
}

DWORD QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return 0;
    return status;
}

// Whatever WinINet still reports for a handle whose context is zero never reaches us.
void ForgetContext(HINTERNET handle) {
    DWORD_PTR none = 0;
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONTEXT_VALUE, &none, sizeof none);
}

// A redirect's Location read against the address that gave it; empty when it makes no address.
std::wstring CombinedUrl(const std::wstring& base, const std::wstring& location) {
    if (location.empty()) return std::wstring();
    std::vector<wchar_t> buffer(base.size() + location.size() + INTERNET_MAX_URL_LENGTH);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &length, ICU_NO_ENCODE))
        return std::wstring();
    return std::wstring(buffer.data(), length);
}

}  // namespace

std::wstring FileNameFromUrl(const std::wstring& url) {
    // ICU_DECODE needs a buffer for every part; one as long as the URL holds any part.
    DWORD capacity = static_cast<DWORD>(url.size()) + 1;
    std::vector<wchar_t> buffers(6 * static_cast<size_t>(capacity));
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = &buffers[0];
    parts.dwSchemeLength = capacity;
    parts.lpszHostName = &buffers[capacity];
    parts.dwHostNameLength = capacity;
    parts.lpszUserName = &buffers[2 * capacity];
    parts.dwUserNameLength = capacity;
    parts.lpszPassword = &buffers[3 * capacity];
    parts.dwPasswordLength = capacity;
    parts.lpszUrlPath = &buffers[4 * capacity];
    parts.dwUrlPathLength = capacity;
    parts.lpszExtraInfo = &buffers[5 * capacity];
    parts.dwExtraInfoLength = capacity;
    if (url.empty() || !::InternetCrackUrlW(url.c_str(), 0, ICU_DECODE, &parts)) return std::wstring();
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos) return std::wstring();
    std::wstring name = path.substr(slash + 1);
    return IsPlainFileName(name) ? name : std::wstring();
}

DownloadEngine::DownloadEngine()
    : wake(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), gate(new CallbackGate{}) {
    ::InitializeCriticalSection(&lock);
    ::InitializeCriticalSection(&gate->section);
    gate->engine = this;
}

DownloadEngine::~DownloadEngine() {
    CancelDownload();
    // From here no callback enters; those already inside finish first (with the engine
    // cancelled they return at once, a pause before a retry included).
    ::EnterCriticalSection(&gate->section);
    gate->engine = nullptr;
    ::LeaveCriticalSection(&gate->section);
    for (;;) {
        ::EnterCriticalSection(&gate->section);
        int inside = gate->inside;
        ::LeaveCriticalSection(&gate->section);
        if (inside == 0) break;
        ::Sleep(1);
    }
    ::DeleteCriticalSection(&lock);
}

bool DownloadEngine::SetChecks(const std::wstring& sha256, const std::wstring& size, const std::wstring& signer) {
    Lock hold(lock);
    checkHash = !sha256.empty();
    bool hashValid = !checkHash || ParseSha256(sha256, expectedHash);
    expectedSize = size.empty() ? -1 : ParseByteCount(size);
    expectedSigner = signer;
    freshRetried = false;
    checksValid = hashValid && (size.empty() || expectedSize >= 0);
    return checksValid;
}

bool DownloadEngine::Start(const std::wstring& address, NotifyProc handler, const std::wstring& target, void* owner) {
    Lock hold(lock);
    if (!enabled) return false;
    FirstAddress(address);
    notify = handler;
    context = owner;
    folder = target;
    failure = DownloadError::None;
    fruitless = 0;
    file.Reset();
    heldFile.Reset();
    // The file is named by the first address whichever address it comes from: one file, one stamp.
    std::wstring name = FileNameFromUrl(url);
    bool separated = folder.empty() || folder.back() == L'\\' || folder.back() == L'/';
    localPath = folder + (separated ? L"" : L"\\") + name;
    if (name.empty() || !checksValid) {
        // No address can mend that.
        failure = DownloadError::Misconfigured;
        Finish(DownloadFailed);
        return false;
    }
    stamp = ReadStamp(folder);
    return BeginAttempt();
}

bool DownloadEngine::BeginAttempt() {
    probePhase = true;
    probeTotal = -1;
    probeVersion = FileVersion();
    rangeStart = 0;
    resumeVersion = FileVersion();
    // Only web addresses: anything else WinINet would open as another protocol, whose answer has
    // no status, which reads as a connection closed early and would be retried for ever.
    if (!IsWebAddress(url)) {
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
    requestUrl = url;
    redirectedFrom.clear();
    return IssueRequest();
}

bool DownloadEngine::BeginFileRequest(bool resume) {
    probePhase = false;
    long long partial = -1;
    if (!OpenPartialFile(partial)) return false;
    rangeStart = resume && partial > 0 && Resumable(partial) ? partial : 0;
    // The rest must be the version the bytes on disk are: the stamp's, or, for bytes from another
    // address, the version this server has just named (versions of two servers do not compare).
    resumeVersion = rangeStart == 0 ? FileVersion() : FromThisAddress() ? stamp.version : probeVersion;
    receivedBytes = rangeStart;
    requestUrl = url;
    redirectedFrom.clear();
    return IssueRequest();
}

bool DownloadEngine::IssueRequest() {
    // The probe asks for one byte: a whole-file GET would stream the file a second time
    // beside the real download, closing its handle does not stop that.
    std::wstring header = probePhase ? L"Range: bytes=0-0\r\n" : L"Range: bytes=" + DecimalText(rangeStart) + L"-\r\n";
    // The rest of the file only if it is still the version the partial file belongs to;
    // otherwise the server sends the whole (new) file.
    if (!probePhase && rangeStart > 0 && !resumeVersion.IfRange().empty())
        header += L"If-Range: " + resumeVersion.IfRange() + L"\r\n";
    // Only plain bytes can be the installer: no compressed body is asked for.
    header += L"Accept-Encoding: identity\r\n";
    waiting = Waiting::Open;
    // Redirects are followed here, counted: WinINet would follow one that points at itself forever.
    HINTERNET answered = ::InternetOpenUrlW(
        internet.Get(), requestUrl.c_str(), header.c_str(), static_cast<DWORD>(-1),
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

void DownloadEngine::FollowRedirect() {
    std::wstring next = CombinedUrl(requestUrl, QueryHeader(request.Get(), HTTP_QUERY_LOCATION));
    if (next.empty() || !IsWebAddress(next)) {
        Fail(DownloadError::ServerError);
        return;
    }
    redirectedFrom.push_back(requestUrl);
    bool loops = false;
    for (const std::wstring& earlier : redirectedFrom) loops = loops || _wcsicmp(earlier.c_str(), next.c_str()) == 0;
    if (loops || redirectedFrom.size() > kMaxRedirects) {
        Fail(DownloadError::TooManyRedirects);
        return;
    }
    CloseRequest();
    requestUrl = next;
    IssueRequest();
}

void CALLBACK DownloadEngine::StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                             DWORD infoLength) {
    auto* gate = reinterpret_cast<CallbackGate*>(context);
    if (!gate || !info) return;
    ::EnterCriticalSection(&gate->section);
    DownloadEngine* engine = gate->engine;
    if (engine) ++gate->inside;
    ::LeaveCriticalSection(&gate->section);
    if (!engine) return;
    if (status == INTERNET_STATUS_HANDLE_CREATED && infoLength >= sizeof(HINTERNET))
        engine->OnHandleCreated(*static_cast<HINTERNET*>(info));
    else if (status == INTERNET_STATUS_REQUEST_COMPLETE && infoLength >= sizeof(INTERNET_ASYNC_RESULT))
        engine->OnStatus(handle, *static_cast<const INTERNET_ASYNC_RESULT*>(info));
    ::EnterCriticalSection(&gate->section);
    --gate->inside;
    ::LeaveCriticalSection(&gate->section);
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
    DWORD status = QueryStatus(request.Get());
    if (status == 0) {
        // No status line at all: the connection closed before any answer (Wine completes such
        // a request instead of failing it with ERROR_HTTP_INVALID_SERVER_RESPONSE).
        Interrupted();
        return false;
    }
    if (IsRedirect(status)) {
        FollowRedirect();
        return false;
    }
    if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
        OnProxyRefused();
        return true;
    }
    if (!probePhase) return OnFileAnswered(status);
    OnProbeAnswered(status);
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
        file.Reset();
        CloseRequest();
        // The root handle stays for the next attempt: it holds what a proxy was told, which the
        // user would otherwise be asked for again after every reset. CancelDownload closes it.
    }
    --closers;
}

void DownloadEngine::CloseRequest() {
    if (!request) return;
    ForgetContext(request.Get());
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
        heldFile.Reset();
    }
    --closers;
}

std::wstring DownloadEngine::FilePath() {
    Lock hold(lock);
    return localPath;
}

HANDLE DownloadEngine::HeldFile() {
    Lock hold(lock);
    return heldFile ? heldFile.Get() : nullptr;
}

void DownloadEngine::ReleaseFile() {
    Lock hold(lock);
    heldFile.Reset();
}

bool DownloadEngine::DiscardFile() {
    Lock hold(lock);
    heldFile.Reset();
    file.Reset();
    stamp = Stamp();
    bool fileGone = ops->Delete(localPath);
    return ops->Delete(StampPath(folder)) && fileGone;
}
