#pragma once
// Fetches one file over HTTP into a folder with WinINet in asynchronous mode, resuming a
// partial file left by an earlier run, and reports the outcome through a plain callback.
//
// Every attempt is two requests: a probe that learns the whole size and the server's version of
// its file ("Range: bytes=0-0"), then a file request for the bytes from the end of the partial
// file onward. The stamp beside the file (download/Stamp.h) says which version, address and
// size the partial file belongs to; bytes are only ever added to a file of the same version.
// Further addresses of the same file (mirrors) are tried in order when one fails for good.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "download/Addresses.h"
#include "download/Answer.h"
#include "download/CallbackGate.h"
#include "download/DownloadFolder.h"
#include "download/Failures.h"
#include "download/Receiver.h"
#include "framework/Handles.h"

// The owner's notification handler; called on WinINet's threads (and from the first Start).
using NotifyProc = void (*)(unsigned long code, void* context);

// The notification codes. Their values coincide with WinINet error numbers.
constexpr unsigned long DownloadOpenFailed = 12001;  // the internet root handle cannot be opened
constexpr unsigned long DownloadStarted = 12003;     // the first byte of an answer is kept; the body goes on
constexpr unsigned long DownloadFailed = 12004;      // the download ended without the whole file; Failure() says why
constexpr unsigned long DownloadComplete = 12005;    // the whole file is on disk, checked and held (HeldFile)
constexpr unsigned long DownloadRetrying = 12006;    // a network error; a new attempt follows after a pause
constexpr unsigned long DownloadCorrupt = 12007;     // the file failed its checks twice; nothing is kept
// A proxy asks for credentials. The engine waits with the request (ProxyChallenge) until the owner,
// on its own thread, has asked the user and answers (AnswerProxy).
constexpr unsigned long DownloadProxyCredentials = 12014;

class DownloadEngine {
public:
    DownloadEngine();
    virtual ~DownloadEngine();
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    // What the finished file must be, from the distributor's settings: the SHA-256 as 64 hex
    // digits, the size in bytes, the Authenticode signer's common name; an empty text checks
    // nothing. A file that fails a check is deleted and fetched once more from scratch; a
    // second failure ends in DownloadCorrupt. Returns false (and the next Start fails) when a
    // text is not what it should be. Call before Start.
    bool SetChecks(const std::wstring& sha256, const std::wstring& size, const std::wstring& signer);
    // How long a read may wait for the server before the attempt counts as a network error
    // and is retried (30 s unless set). Call before Start.
    void SetReceiveTimeout(DWORD milliseconds) { receiveTimeoutMs = milliseconds; }
    // The operations that delete and cut back files (tests put in failing ones); null: the
    // system's. Call before Start; the operations must outlive the engine's work.
    void SetFileOps(FileOps* operations) { receiver.Partial().SetOps(operations); }
    // Further addresses of the same file, tried in order after the one before fails for good
    // (FailsTheAddress, or the checks failing on a fresh copy). The file keeps the name the first
    // address gives it. Bytes that came from another address are continued only when the checks
    // (SHA-256 or size) will prove the whole file; otherwise the next address starts it anew.
    // Call before Start.
    void SetMirrors(std::vector<std::wstring> urls);

    // Starts a download of url into folder (empty: the current folder), resuming the partial
    // file there when its stamp names the version the server has. Returns true when a request
    // was issued.
    bool Start(const std::wstring& url, NotifyProc notify, const std::wstring& folder, void* context);
    // After DownloadProxyCredentials: the request the proxy refused, for InternetErrorDlg to ask
    // the user and to keep what the user gives. Null when the engine is not waiting for that.
    HINTERNET ProxyChallenge();
    // The owner's answer to DownloadProxyCredentials: true sends the request again with what the
    // dialog put into it (a proxy that refuses again asks again); false ends the download
    // (DownloadError::ProxyCredentials).
    void AnswerProxy(bool retry);
    // Closes the file and the request; late callbacks find nothing to act on. The root handle
    // stays for the next attempt: it keeps what the user told a proxy. May be called at any time
    // from any thread. A held file stays held.
    void Close();
    // Close, and stop for good: every handle is closed, no notification follows and Start returns
    // false. The partial file stays for a later run; a held file is let go.
    void CancelDownload();

