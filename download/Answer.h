#pragma once
// Reading a server's answer: the numbers in its headers, and whether the first bytes of its
// body can be the installer at all.

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string>

// A response header's text; empty when the response has none.
std::wstring QueryHeader(HINTERNET request, DWORD query);

// The decimal number at the start of the text (after blanks); -1 when there is none.
long long ParseCount(const wchar_t* text, const wchar_t** end = nullptr);

// "bytes <first>-<last>/<total>", or "bytes */<total>" on a 416; -1 for what is missing.
struct ContentRange {
    long long first = -1;
    long long total = -1;
};
ContentRange ParseContentRange(const std::wstring& text);

// How many of the body's first bytes the judgement below wants to see.
constexpr size_t kJudgedBytes = 256;

// Whether a body that starts at the file's first byte cannot be the installer `fileName`. A
// program (a name ending in ".exe") starts with "MZ", whatever type the server gives it, since
// some servers label programs wrongly. Anything else must at least not be a web page: markup
// at its start, or the type text/html with a '<' first. `head` holds the body's first bytes (up
// to kJudgedBytes; fewer when the body is shorter).
bool CannotBeInstaller(const std::wstring& fileName, const std::wstring& contentType, const char* head,
                       size_t length);
