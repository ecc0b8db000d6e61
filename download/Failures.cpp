#include "download/Failures.h"

#include <wininet.h>

const char* DownloadErrorName(DownloadError error) {
    switch (error) {
    case DownloadError::None: return "none";
    case DownloadError::Connection: return "connection";
    case DownloadError::NotFound: return "not-found";
    case DownloadError::ServerError: return "server-error";
    case DownloadError::SignInNeeded: return "sign-in";
    case DownloadError::DiskFull: return "disk-full";
    case DownloadError::FileInUse: return "in-use";
    case DownloadError::Misconfigured: return "misconfigured";
    case DownloadError::SecureConnection: return "secure-connection";
    case DownloadError::TooManyRedirects: return "redirects";
    case DownloadError::ProxyCredentials: return "proxy";
    }
    return "unknown";
}

bool IsTransientError(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:  // the connection closed before any answer
    // Wine reports what befalls a socket in the middle of a body with the socket's own codes.
    case 10053:  // WSAECONNABORTED
    case 10054:  // WSAECONNRESET
    case 10060:  // WSAETIMEDOUT: a read that waited too long
        return true;
    default:
        return false;
    }
}

bool IsUnreachable(DWORD error) {
    return error == ERROR_INTERNET_NAME_NOT_RESOLVED || error == ERROR_INTERNET_CANNOT_CONNECT;
}

bool FailsTheAddress(DownloadError error) {
    switch (error) {
    case DownloadError::NotFound:
    case DownloadError::ServerError:
    case DownloadError::SignInNeeded:
    case DownloadError::TooManyRedirects:
    case DownloadError::SecureConnection:
    case DownloadError::Misconfigured:
        return true;
    default:
        return false;
    }
}

DownloadError ErrorOfWinInet(DWORD error) {
    switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:  // no protocol both sides speak (XP and TLS 1.2)
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
        return DownloadError::SecureConnection;
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        return DownloadError::Misconfigured;
    default:
        return DownloadError::Connection;
    }
}

DownloadError ErrorOfStatus(DWORD status) {
    if (status == 404 || status == 410) return DownloadError::NotFound;
    // A proxy that wants credentials is the network's matter, not the server's.
    if (status == 407) return DownloadError::Connection;
    return DownloadError::ServerError;
}

DownloadError ErrorOfWrite(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? DownloadError::DiskFull
                                                                       : DownloadError::FileInUse;
}

DWORD RetryDelayMs(int fruitless) {
    const int kAtOneSecond = 3;
    if (fruitless <= kAtOneSecond) return 1000;
    int doublings = fruitless - kAtOneSecond;
    return doublings >= 5 ? 30000 : 1000u << doublings;
}
