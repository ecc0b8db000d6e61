// --online: the download server asked as the download engine asks it (its agent, its flags,
// a one-byte probe, then a range from the middle as a resumed run asks), the pages, and the
// tracking address as the wizard asks it at each stage.

#include <windows.h>
#include <wincrypt.h>
#include <wininet.h>

#include <cwchar>
#include <string>
#include <vector>

#include "check/Check.h"
#include "config/Settings.h"
#include "config/Texts.h"
#include "download/Answer.h"
#include "download/DownloadEngine.h"
#include "download/Tracker.h"
#include "framework/Handles.h"

// The headers declare SHA-256 only for Windows Server 2003 and later, but XP SP3's AES
// provider has it too.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_SHA_256)
#endif
#ifndef ALG_SID_SHA_256
#define ALG_SID_SHA_256 12
#endif

namespace {

const wchar_t kConfig[] = L"ConfigParams.ini";

struct Answer {
    DWORD error = 0;  // WinINet's error when there was no answer
    DWORD status = 0;
    std::wstring contentRange, lastModified, etag, contentEncoding, contentType, url;
    std::wstring contentLength;
};

std::wstring Header(HINTERNET request, DWORD query) {
    wchar_t text[2048] = {};
    DWORD size = sizeof text;
    return ::HttpQueryInfoW(request, query, text, &size, nullptr) ? std::wstring(text) : std::wstring();
}

// One GET with the engine's flags; range is "a-b" or "a-", or empty for none.
InternetHandle Ask(HINTERNET session, const std::wstring& url, const std::wstring& range, Answer& answer) {
    std::wstring header = range.empty() ? std::wstring() : L"Range: bytes=" + range + L"\r\n";
    InternetHandle request(::InternetOpenUrlW(session, url.c_str(), range.empty() ? nullptr : header.c_str(),
                                              range.empty() ? 0 : static_cast<DWORD>(-1),
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request) {
        answer.error = ::GetLastError();
        return request;
    }
    DWORD size = sizeof answer.status;
    ::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer.status, &size, nullptr);
    answer.contentRange = Header(request.Get(), HTTP_QUERY_CONTENT_RANGE);
    answer.lastModified = Header(request.Get(), HTTP_QUERY_LAST_MODIFIED);
    answer.etag = Header(request.Get(), HTTP_QUERY_ETAG);
    answer.contentType = Header(request.Get(), HTTP_QUERY_CONTENT_TYPE);
    answer.contentEncoding = Header(request.Get(), HTTP_QUERY_CONTENT_ENCODING);
    answer.contentLength = Header(request.Get(), HTTP_QUERY_CONTENT_LENGTH);
    wchar_t where[2048] = {};
    DWORD bytes = sizeof where;
    if (::InternetQueryOptionW(request.Get(), INTERNET_OPTION_URL, where, &bytes)) answer.url = where;
    return request;
}

// "bytes first-last/total", whole and consistent.
bool ParseContentRange(const std::wstring& text, ULONGLONG& first, ULONGLONG& last, ULONGLONG& total) {
    if (text.compare(0, 6, L"bytes ") != 0) return false;
    const wchar_t* at = text.c_str() + 6;
    wchar_t* end = nullptr;
    first = std::wcstoull(at, &end, 10);
    if (end == at || *end != L'-') return false;
    last = std::wcstoull(at = end + 1, &end, 10);
    if (end == at || *end != L'/') return false;
    total = std::wcstoull(at = end + 1, &end, 10);
    return end != at && *end == 0 && first <= last && last < total;
}

// SHA-256 of the rest of the body, in lower-case hex, with the system's own provider (which
// Windows XP has from SP3 on); empty when reading or hashing fails.
std::wstring HashBody(HINTERNET request, ULONGLONG& bytes) {
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return L"";
    HCRYPTHASH hash = 0;
    bool ok = ::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash);
    std::vector<BYTE> buffer(65536);
    DWORD read = 0;
    while (ok && (ok = ::InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read)) && read)
        ok = ::CryptHashData(hash, buffer.data(), read, 0), bytes += read;
    BYTE digest[32];
    DWORD length = sizeof digest;
    ok = ok && ::CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0);
    if (hash) ::CryptDestroyHash(hash);
    ::CryptReleaseContext(provider, 0);
    std::wstring hex;
    for (DWORD i = 0; ok && i < length; ++i) {
        wchar_t pair[3];
        std::swprintf(pair, 3, L"%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    return text;
}

// The installer's address under the key, asked as the engine asks it; the download is saved, and
// judged, under `fileName` whichever address it comes from. Returns the file's size as the server
// names it; 0 when it names none or cannot be asked.
ULONGLONG CheckInstaller(HINTERNET session, const Package& package, const wchar_t* key, const std::wstring& url,
                         const std::wstring& fileName, Report& report) {
    const Settings& settings = AppSettings();
    const int line = package.ConfigLine(key);
    auto error = [&](const std::wstring& text) {
        report.Error(kConfig, line, text);
        return 0;
    };

    Answer probe;
    InternetHandle request = Ask(session, url, L"0-0", probe);
    if (probe.error) return error(L"the download server cannot be reached (WinINet error " +
                                  std::to_wstring(probe.error) + L"): " + url);
    if (!probe.url.empty() && probe.url != url) report.Note(kConfig, line, L"redirected to " + probe.url);
    if (probe.status != 200 && probe.status != 206)
        return error(L"the download server answers " + std::to_wstring(probe.status) + L": " + url);
    ULONGLONG first = 0, last = 0, total = 0;
    const bool ranges = probe.status == 206;
    if (ranges && (!ParseContentRange(probe.contentRange, first, last, total) || first != 0 || last != 0))
        return error(L"the probe (Range: bytes=0-0) gets Content-Range '" + probe.contentRange +
                     L"', not 'bytes 0-0/<size>'");
    if (!ranges) {
        report.Warning(kConfig, line, L"the server ignores Range (200 for bytes=0-0): every run downloads the "
                                      L"whole file and nothing resumes");
        total = std::wcstoull(probe.contentLength.c_str(), nullptr, 10);
    }
    request.Reset();

    // The file's first bytes, judged as the installer judges them.
    Answer head;
    request = Ask(session, url, L"0-" + std::to_wstring(kJudgedBytes - 1), head);
    std::vector<char> firstBytes(kJudgedBytes);
    DWORD got = 0, read = 0;
    while (request && got < kJudgedBytes &&
           ::InternetReadFile(request.Get(), firstBytes.data() + got, static_cast<DWORD>(kJudgedBytes) - got, &read) &&
           read)
        got += read;
    // (A compressed body is refused before it is judged; that error is said below.)
    if (request && (head.status == 200 || head.status == 206) && head.contentEncoding.empty() &&
        CannotBeInstaller(fileName, head.contentType, firstBytes.data(), got)) {
        std::wstring shown;
        for (DWORD i = 0; i < got && i < 16; ++i)
            shown += firstBytes[i] >= 0x20 && firstBytes[i] < 0x7F ? static_cast<wchar_t>(firstBytes[i]) : L'.';
        report.Error(kConfig, line,
                     L"the address serves no installer: its file starts '" + shown +
                         L"', not as a program does (MZ), or is a web page; the installer refuses it and says that "
                         L"the network may need a sign-in");
    }
    request.Reset();

    // A resumed run asks for the rest of the file from where its partial file ends.
    Answer middle;
    const ULONGLONG from = total / 2;
    const std::wstring range = std::to_wstring(from) + L"-";
    request = Ask(session, url, range, middle);
    ULONGLONG total2 = 0;
    if (middle.error)
        report.Error(kConfig, line, L"a second request fails (WinINet error " + std::to_wstring(middle.error) + L")");
    else if (ranges && middle.status != 206)
        report.Error(kConfig, line, L"a range from the middle (bytes=" + range + L") gets " + std::to_wstring(middle.status) +
              L", not 206: a resumed download fails");
    else if (ranges && (!ParseContentRange(middle.contentRange, first, last, total2) || first != from ||
                        last + 1 != total || total2 != total))
        report.Error(kConfig, line, L"a range from the middle (bytes=" + range + L") gets Content-Range '" + middle.contentRange +
              L"', not 'bytes " + range + std::to_wstring(total - 1) + L"/" + std::to_wstring(total) +
              L"': a resumed download fails");
    request.Reset();

    // The installer names a file's version by its Last-Modified, and its ETag where there is one.
    if (probe.lastModified.empty() && probe.etag.empty())
        report.Error(kConfig, line, L"no Last-Modified: an interrupted download starts again from zero, and the wizard shows no percentage");
    else if (!middle.error && (middle.lastModified != probe.lastModified || middle.etag != probe.etag))
        report.Error(kConfig, line, L"Last-Modified changes between two requests ('" + probe.lastModified + L"', then '" +
              middle.lastModified + L"'): every run starts the download again from zero");
    std::wstring encoding = probe.contentEncoding.empty() ? middle.contentEncoding : probe.contentEncoding;
    if (!encoding.empty())
        report.Error(kConfig, line, L"the server sends Content-Encoding: " + encoding + L": the installer would be saved encoded");

    if (!settings.InstallerSize.empty() && total && std::wcstoull(settings.InstallerSize.c_str(), nullptr, 10) != total)
        report.Error(kConfig, package.ConfigLine(L"InstallerSize"),
                     L"InstallerSize is " + settings.InstallerSize + L", the server's file has " +
                         std::to_wstring(total) + L" bytes: " + url);
    if (settings.InstallerSHA256.empty()) return total;
    Answer whole;
    request = Ask(session, url, L"0-", whole);
    ULONGLONG bytes = 0;
    std::wstring hash = request && (whole.status == 200 || whole.status == 206) ? HashBody(request.Get(), bytes) : L"";
    const int hashLine = package.ConfigLine(L"InstallerSHA256");
    if (hash.empty())
        report.Error(kConfig, hashLine, L"the installer could not be downloaded to compare its SHA-256: " + url);
    else if (total && bytes != total)  // a connection that ends early reads like the end of the file
        report.Error(kConfig, hashLine, L"the download for the SHA-256 ended after " + std::to_wstring(bytes) +
                                            L" of " + std::to_wstring(total) + L" bytes: " + url);
    else if (hash != Lower(settings.InstallerSHA256))
        report.Error(kConfig, hashLine, L"the server's file (" + std::to_wstring(bytes) + L" bytes) has SHA-256 " +
                                            hash + L", not InstallerSHA256: " + url);
    else
        report.Note(kConfig, hashLine, L"the server's file (" + std::to_wstring(bytes) +
                                           L" bytes) matches InstallerSHA256: " + url);
    return total;
}

// A session of the given agent; a server that stops answering ends a request with an error
// instead of holding the check for good.
InternetHandle OpenSession(const wchar_t* agent) {
    InternetHandle session(::InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    DWORD timeout = 30000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT})
        if (session) ::InternetSetOptionW(session.Get(), option, &timeout, sizeof timeout);
    return session;
}

