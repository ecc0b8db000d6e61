#include "download/DownloadEngine.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "config/Texts.h"

// The window's timer reads the counts while a WinINet thread writes them: on a 32-bit build
// a plain 64-bit read could tear, and a lock-based atomic would be a hidden lock.
static_assert(std::atomic<long long>::is_always_lock_free, "64-bit counts must be lock-free atomics");

namespace {

const wchar_t kStampFileName[] = L"LastDownloadDate.txt";

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name)
        if (c < 0x20 || c == 0x7F || std::wcschr(L"\\/:*?\"<>|", c)) return false;
    return true;
}

// The decimal number at the start of the text (after blanks); -1 when there is none.
long long ParseCount(const wchar_t* text, const wchar_t** end = nullptr) {
    while (*text == L' ') ++text;
    long long value = -1;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (value > (LLONG_MAX - 9) / 10) return -1;
        value = (value < 0 ? 0 : value * 10) + (*text - L'0');
    }
    if (end) *end = text;
    return value;
}

// "bytes <first>-<last>/<total>", or "bytes */<total>" on a 416; -1 for what is missing.
struct ContentRange {
    long long first = -1;
    long long total = -1;
};

ContentRange ParseContentRange(const std::wstring& text) {
    ContentRange range;
    if (_wcsnicmp(text.c_str(), L"bytes", 5) != 0) return range;
    const wchar_t* rest = text.c_str() + 5;
    range.first = ParseCount(rest, &rest);
    if (const wchar_t* slash = std::wcschr(rest, L'/')) range.total = ParseCount(slash + 1);
    return range;
}

DWORD QueryStatus(HINTERNET request) {
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return 0;
    return status;
}

// A response header's text; empty when the response has none.
std::wstring QueryHeader(HINTERNET request, DWORD query) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof text[0];
    if (!::HttpQueryInfoW(request, query, text, &size, nullptr)) return std::wstring();
    return text;
}

long long QueryCount(HINTERNET request, DWORD query) { return ParseCount(QueryHeader(request, query).c_str()); }

bool IsNetworkError(DWORD error) {
    // A timeout is a network error too: a silent server may answer the next attempt. Wine
    // reports a read that timed out with the socket's own code (WSAETIMEDOUT, 10060).
    return error == ERROR_INTERNET_NAME_NOT_RESOLVED || error == ERROR_INTERNET_CANNOT_CONNECT ||
           error == ERROR_INTERNET_CONNECTION_ABORTED || error == ERROR_INTERNET_CONNECTION_RESET ||
           error == ERROR_INTERNET_TIMEOUT || error == 10060;
}

// Whatever WinINet still reports for a handle whose context is zero never reaches us.
void ForgetContext(HINTERNET handle) {
    DWORD_PTR none = 0;
    ::InternetSetOptionW(handle, INTERNET_OPTION_CONTEXT_VALUE, &none, sizeof none);
}

}  // namespace

std::wstring TempFolder() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return std::wstring();
    return std::wstring(path, length);
}

