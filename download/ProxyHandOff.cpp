// A proxy that asks for credentials (407). The user is asked with the system's own dialog, which
// must run on the owner's window thread, never on one of WinINet's: the engine reads the refusal
// to its end, hands the request to the owner (DownloadProxyCredentials) and waits; the owner
// shows InternetErrorDlg on that request, which keeps what the user types, and answers. The
// program itself never sees or stores the credentials.
#include "download/DownloadEngine.h"

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
