// WendrakeFetch: runs the download engine from the command line the way the wizard does
// (stamp from the stamp file, probe first), for tests, benchmarks and a first look.
//
//   WendrakeFetch.exe [--cancel-after <bytes>] [--timeout <seconds>] [--temp <folder>]
//                     [--sha256 <hex>] [--size <bytes>] [--signer <name>]
//                     [--receive-timeout <milliseconds>] [--refuse delete|truncate] [--mirror <url>]...
//                     [--stop-after-retries <n>] <url> <folder>
//
// <folder> is a Windows path ending in a backslash; the stamp file lives there beside the
// file. Prints "notify <code>" for every notification (a failure first says "failure <kind>"),
// then "total=<n> received=<n> valid=<0|1>". Exits 0 when the download is complete, 1 when it
// failed, 2 when nothing final happened within --timeout, 3 after --cancel-after cancelled it,
// 4 when the file failed its checks twice (DownloadCorrupt), and 5 when --stop-after-retries
// cancelled it at its nth DownloadRetrying (a count, where a time would depend on the machine).
// --temp sets TMP and TEMP for this run. --sha256, --size and --signer are the checks that the
// settings InstallerSHA256, InstallerSize and InstallerSigner ask of the wizard's download.
// --refuse makes every delete (or every truncation) of the engine fail as a file held by a
// scanner makes it fail on Windows: Wine, run as root, never refuses one. Each --mirror adds an
// address tried, in order, after the ones before fail for good. A proxy that asks for credentials
// is answered "no" (there is no window to ask in): the download fails as the wizard's Cancel ends it.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <utility>
#include <vector>

#include "download/DownloadEngine.h"

namespace {

HANDLE finished = nullptr;
HANDLE proxyAsks = nullptr;
HANDLE retriedEnough = nullptr;
std::atomic<unsigned long> outcome{0};
long retriesToStop = -1;
std::atomic<long> retries{0};

// Deletes or truncations that fail with a sharing violation.
class RefusingOps : public FileOps {
public:
    RefusingOps(bool deletes, bool truncations) : deletes_(deletes), truncations_(truncations) {}
    bool Delete(const std::wstring& path) override {
        if (!deletes_) return FileOps::Delete(path);
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    bool Truncate(HANDLE file) override {
        if (!truncations_) return FileOps::Truncate(file);
        ::SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }

private:
    bool deletes_, truncations_;
};

void OnNotify(unsigned long code, void* context) {
    if (code == DownloadFailed || code == DownloadOpenFailed)
        std::printf("failure %s\n", DownloadErrorName(static_cast<DownloadEngine*>(context)->Failure()));
    std::printf("notify %lu\n", code);
    std::fflush(stdout);
    if (code == DownloadProxyCredentials) ::SetEvent(proxyAsks);
    if (code == DownloadRetrying && ++retries == retriesToStop) ::SetEvent(retriedEnough);
    if (code == DownloadComplete || code == DownloadFailed || code == DownloadOpenFailed || code == DownloadCorrupt) {
        outcome = code;
        ::SetEvent(finished);
    }
}

int Usage() {
    std::fprintf(stderr,
                 "usage: WendrakeFetch.exe [--cancel-after <bytes>] [--timeout <seconds>] [--temp <folder>] "
                 "[--sha256 <hex>] [--size <bytes>] [--signer <name>] [--receive-timeout <ms>] "
                 "[--refuse delete|truncate] [--mirror <url>]... [--stop-after-retries <n>] <url> <folder\\>\n");
    return 64;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    long long cancelAfter = -1;
    DWORD timeoutMs = INFINITE;
    DWORD receiveTimeoutMs = 30000;
    std::wstring sha256, size, signer;
    bool refuseDeletes = false, refuseTruncations = false;
    std::vector<std::wstring> mirrors;
    int arg = 1;
    for (; arg + 1 < argc && std::wcsncmp(argv[arg], L"--", 2) == 0; arg += 2) {
        const wchar_t* value = argv[arg + 1];
        if (std::wcscmp(argv[arg], L"--cancel-after") == 0) {
            cancelAfter = _wcstoi64(value, nullptr, 10);
        } else if (std::wcscmp(argv[arg], L"--timeout") == 0) {
            timeoutMs = static_cast<DWORD>(std::wcstoul(value, nullptr, 10) * 1000);
        } else if (std::wcscmp(argv[arg], L"--sha256") == 0) {
            sha256 = value;
        } else if (std::wcscmp(argv[arg], L"--size") == 0) {
            size = value;
        } else if (std::wcscmp(argv[arg], L"--signer") == 0) {
            signer = value;
        } else if (std::wcscmp(argv[arg], L"--receive-timeout") == 0) {
            receiveTimeoutMs = std::wcstoul(value, nullptr, 10);
        } else if (std::wcscmp(argv[arg], L"--refuse") == 0 && std::wcscmp(value, L"delete") == 0) {
            refuseDeletes = true;
        } else if (std::wcscmp(argv[arg], L"--refuse") == 0 && std::wcscmp(value, L"truncate") == 0) {
            refuseTruncations = true;
        } else if (std::wcscmp(argv[arg], L"--mirror") == 0) {
            mirrors.push_back(value);
        } else if (std::wcscmp(argv[arg], L"--stop-after-retries") == 0) {
            retriesToStop = std::wcstol(value, nullptr, 10);
        } else if (std::wcscmp(argv[arg], L"--temp") == 0) {
            ::SetEnvironmentVariableW(L"TMP", value);
            ::SetEnvironmentVariableW(L"TEMP", value);
        } else {
            return Usage();
        }
    }
    if (argc - arg != 2) return Usage();

    KernelHandle finishedEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    finished = finishedEvent.Get();
    KernelHandle proxyEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    proxyAsks = proxyEvent.Get();
    KernelHandle retriedEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    retriedEnough = retriedEvent.Get();
    RefusingOps refusing(refuseDeletes, refuseTruncations);
    DownloadEngine engine;
    if (!engine.SetChecks(sha256, size, signer)) std::fprintf(stderr, "a check's value is malformed\n");
    engine.SetReceiveTimeout(receiveTimeoutMs);
    engine.SetFileOps(&refusing);
    engine.SetMirrors(std::move(mirrors));
    engine.Start(argv[arg], OnNotify, argv[arg + 1], &engine);

    int exitCode = 2;
    DWORD started = ::GetTickCount();
    for (;;) {
        if (::WaitForSingleObject(proxyAsks, 0) == WAIT_OBJECT_0) engine.AnswerProxy(false);
        if (::WaitForSingleObject(finished, 1) == WAIT_OBJECT_0) {
            exitCode = outcome == DownloadComplete ? 0 : outcome == DownloadCorrupt ? 4 : 1;
            break;
        }
        if (::WaitForSingleObject(retriedEnough, 0) == WAIT_OBJECT_0) {
            engine.CancelDownload();
            exitCode = 5;
            break;
        }
        if (cancelAfter >= 0 && engine.receivedBytes > cancelAfter) {
            engine.CancelDownload();
            exitCode = 3;
            break;
        }
        if (timeoutMs != INFINITE && ::GetTickCount() - started >= timeoutMs) {
            engine.CancelDownload();
            break;
        }
    }
    std::printf("total=%lld received=%lld valid=%d\n", engine.totalBytes.load(), engine.receivedBytes.load(),
                engine.progressValid ? 1 : 0);
    std::fflush(stdout);
    return exitCode;
}