std::wstring ReadStampFile() {
    FileHandle stampFile(::CreateFileW((TempFolder() + kStampFileName).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char bytes[2047];
    DWORD length = 0;
    if (!stampFile || !::ReadFile(stampFile.Get(), bytes, sizeof bytes, &length, nullptr)) return std::wstring();
    std::wstring stamp;
    for (DWORD i = 0; i < length && bytes[i] != '\r' && bytes[i] != '\n' && bytes[i] != '\0'; ++i)
        stamp += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    return stamp;
}

bool WriteStampFile(const std::wstring& stamp) {
    std::vector<char> bytes;
    for (wchar_t c : stamp) bytes.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    FileHandle stampFile(::CreateFileW((TempFolder() + kStampFileName).c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return stampFile &&
           ::WriteFile(stampFile.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void DeleteStampFile() { ::DeleteFileW((TempFolder() + kStampFileName).c_str()); }

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

DownloadEngine::DownloadEngine() : gate(new CallbackGate{}) {
    ::InitializeCriticalSection(&lock);
    ::InitializeCriticalSection(&gate->section);
    gate->engine = this;
}

DownloadEngine::~DownloadEngine() {
    CancelDownload();
    // From here no callback enters; those already inside finish first (with the engine
    // cancelled they return at once, a retry's pause aside).
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

bool DownloadEngine::Start(const std::wstring& address, NotifyProc handler, const std::wstring& stamp,
                           const std::wstring& target, void* owner, bool probeFirst) {
    Lock hold(lock);
    if (!enabled) return false;
    probePhase = probeFirst;
    url = address;
    notify = handler;
    context = owner;
    expectedStamp = stamp;
    folder = target;
    resumeOffset = 0;
    rangeStart = 0;
    bodyLength = -1;
    remaining = -1;
    expectedEnd = -1;
    interrupted = false;
    transfer = {};
    waiting = Waiting::Nothing;

    if (!internet) {
        internet.Reset(::InternetOpenW(L"MyAgent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
        if (!internet) {
            if (notify) notify(DownloadOpenFailed, context);
            return false;
        }
    }
    std::wstring name = FileNameFromUrl(url);
    if (name.empty() || !checksValid) {
        Finish(DownloadFailed);
        return false;
    }
    bool separated = folder.empty() || folder.back() == L'\\' || folder.back() == L'/';
    localPath = folder + (separated ? L"" : L"\\") + name;
    if (!probePhase && !OpenLocalFile()) return false;
    ::InternetSetStatusCallbackW(internet.Get(), StatusCallback);
    return IssueRequest();
}

bool DownloadEngine::OpenLocalFile() {
    // Without a stamp no partial file can be trusted: CREATE_ALWAYS empties it.
    // Read access too: a resumed file's bytes are hashed before the rest is appended.
    file.Reset(::CreateFileW(localPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             expectedStamp.empty() ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size)) {
        Finish(DownloadFailed);
        return false;
    }
    rangeStart = size.QuadPart;
    if (rangeStart > totalBytes) {
        DiscardAndRestart();
        return false;
    }
    resumeOffset = rangeStart;
    receivedBytes = resumeOffset;
    LARGE_INTEGER zero = {};
    if (!::SetFilePointerEx(file.Get(), zero, nullptr, FILE_END)) {
        Finish(DownloadFailed);
        return false;
    }
    return true;
}

bool DownloadEngine::IssueRequest() {
    // The probe asks for one byte: a whole-file GET would stream the file a second time
    // beside the real download, closing its handle does not stop that.
    // Only plain bytes can be the installer: no compressed body is asked for.
    std::wstring header = probePhase ? L"Range: bytes=0-0\r\n" : L"Range: bytes=" + DecimalText(rangeStart) + L"-\r\n";
    header += L"Accept-Encoding: identity\r\n";
    waiting = Waiting::Open;
    HINTERNET answered = ::InternetOpenUrlW(internet.Get(), url.c_str(), header.c_str(), static_cast<DWORD>(-1),
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                            reinterpret_cast<DWORD_PTR>(gate));
    if (answered) {
        // Answered at once: no completion follows.
        if (request.Get() != answered) request.Reset(answered);
        if (OnOpened()) ReadLoop();
        return true;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
        Finish(DownloadFailed);
        return false;
    }
    return true;
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
            if (IsNetworkError(error)) {
                CloseRequest();
                waiting = Waiting::Nothing;
                next = Next::Retry;
            } else {
                Finish(DownloadFailed);
            }
        } else if (waiting == Waiting::Open) {
            if (!request) request.Reset(reinterpret_cast<HINTERNET>(result.dwResult));
            if (OnOpened()) next = Next::Read;
        } else {
            next = Next::Read;  // data or the end of the body has arrived
        }
    }
    // Both run without the lock held here, so that a cancel from the window's thread gets in.
    if (next == Next::Read) ReadLoop();
    if (next == Next::Retry) Retry();
}

bool DownloadEngine::OnOpened() {
    if (!request) {
        Finish(DownloadFailed);
        return false;
    }
    DWORD status = QueryStatus(request.Get());
    if (!probePhase) return OnFileAnswered(status);
    OnProbeAnswered(status);
    return false;
}

void DownloadEngine::OnProbeAnswered(DWORD status) {
    long long total = -1;
    if (status == 206 || status == 416)
        total = ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE)).total;
    else if (status == 200)
        total = QueryCount(request.Get(), HTTP_QUERY_CONTENT_LENGTH);
    if ((status != 200 && status != 206 && status != 416) || (status == 416 && total < 0)) {
        Finish(DownloadFailed);
        return;
    }
    totalBytes = total > 0 ? total : 0;
    if (expectedSize >= 0 && total > 0 && total != expectedSize) {
        Mismatch();  // refused before a byte is written
        return;
    }
    // The probe's body is never read.
    CloseRequest();
    file.Reset();
    Start(std::wstring(url), notify, std::wstring(expectedStamp), std::wstring(folder), context, false);
}

bool DownloadEngine::OnFileAnswered(DWORD status) {
    if (status != 200 && status != 206 && status != 416) {
        Finish(DownloadFailed);
        return false;
    }
    // A server that goes silent in the middle of the body is a network error, retried.
    ::InternetSetOptionW(request.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &receiveTimeoutMs, sizeof receiveTimeoutMs);
    std::wstring encoding = QueryHeader(request.Get(), HTTP_QUERY_CONTENT_ENCODING);
    if (!encoding.empty() && _wcsicmp(encoding.c_str(), L"identity") != 0) {
        Finish(DownloadFailed);  // compressed bytes are not the installer
        return false;
    }
    std::wstring stamp = QueryHeader(request.Get(), HTTP_QUERY_LAST_MODIFIED);
    if (!stamp.empty()) {
        progressValid = true;
        serverStamp = stamp;
        WriteStampFile(stamp);
        // The server's file changed since the partial file was written. With no old bytes
        // there is nothing to protect, so a stamp that changes on every answer cannot loop.
        if (rangeStart > 0 && _wcsicmp(stamp.c_str(), expectedStamp.c_str()) != 0) {
            DiscardAndRestart();
            return false;
        }
    }
    if (status == 416) {
        progressValid = true;
        // Only the 416's own total says the partial file is whole; the probe's may be stale.
        long long named = ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE)).total;
        if (named >= 0 && rangeStart == named) {
            totalBytes = named;
            expectedEnd = named;
            if (HashPartialFile()) Complete();
        } else if (rangeStart > 0)
            DiscardAndRestart();
        else
            Finish(DownloadFailed);
        return false;
    }
    if (status == 200 && rangeStart > 0) {
        // The server ignored the range and sends the whole file: write it from the start
        // instead of after the old bytes.
        LARGE_INTEGER zero = {};
        if (!::SetFilePointerEx(file.Get(), zero, nullptr, FILE_BEGIN) || !::SetEndOfFile(file.Get())) {
            Finish(DownloadFailed);
            return false;
        }
        rangeStart = resumeOffset = 0;
        receivedBytes = 0;
    }
    bodyLength = QueryCount(request.Get(), HTTP_QUERY_CONTENT_LENGTH);
    expectedEnd = totalBytes > 0 ? totalBytes.load() : -1;
    if (status == 206) {
        ContentRange range = ParseContentRange(QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE));
        if (range.first != rangeStart) {
            // Bytes that do not continue the partial file are never written.
            if (rangeStart > 0)
                DiscardAndRestart();
            else
                Finish(DownloadFailed);
            return false;
        }
        if (range.total >= 0) expectedEnd = range.total;
    } else if (bodyLength >= 0) {
        expectedEnd = bodyLength;
    }
    if (expectedSize >= 0 && expectedEnd >= 0 && expectedEnd != expectedSize) {
        Mismatch();  // refused before a byte is written
        return false;
    }
    if (stamp.empty() && rangeStart == 0) {
        // Nothing names these bytes' version: a stamp left by an earlier file must not let a
        // later run resume onto them (a captive portal's page, say).
        DeleteStampFile();
        serverStamp.clear();
        expectedStamp.clear();
    }
    if (!HashPartialFile()) return false;
    remaining = bodyLength;
    if (notify) notify(DownloadStarted, context);
    if (remaining == 0) {
        Complete();
        return interrupted;  // the read loop retries
    }
    waiting = Waiting::Data;
    transfer = {};
    transfer.dwStructSize = sizeof transfer;
    return true;
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
            if (!IsNetworkError(error)) {
                Finish(DownloadFailed);
                return;
            }
            CloseRequest();
            waiting = Waiting::Nothing;
            break;
        }
        if (!TakeChunk(transfer.dwBufferLength) && !interrupted) return;
    }
    // A network error, or a body that ended short of the file: resumed after a pause, taken
    // without the lock so that a cancel gets in.
    {
        Lock hold(lock);
        interrupted = false;
    }
    Retry();
}