// The wizard counts on the request itself (nothing of the answer is run or shown), so the
// address must answer each stage's request; any 2xx will do, 204 included.
void CheckTracking(const Package& package, Report& report) {
    const std::wstring& value = AppSettings().OmnitureLink;
    if (value.empty() || !IsWebAddress(ExpandedAddress(L"OmnitureLink", value))) return;
    InternetHandle session = OpenSession(kTrackingAgent);
    if (!session) return report.Error(L"WendrakeCheck", 0, L"WinINet cannot be opened");
    const int line = package.ConfigLine(L"OmnitureLink");
    for (int stage = 1; stage <= 3; ++stage) {
        std::wstring url = value;
        ReplaceAll(url, L"$StageID$", std::to_wstring(stage));
        ExpandUrlPlaceholders(url);
        Answer answer;
        InternetHandle request = Ask(session.Get(), url, L"", answer);
        const std::wstring what = L"OmnitureLink for stage " + std::to_wstring(stage);
        if (answer.error)
            report.Warning(kConfig, line, what + L" cannot be reached (WinINet error " + std::to_wstring(answer.error) +
                                              L"): the stage is not counted: " + url);
        else if (answer.status < 200 || answer.status > 299)
            report.Warning(kConfig, line, what + L" answers " + std::to_wstring(answer.status) +
                                              L", not 2xx: the stage may not be counted: " + url);
    }
}

}  // namespace

