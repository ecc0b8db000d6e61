#include "download/Answer.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace {

bool EndsWithIgnoringCase(const std::wstring& text, const wchar_t* suffix) {
    size_t length = std::wcslen(suffix);
    return text.size() >= length && _wcsicmp(text.c_str() + text.size() - length, suffix) == 0;
}

bool StartsWithIgnoringCase(const char* text, size_t length, const char* prefix) {
    size_t wanted = std::strlen(prefix);
    return length >= wanted && _strnicmp(text, prefix, wanted) == 0;
}

bool LooksLikeMarkup(const char* head, size_t length) {
    static const char* const kStarts[] = {"<!doctype html", "<html", "<head", "<body", "<script",
                                          "<meta",          "<title", "<!--",  "<?xml"};
    for (const char* start : kStarts)
        if (StartsWithIgnoringCase(head, length, start)) return true;
    return false;
}

}  // namespace

std::wstring QueryHeader(HINTERNET request, DWORD query) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof text[0];
    if (!::HttpQueryInfoW(request, query, text, &size, nullptr)) return std::wstring();
    return text;
}

long long ParseCount(const wchar_t* text, const wchar_t** end) {
    while (*text == L' ') ++text;
    long long value = -1;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (value > (LLONG_MAX - 9) / 10) return -1;
        value = (value < 0 ? 0 : value * 10) + (*text - L'0');
    }
    if (end) *end = text;
    return value;
}

ContentRange ParseContentRange(const std::wstring& text) {
    ContentRange range;
    if (_wcsnicmp(text.c_str(), L"bytes", 5) != 0) return range;
    const wchar_t* rest = text.c_str() + 5;
    range.first = ParseCount(rest, &rest);
    if (const wchar_t* slash = std::wcschr(rest, L'/')) range.total = ParseCount(slash + 1);
    return range;
}

bool CannotBeInstaller(const std::wstring& fileName, const std::wstring& contentType, const char* head,
                       size_t length) {
    if (EndsWithIgnoringCase(fileName, L".exe")) return length < 2 || head[0] != 'M' || head[1] != 'Z';
    // Past a UTF-8 byte-order mark and blanks.
    if (length >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) head += 3, length -= 3;
    while (length > 0 && (*head == ' ' || *head == '\t' || *head == '\r' || *head == '\n')) ++head, --length;
    bool htmlType = _wcsnicmp(contentType.c_str(), L"text/html", 9) == 0 ||
                    _wcsnicmp(contentType.c_str(), L"application/xhtml", 17) == 0;
    return LooksLikeMarkup(head, length) || (htmlType && length > 0 && *head == '<');
}