bool DownloadEngine::TakeChunk(DWORD length) {
    if (length == 0) {
        // The body ended. Short of an announced length it is a failure as before; short of
        // the file's known size it is an interrupted transfer, which Complete retries.
        if (remaining > 0 && expectedEnd < 0)
            Finish(DownloadFailed);
        else
            Complete();
        return false;
    }
    DWORD written = 0;
    bool whole = ::WriteFile(file.Get(), readBuffer.get(), length, &written, nullptr) && written == length;
    receivedBytes += written;  // before any end, so the count never falls short of the file
    if (!whole) {
        Finish(DownloadFailed);  // a full disk: the file is short
        return false;
    }
    if (checkHash) hash.Add(readBuffer.get(), length);
    if (remaining > 0) {
        remaining -= length;
        if (remaining <= 0) {
            Complete();
            return false;
        }
    }
    return true;
}

bool DownloadEngine::HashPartialFile() {
    if (!checkHash) return true;
    // Hashed once per answer: the bytes already on disk, then each chunk as it is written.
    bool read = hash.Restart();
    LARGE_INTEGER zero = {};
    read = read && ::SetFilePointerEx(file.Get(), zero, nullptr, FILE_BEGIN);
    for (long long left = rangeStart; read && left > 0;) {
        DWORD got = 0;
        DWORD want = left < kReadBufferSize ? static_cast<DWORD>(left) : kReadBufferSize;
        read = ::ReadFile(file.Get(), readBuffer.get(), want, &got, nullptr) && got == want &&
               hash.Add(readBuffer.get(), got);
        left -= got;
    }
    if (!read || !::SetFilePointerEx(file.Get(), zero, nullptr, FILE_END)) {
        Finish(DownloadFailed);
        return false;
    }
    return true;
}