void CheckOnline(const Package& package, Report& report) {
    const Settings& settings = AppSettings();
    InternetHandle session = OpenSession(L"MyAgent");
    if (!session) return report.Error(L"WendrakeCheck", 0, L"WinINet cannot be opened");
    ULONGLONG size = 0;
    const std::wstring mainUrl = ExpandedAddress(L"InstallerDownloadURL", settings.InstallerDownloadURL);
    const std::wstring fileName = FileNameFromUrl(mainUrl);
    if (!settings.InstallerDownloadURL.empty())
        size = CheckInstaller(session.Get(), package, L"InstallerDownloadURL", mainUrl, fileName, report);
    // Every mirror as the main address: the download, or the rest of it, may come from any of them.
    for (int number = 1; number <= kMirrorKeys; ++number) {
        const std::wstring& value = settings.InstallerMirrorURL[number - 1];
        if (value.empty()) continue;
        const std::wstring name = MirrorKeyName(number);
        ULONGLONG mirrorSize =
            CheckInstaller(session.Get(), package, name.c_str(), ExpandedAddress(name, value), fileName, report);
        if (size && mirrorSize && mirrorSize != size)
            report.Warning(kConfig, package.ConfigLine(name),
                           name + L"'s file has " + std::to_wstring(mirrorSize) + L" bytes, InstallerDownloadURL's " +
                               std::to_wstring(size) + L": it is not the same installer");
    }

    const struct {
        const wchar_t* name;
        const std::wstring& value;
    } pages[] = {{L"TnCLink", settings.TnCLink}, {L"ContentLink", settings.ContentLink},
                 {L"InstallAnywhereURL", settings.InstallAnywhereURL}};
    for (const auto& page : pages) {
        if (page.value.empty()) continue;
        std::wstring url = ExpandedAddress(page.name, page.value);
        Answer answer;
        InternetHandle request = Ask(session.Get(), url, L"", answer);
        if (answer.error)
            report.Warning(kConfig, package.ConfigLine(page.name),
                           std::wstring(page.name) + L" cannot be reached (WinINet error " +
                               std::to_wstring(answer.error) + L"): " + url);
        else if (answer.status != 200)
            report.Warning(kConfig, package.ConfigLine(page.name),
                           std::wstring(page.name) + L" answers " + std::to_wstring(answer.status) + L", not 200: " + url);
    }
    CheckTracking(package, report);
}