    // Why the download ended, once DownloadFailed (or DownloadOpenFailed) has come.
    DownloadError Failure() const { return failure.load(); }
    // The downloaded file's path; known once Start has run.
    std::wstring FilePath();
    // After DownloadComplete the file stays open for reading, sharing reading alone: nobody can
    // write, rename or delete it, while programs can still be started from it. It is checked
    // through this handle. Null when nothing is held.
    HANDLE HeldFile();
    // Lets the file go (once the installer has started from it).
    void ReleaseFile();
    // Lets the file go and removes it with its stamp, so that the next Start fetches it anew.
    // False when they could not be removed.
    bool DiscardFile();

    // Progress, read by the owner without the lock.
    std::atomic<long long> totalBytes{0};     // whole file size; 0 while unknown
    std::atomic<long long> receivedBytes{0};  // bytes of the file on disk that are kept
    std::atomic<bool> progressValid{false};   // the server names its file's version

private:
    // What the engine waits for: WinINet to complete the open of a request, or data to read
    // (or the end of the body); or the owner's answer to a proxy's request for credentials.
    enum class Waiting { Nothing, Open, Data, Credentials };

    // Holds the engine's recursive lock for a scope.
    using Lock = SectionLock;

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);
    // Requests.
    bool BeginAttempt();
    bool BeginFileRequest(bool resume);
    bool IssueRequest();
    void FollowRedirect(const HttpAnswer& answer);
    void OnHandleCreated(HINTERNET handle);
    void OnStatus(HINTERNET handle, const INTERNET_ASYNC_RESULT& result);
    bool OnOpened();
    void ReadLoop();
    void Fail(DownloadError error);
    void Finish(unsigned long code);
    void Retry();
    void Interrupted();
    void CloseRequest();
    // Answers and bytes: the receiver decides, the engine acts (false: no body to read).
    bool OnFileAnswered(const HttpAnswer& answer);
    bool TakeChunk(const char* bytes, DWORD length);
    bool Act(Receiver::Step next);
    void Mismatch();
    static void Started(void* engine);
    // The file's addresses: the one given to Start, then the mirrors in order. The partial file
    // and its stamp stay when the engine moves on; the next address decides what of them to keep.
    bool NextAddress();
    // Another address may be tried without losing anything: no bytes are on disk, or the checks
    // will prove the whole file whichever address continues them.
    bool FreeToMoveOn() { return receiver.Checks().ProveWholeFile() || !receiver.Partial().HasBytes(); }
    // A proxy's request for credentials.
    void OnProxyRefused();
    bool Drain(DWORD length);

    NotifyProc notify = nullptr;
    void* context = nullptr;
    std::atomic<bool> enabled{true};
    std::atomic<DownloadError> failure{DownloadError::None};
    KernelHandle wake;  // set by CancelDownload: a pause before the next attempt ends at once
    CRITICAL_SECTION lock;
    CallbackGate* gate;  // never freed: WinINet may call back after the engine is gone
    DWORD receiveTimeoutMs = 30000;
    std::atomic<int> closers{0};  // threads inside Close: the read loop steps aside
    InternetHandle internet;
    InternetHandle request;
    INTERNET_BUFFERSA transfer = {};
    Waiting waiting = Waiting::Nothing;

    // The download, as the owner started it.
    Addresses addresses;                // the file's addresses, and where the request goes
    int fruitless = 0;                  // attempts in a row that kept no byte
    int unreached = 0;                  // attempts in a row that reached no server at this address
    bool probePhase = false;            // the attempt's first request: the probe

    bool interrupted = false;     // the attempt ended early: retry once the lock is let go
    bool draining = false;        // reading a proxy's refusal to its end before asking the owner
    long long drained = 0;        // ... and how much of it

    bool freshRetried = false;    // the one fresh download after a failed check has been made
    // The probe's findings, the file answer and its bytes (after the progress counts it updates).
    Receiver receiver;

    // One buffer for every read, sized for throughput: each read call has a fixed cost (under
    // Wine a large one), so 1 KiB reads crawl where large ones keep pace with curl.
    static constexpr DWORD kReadBufferSize = 256 * 1024;
    std::unique_ptr<char[]> readBuffer{new char[kReadBufferSize]};
};