void DownloadEngine::Complete() {
    if (expectedEnd >= 0 && receivedBytes < expectedEnd) {
        CloseRequest();
        waiting = Waiting::Nothing;
        interrupted = true;  // the read loop retries once it has let go of the lock
        return;
    }
    if (Verified())
        Finish(DownloadComplete);
    else
        Mismatch();
}

bool DownloadEngine::Verified() {
    if (expectedSize >= 0 && receivedBytes != expectedSize) return false;
    unsigned char digest[Sha256::kSize];
    if (checkHash && (!hash.Result(digest) || std::memcmp(digest, expectedHash, sizeof digest) != 0)) return false;
    if (expectedSigner.empty()) return true;
    file.Reset();  // the signature check opens the file itself
    return SignedBy(localPath, expectedSigner);
}

void DownloadEngine::Mismatch() {
    // Not the distributor's file: nothing of it may stay, nor a stamp to resume onto.
    Close();
    ::DeleteFileW(localPath.c_str());
    DeleteStampFile();
    serverStamp.clear();
    receivedBytes = 0;
    resumeOffset = 0;
    totalBytes = 0;
    if (freshRetried) {
        Finish(DownloadCorrupt);
        return;
    }
    freshRetried = true;
    Restart(std::wstring());
}

void DownloadEngine::Finish(unsigned long code) {
    if (!enabled) return;
    Close();
    if (notify) notify(code, context);
}

void DownloadEngine::Retry() {
    if (!enabled) return;
    ::Sleep(1000);
    Lock hold(lock);
    if (!enabled) return;
    resumeOffset = 0;
    receivedBytes = 0;
    totalBytes = 0;
    Finish(DownloadRetrying);
    // Before this run's first file answer serverStamp is empty; the stamp the run started
    // with still protects the partial file through a brief outage.
    Restart(serverStamp.empty() ? expectedStamp : serverStamp);
}

void DownloadEngine::DiscardAndRestart() {
    Close();
    ::DeleteFileW(localPath.c_str());
    bodyLength = -1;
    receivedBytes = 0;
    resumeOffset = 0;
    totalBytes = 0;
    Restart(serverStamp);
}

void DownloadEngine::Restart(const std::wstring& stamp) {
    Start(std::wstring(url), notify, std::wstring(stamp), std::wstring(folder), context, true);
}

void DownloadEngine::Close() {
    ++closers;
    {
        Lock hold(lock);
        waiting = Waiting::Nothing;
        file.Reset();
        CloseRequest();
        internet.Reset();
    }
    --closers;
}

void DownloadEngine::CloseRequest() {
    if (!request) return;
    ForgetContext(request.Get());
    request.Reset();
}

void DownloadEngine::CancelDownload() {
    ++closers;
    {
        Lock hold(lock);
        enabled = false;
        Close();
    }
    --closers;
}
