#pragma once
// Fetches one file over HTTP into a folder with WinINet in asynchronous mode, resuming a
// partial file left by an earlier run, and reports the outcome through a plain callback.
//
// Every attempt is two requests: a probe that learns the whole size ("Range: bytes=0-0"),
// then a file request for the bytes from the end of the partial file onward. The server's
// Last-Modified value, kept in LastDownloadDate.txt in the temporary folder, ties a partial
// file to the server's file across runs.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>

#include "download/Verify.h"
#include "framework/Handles.h"

// The owner's notification handler; called on WinINet's threads (and from the first Start).
using NotifyProc = void (*)(unsigned long code, void* context);

// The notification codes. Their values coincide with WinINet error numbers.
constexpr unsigned long DownloadOpenFailed = 12001;  // the internet root handle cannot be opened
constexpr unsigned long DownloadStarted = 12003;     // the file request was accepted; its body begins
constexpr unsigned long DownloadFailed = 12004;      // the download ended without the whole file
constexpr unsigned long DownloadComplete = 12005;    // the whole file is on disk
constexpr unsigned long DownloadRetrying = 12006;    // a network error; a new attempt follows in a second
constexpr unsigned long DownloadCorrupt = 12007;     // the file failed its checks twice; nothing is kept

// The user's temporary folder as GetTempPathW reports it, with its trailing backslash.
std::wstring TempFolder();
// The Last-Modified text stored by the last accepted file response: the first line of
// TempFolder() + "LastDownloadDate.txt", at most 2047 characters, without its line end;
// empty when the file cannot be read.
std::wstring ReadStampFile();
// Replaces the stamp file's content with the text, one byte a character, no line end.
bool WriteStampFile(const std::wstring& stamp);
// Removes the stamp file: no later run resumes onto bytes it cannot vouch for.
void DeleteStampFile();
// The last segment of the URL's path, escapes decoded, query left out. Empty when that is
// not a plain file name (empty, "." or "..", or holding a path separator, a drive colon, a
// wildcard or a control character), so the name can never point outside the download folder.
std::wstring FileNameFromUrl(const std::wstring& url);

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

    // Starts a download of url into folder (empty: the current folder). expectedStamp
    // is the Last-Modified text the partial file belongs to; empty throws any partial file
    // away. Returns true when a request was issued.
    bool Start(const std::wstring& url, NotifyProc notify, const std::wstring& expectedStamp,
               const std::wstring& folder, void* context, bool probeFirst);
    // Closes the file and every internet handle; late callbacks find nothing to act on.
    // May be called at any time from any thread.
    void Close();
    // Close, and stop for good: no notification follows and Start returns false.
    // The partial file stays for a later run.
    void CancelDownload();

    // Progress, read by the owner without the lock.
    std::atomic<long long> totalBytes{0};     // whole file size; 0 while unknown
    std::atomic<long long> receivedBytes{0};  // bytes of the file on disk
    std::atomic<bool> progressValid{false};   // the server names its file's version (Last-Modified)

private:
    // What the engine waits for WinINet to complete: the open of a request, or data to read
    // (or the end of the body).
    enum class Waiting { Nothing, Open, Data };

    // Holds the engine's recursive lock for a scope.
    class Lock {
    public:
        explicit Lock(CRITICAL_SECTION& section) : section_(section) { ::EnterCriticalSection(&section_); }
        ~Lock() { ::LeaveCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        CRITICAL_SECTION& section_;
    };

    // What WinINet's callbacks reach instead of the engine itself. It outlives the engine:
    // WinINet may call back after every handle is closed (a request still opening, a handle
    // whose last reference goes away on another thread), and no moment tells that the last
    // call has come. The destructor detaches the engine and waits for callbacks inside it;
    // later ones find no engine. A few bytes per engine, never freed.
    struct CallbackGate {
        CRITICAL_SECTION section;
        DownloadEngine* engine;
        int inside;  // callbacks running in the engine
    };

    static void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);
    void OnHandleCreated(HINTERNET handle);
    void OnStatus(HINTERNET handle, const INTERNET_ASYNC_RESULT& result);
    bool OnOpened();
    void OnProbeAnswered(DWORD status);
    bool OnFileAnswered(DWORD status);
    bool OpenLocalFile();
    bool IssueRequest();
    void ReadLoop();
    bool TakeChunk(DWORD length);
    bool HashPartialFile();
    void Complete();
    bool Verified();
    void Mismatch();
    void Finish(unsigned long code);
    void Retry();
    void DiscardAndRestart();
    void Restart(const std::wstring& stamp);
    void CloseRequest();

    NotifyProc notify = nullptr;
    std::atomic<bool> enabled{true};
    FileHandle file;
    CRITICAL_SECTION lock;
    long long bodyLength = -1;  // Content-Length of the file response; -1 when the body has none
    long long rangeStart = 0;   // first byte asked for: the partial file's size
    std::wstring expectedStamp;
    std::wstring url;
    std::wstring folder;
    bool probePhase = false;
    std::wstring localPath;
    std::wstring serverStamp;  // Last-Modified of the latest file response of this run
    InternetHandle internet;
    InternetHandle request;
    INTERNET_BUFFERSA transfer = {};
    void* context = nullptr;
    long long resumeOffset = 0;  // the partial file's size when the file request was issued
    Waiting waiting = Waiting::Nothing;
    long long remaining = -1;             // body bytes still to come; -1 when unknown
    CallbackGate* gate;
    long long expectedEnd = -1;  // the whole file's size as the current answer tells it; -1 unknown
    bool interrupted = false;    // the body ended short of expectedEnd: retry after the read loop
    // The distributor's checks (SetChecks).
    bool checksValid = true;
    bool checkHash = false;
    unsigned char expectedHash[Sha256::kSize] = {};
    long long expectedSize = -1;
    std::wstring expectedSigner;
    bool freshRetried = false;  // the one fresh download after a failed check has been made
    Sha256 hash;                // of the file from byte 0, fed as the bytes are written
    DWORD receiveTimeoutMs = 30000;
    std::atomic<int> closers{0};           // threads inside Close: the read loop steps aside
    // One buffer for every read, sized for throughput: each read call has a fixed cost (under
    // Wine a large one), so 1 KiB reads crawl where large ones keep pace with curl.
    static constexpr DWORD kReadBufferSize = 256 * 1024;
    std::unique_ptr<char[]> readBuffer{new char[kReadBufferSize]};
};
