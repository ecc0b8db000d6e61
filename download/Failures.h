#pragma once
// What went wrong with a download, in the terms the user is told, and which troubles are worth
// another attempt by themselves.

#include <windows.h>

enum class DownloadError {
    None,
    Connection,        // the network failed in a way not named below
    NotFound,          // 404, 410: the file is not on the server
    ServerError,       // 5xx, or an answer no server of files should give
    SignInNeeded,      // an answer that cannot be the installer: a captive portal's page
    DiskFull,          // too little room for the bytes still to come, or a write that failed for it
    FileInUse,         // the file or its stamp could not be opened, cut back or removed
    Misconfigured,     // no usable address or check value in the distributor's settings
    SecureConnection,  // TLS failed: a certificate the system does not trust, or no common protocol
    TooManyRedirects,  // more than 10 redirects, or a redirect back to an address already asked
    ProxyCredentials,  // a proxy asked for credentials, and the user gave none
};

// A short name for tools and logs ("not-found", "sign-in", ...).
const char* DownloadErrorName(DownloadError error);

// Errors of WinINet (and of the sockets under it, as Wine reports them) that a later attempt
// may not meet: names not resolved, connections refused, reset, aborted or closed before any
// answer, timeouts.
bool IsTransientError(DWORD error);
// Transient errors of a server that was not reached at all: its name does not resolve, or nobody
// answers the connection. After kUnreachableAttempts of them in a row another address may do better.
bool IsUnreachable(DWORD error);
constexpr int kUnreachableAttempts = 3;
// Whether the failure belongs to the address (its server, or what answers in its name), so that
// another address of the same file may do better: not found, a server error, a foreign answer,
// redirects without end, a secure connection that cannot be made, an address that cannot be
// asked. What belongs to the machine or its network (the disk, the file, a proxy) does not.
bool FailsTheAddress(DownloadError error);
// What a WinINet error that is not transient means for the user.
DownloadError ErrorOfWinInet(DWORD error);
// What an HTTP status other than 200, 206, 416 and the redirects means for the user.
DownloadError ErrorOfStatus(DWORD status);
// The disk's fault or the file's, for a write that failed with this error.
DownloadError ErrorOfWrite(DWORD error);

// How long to wait before the next attempt after `fruitless` attempts in a row brought no byte
// (1 for the first): one second for the first three, then doubling up to 30 seconds.
DWORD RetryDelayMs(int fruitless);
