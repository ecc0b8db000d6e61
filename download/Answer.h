#pragma once
// Asking a server for the file and reading its answer: the numbers in its headers, what an
// answer means for the bytes on disk, and whether the first bytes of its body can be the
// installer at all. Nothing here keeps state: the engine decides with these.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

#include "download/Stamp.h"

// A response header's text; empty when the response has none.
std::wstring QueryHeader(HINTERNET request, DWORD query);

// The decimal number at the start of the text (after blanks); -1 when there is none.
long long ParseCount(const wchar_t* text, const wchar_t** end = nullptr);

// "bytes <first>-<last>/<total>", or "bytes */<total>" on a 416; -1 for what is missing.
struct ContentRange {
    long long first = -1;
    long long total = -1;
    long long last = -1;
};
ContentRange ParseContentRange(const std::wstring& text);

// What an answer's status line and headers say, read once.
struct HttpAnswer {
    DWORD status = 0;       // 0: no status line came
    FileVersion version;    // Last-Modified and ETag
    ContentRange range;     // Content-Range
    long long length = -1;  // Content-Length; -1 when it has none
    std::wstring type;      // Content-Type
    std::wstring encoding;  // Content-Encoding
    std::wstring location;  // Location
};
HttpAnswer ReadAnswer(HINTERNET request);

bool IsRedirect(DWORD status);
// Whether the address is an http or https one (letter case ignored): the only kind that is
// ever requested, in the background or for the installer, or handed to a browser.
bool IsHttpAddress(const std::wstring& url);
// A redirect's Location read against the address that gave it; empty when that makes no web
// address.
std::wstring RedirectTarget(const std::wstring& base, const std::wstring& location);

// The headers of a request for the bytes from `first` to `last` (-1: to the end), with If-Range
// when `ifRange` names a version. Only plain bytes can be the installer: no compressed body is
// asked for.
std::wstring RangeRequestHeaders(long long first, long long last, const std::wstring& ifRange);
// The headers of the engine's requests: the probe's (`probe`) for the first byte, or the file
// request's for the bytes from `rangeStart` on, the rest only if it is still `resumeVersion`.
std::wstring RequestHeaders(bool probe, long long rangeStart, const FileVersion& resumeVersion);
// Whether a body with this Content-Encoding is compressed, and so not the installer's bytes.
bool IsEncodedBody(const std::wstring& contentEncoding);

// The whole size a probe's 200 or 206 names; -1 when it names none.
long long ProbedSize(const HttpAnswer& probe);

// What the file request asked, and what the engine knew of the file when it asked.
struct FileRequest {
    long long rangeStart = 0;    // first byte asked for
    FileVersion resumeVersion;   // when resumed: the version the rest must be
    long long probeTotal = -1;   // the whole size the probe named; -1 unknown
    FileVersion probeVersion;    // the version the probe named
    long long stampSize = -1;    // the whole size the stamp names; -1 unknown
};
// What a 200 or 206 answer to the file request means for the bytes on disk.
struct BodyPlan {
    enum class Kind {
        Take,     // its body is kept
        Refetch,  // it cannot extend the bytes on disk: ask again for the whole file
        Foreign,  // it does not give the file asked for: a server's fault
    } kind = Kind::Take;
    bool fromZero = true;     // its body starts at the file's first byte
    long long end = -1;       // the whole file's size as this answer and the probe tell it; -1 unknown
};
BodyPlan PlanBody(const HttpAnswer& answer, const FileRequest& asked);
// The whole size when a 416 to the file request says the partial file is already the whole
// file; -1 when it does not.
long long WholeBy416(const HttpAnswer& answer, const FileRequest& asked);

// How many of the body's first bytes the judgement below wants to see.
constexpr size_t kJudgedBytes = 256;

// Whether the file name is a program's (ends in ".exe", letter case ignored).
bool NamesAProgram(const std::wstring& fileName);
// Whether a body that starts at the file's first byte cannot be the installer `fileName`. A
// program (NamesAProgram) starts with "MZ", whatever type the server gives it, since
// some servers label programs wrongly. Anything else must at least not be a web page: markup
// at its start, or the type text/html with a '<' first. `head` holds the body's first bytes (up
// to kJudgedBytes; fewer when the body is shorter).
bool CannotBeInstaller(const std::wstring& fileName, const std::wstring& contentType, const char* head,
                       size_t length);
