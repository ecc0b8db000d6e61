#include "download/Answer.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "config/Texts.h"

namespace {

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

HttpAnswer ReadAnswer(HINTERNET request) {
    HttpAnswer answer;
    DWORD size = sizeof answer.status;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &answer.status, &size, nullptr))
        answer.status = 0;
    answer.version = {QueryHeader(request, HTTP_QUERY_LAST_MODIFIED), QueryHeader(request, HTTP_QUERY_ETAG)};
    answer.range = ParseContentRange(QueryHeader(request, HTTP_QUERY_CONTENT_RANGE));
    answer.length = ParseCount(QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH).c_str());
    answer.type = QueryHeader(request, HTTP_QUERY_CONTENT_TYPE);
    answer.encoding = QueryHeader(request, HTTP_QUERY_CONTENT_ENCODING);
    answer.location = QueryHeader(request, HTTP_QUERY_LOCATION);
    return answer;
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsHttpAddress(const std::wstring& url) {
    for (const wchar_t* scheme : {L"http://", L"https://"}) {
        size_t length = std::wcslen(scheme);
        if (url.size() > length && _wcsnicmp(url.c_str(), scheme, length) == 0) return true;
    }
    return false;
}

std::wstring RedirectTarget(const std::wstring& base, const std::wstring& location) {
    if (location.empty()) return std::wstring();
    std::vector<wchar_t> buffer(base.size() + location.size() + INTERNET_MAX_URL_LENGTH);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!::InternetCombineUrlW(base.c_str(), location.c_str(), buffer.data(), &length, ICU_NO_ENCODE))
        return std::wstring();
    std::wstring target(buffer.data(), length);
    return IsHttpAddress(target) ? target : std::wstring();
}

std::wstring RequestHeaders(bool probe, long long rangeStart, const FileVersion& resumeVersion) {
    // The probe asks for one byte: a whole-file GET would stream the file a second time
    // beside the real download, closing its handle does not stop that.
    if (probe) return RangeRequestHeaders(0, 0, std::wstring());
    // The rest of the file only if it is still the version the partial file belongs to;
    // otherwise the server sends the whole (new) file.
    return RangeRequestHeaders(rangeStart, -1, rangeStart > 0 ? resumeVersion.IfRange() : std::wstring());
}

long long ProbedSize(const HttpAnswer& probe) { return probe.status == 206 ? probe.range.total : probe.length; }

BodyPlan PlanBody(const HttpAnswer& answer, const FileRequest& asked) {
    BodyPlan plan;
    long long answerTotal = answer.length;
    if (answer.status == 206) {
        if (answer.range.first != asked.rangeStart) {
            // Bytes that do not continue the partial file are never written.
            plan.kind = asked.rangeStart == 0 ? BodyPlan::Kind::Foreign : BodyPlan::Kind::Refetch;
            return plan;
        }
        answerTotal = answer.range.total;
        plan.fromZero = answer.range.first == 0;
    }
    // The probe's size holds for this answer unless the two name different versions.
    bool probeAgrees = !answer.version.Named() || !asked.probeVersion.Named() ||
                       answer.version.Matches(asked.probeVersion);
    long long probeSays = probeAgrees ? asked.probeTotal : -1;
    plan.end = answerTotal > probeSays ? answerTotal : probeSays;
    bool sizeAgrees = answerTotal < 0 || ((probeSays < 0 || answerTotal == probeSays) &&
                                          (asked.stampSize < 0 || answerTotal == asked.stampSize));
    // A rest that names no version, or another one: it cannot extend the old bytes.
    if (!plan.fromZero && (!answer.version.Matches(asked.resumeVersion) || !sizeAgrees))
        plan.kind = BodyPlan::Kind::Refetch;
    return plan;
}

long long WholeBy416(const HttpAnswer& answer, const FileRequest& asked) {
    // A 416 is judged by the size it names; where it names none (Apache, lighttpd), by the
    // size this attempt's probe named for the version of the partial file. A file of exactly
    // that size is complete, and nothing else is.
    long long named = answer.range.total;
    long long size = named >= 0 ? named : asked.probeTotal;
    bool whole = asked.rangeStart > 0 && asked.rangeStart == size &&
                 (named < 0 || asked.probeTotal < 0 || named == asked.probeTotal) &&
                 (!answer.version.Named() || answer.version.Matches(asked.resumeVersion));
    return whole ? size : -1;
}

ContentRange ParseContentRange(const std::wstring& text) {
    ContentRange range;
    if (_wcsnicmp(text.c_str(), L"bytes", 5) != 0) return range;
    const wchar_t* rest = text.c_str() + 5;
    range.first = ParseCount(rest, &rest);
    if (range.first >= 0 && *rest == L'-') range.last = ParseCount(rest + 1, &rest);
    if (const wchar_t* slash = std::wcschr(rest, L'/')) range.total = ParseCount(slash + 1);
    return range;
}

std::wstring RangeRequestHeaders(long long first, long long last, const std::wstring& ifRange) {
    std::wstring headers = L"Range: bytes=" + DecimalText(first) + L"-" + (last >= 0 ? DecimalText(last) : L"") + L"\r\n";
    if (!ifRange.empty()) headers += L"If-Range: " + ifRange + L"\r\n";
    return headers + L"Accept-Encoding: identity\r\n";
}

bool IsEncodedBody(const std::wstring& contentEncoding) {
    return !contentEncoding.empty() && _wcsicmp(contentEncoding.c_str(), L"identity") != 0;
}

bool NamesAProgram(const std::wstring& fileName) {
    return fileName.size() >= 4 && _wcsicmp(fileName.c_str() + fileName.size() - 4, L".exe") == 0;
}

bool CannotBeInstaller(const std::wstring& fileName, const std::wstring& contentType, const char* head,
                       size_t length) {
    if (NamesAProgram(fileName)) return length < 2 || head[0] != 'M' || head[1] != 'Z';
    // Past a UTF-8 byte-order mark and blanks.
    if (length >= 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0) head += 3, length -= 3;
    while (length > 0 && (*head == ' ' || *head == '\t' || *head == '\r' || *head == '\n')) ++head, --length;
    bool htmlType = _wcsnicmp(contentType.c_str(), L"text/html", 9) == 0 ||
                    _wcsnicmp(contentType.c_str(), L"application/xhtml", 17) == 0;
    return LooksLikeMarkup(head, length) || (htmlType && length > 0 && *head == '<');
}
