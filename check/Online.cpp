#include "check/Online.h"

#include <wininet.h>

#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "download/Answer.h"
#include "download/DownloadEngine.h"
#include "download/InstallerChecks.h"
#include "download/Tracker.h"
#include "download/Verify.h"
#include "framework/Handles.h"

namespace {

// An answer as the engine reads it (ReadAnswer), with what the checker also says of it.
struct Answer : HttpAnswer {
    DWORD error = 0;           // WinINet's error when there was no answer
    std::wstring contentRange;  // as the server wrote it
    std::wstring url;           // where redirects led
};

// One GET with the engine's flags and headers, for the bytes from `first` to `last` (-1: to the
// end), or without a range when `first` is negative.
InternetHandle Ask(HINTERNET session, const std::wstring& url, long long first, long long last, Answer& answer) {
    std::wstring headers = first >= 0 ? RangeRequestHeaders(first, last, std::wstring()) : std::wstring();
    InternetHandle request(::InternetOpenUrlW(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                              headers.empty() ? 0 : static_cast<DWORD>(-1),
                                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request) {
        answer.error = ::GetLastError();
        return request;
    }
    static_cast<HttpAnswer&>(answer) = ReadAnswer(request.Get());
    answer.contentRange = QueryHeader(request.Get(), HTTP_QUERY_CONTENT_RANGE);
    wchar_t where[2048] = {};
    DWORD bytes = sizeof where;
    if (::InternetQueryOptionW(request.Get(), INTERNET_OPTION_URL, where, &bytes)) answer.url = where;
    return request;
}

std::wstring Hex(const unsigned char* digest, size_t length) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring hex;
    for (size_t i = 0; i < length; ++i) hex += std::wstring{kDigits[digest[i] >> 4], kDigits[digest[i] & 15]};
    return hex;
}

// The SHA-256 of the rest of the body, by the engine's own hash; false when reading or hashing fails.
bool HashBody(HINTERNET request, unsigned char digest[Sha256::kSize], long long& bytes) {
    Sha256 hash;
    if (!hash.Restart()) return false;
    std::vector<BYTE> buffer(65536);
    DWORD read = 0;
    while (::InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &read) && read) {
        if (!hash.Add(buffer.data(), read)) return false;
        bytes += read;
    }
    return hash.Result(digest);
}

// The installer at one address of a key, asked as the engine asks it; the download is saved,
// and judged, under `fileName` whichever address it comes from. Returns the file's size as the
// server names it; 0 when it names none or cannot be asked.
long long CheckInstaller(HINTERNET session, const CheckedPackage& package, const std::wstring& key,
                         const std::wstring& url, const std::wstring& fileName, const std::wstring& languages,
                         Report& report) {
    const Settings& settings = AppSettings();
    const int line = package.ConfigLine(key);
    auto error = [&](const std::wstring& text) {
        report.Error(kConfigName, line, text + languages);
        return 0;
    };

    Answer probe;
    InternetHandle request = Ask(session, url, 0, 0, probe);
    if (probe.error)
        return error(L"the download server cannot be reached (WinINet error " + std::to_wstring(probe.error) + L"): " + url);
    if (!probe.url.empty() && probe.url != url) report.Note(kConfigName, line, L"redirected to " + probe.url + languages);
    if (probe.status != 200 && probe.status != 206)
        return error(L"the download server answers " + std::to_wstring(probe.status) + L": " + url);
    // The size as the engine learns it from the probe, Content-Range read by the engine's parser.
    const ContentRange& range = probe.range;
    long long total = ProbedSize(probe);
    const bool ranges = probe.status == 206;
    if (ranges && (range.first != 0 || range.last != 0 || range.total <= 0))
        return error(L"the probe (Range: bytes=0-0) gets Content-Range '" + probe.contentRange +
                     L"', not 'bytes 0-0/<size>'");
    if (!ranges) {
        report.Warning(kConfigName, line, L"the server ignores Range (200 for bytes=0-0): every run downloads the "
                                          L"whole file and nothing resumes" + languages);
    }
    request.Reset();

    // The file's first bytes, judged as the installer judges them.
    Answer head;
    request = Ask(session, url, 0, kJudgedBytes - 1, head);
    std::vector<char> firstBytes(kJudgedBytes);
    DWORD got = 0, read = 0;
    while (request && got < kJudgedBytes &&
           ::InternetReadFile(request.Get(), firstBytes.data() + got, static_cast<DWORD>(kJudgedBytes) - got, &read) &&
           read)
        got += read;
    // (A compressed body is refused before it is judged; that error is said below.)
    if (request && (head.status == 200 || head.status == 206) && !IsEncodedBody(head.encoding) &&
        CannotBeInstaller(fileName, head.type, firstBytes.data(), got)) {
        std::wstring shown;
        for (DWORD i = 0; i < got && i < 16; ++i)
            shown += firstBytes[i] >= 0x20 && firstBytes[i] < 0x7F ? static_cast<wchar_t>(firstBytes[i]) : L'.';
        error(L"the address serves no installer: its file starts '" + shown +
              L"', not as a program does (MZ), or is a web page; the installer refuses it and says that the "
              L"network may need a sign-in");
    }
    request.Reset();

    // A resumed run asks for the rest of the file from where its partial file ends.
    Answer middle;
    const long long from = total > 0 ? total / 2 : 0;
    const std::wstring asked = L"bytes=" + std::to_wstring(from) + L"-";
    request = Ask(session, url, from, -1, middle);
    const ContentRange& rest = middle.range;
    if (middle.error)
        error(L"a second request fails (WinINet error " + std::to_wstring(middle.error) + L")");
    else if (ranges && middle.status != 206)
        error(L"a range from the middle (" + asked + L") gets " + std::to_wstring(middle.status) +
              L", not 206: a resumed download fails");
    else if (ranges && (rest.first != from || rest.last != total - 1 || rest.total != total))
        error(L"a range from the middle (" + asked + L") gets Content-Range '" + middle.contentRange + L"', not 'bytes " +
              std::to_wstring(from) + L"-" + std::to_wstring(total - 1) + L"/" + std::to_wstring(total) +
              L"': a resumed download fails");
    request.Reset();

    // The installer names a file's version by its Last-Modified, and its ETag where there is one.
    if (!probe.version.Named())
        error(L"no Last-Modified: an interrupted download starts again from zero, and the wizard shows no percentage");
    else if (!middle.error && !middle.version.Matches(probe.version))
        error(L"Last-Modified changes between two requests ('" + probe.version.date + L"', then '" +
              middle.version.date + L"'): every run starts the download again from zero");
    for (const std::wstring& encoding : {probe.encoding, middle.encoding})
        if (IsEncodedBody(encoding)) {
            error(L"the server sends Content-Encoding: " + encoding +
                  L": the installer refuses the compressed body and says the server has a problem");
            break;
        }

    // The engine refuses a file of another size than InstallerSize before it writes a byte.
    InstallerChecks checks;
    checks.Set(settings.InstallerSHA256, settings.InstallerSize, settings.InstallerSigner);
    if (total > 0 && checks.RefusesSize(total))
        report.Error(kConfigName, package.ConfigLine(L"InstallerSize"),
                     L"InstallerSize is " + settings.InstallerSize + L", the server's file has " + std::to_wstring(total) +
                         L" bytes: " + url + languages);
    unsigned char expected[Sha256::kSize];
    if (!ParseSha256(settings.InstallerSHA256, expected)) return total > 0 ? total : 0;
    Answer whole;
    request = Ask(session, url, 0, -1, whole);
    long long bytes = 0;
    unsigned char digest[Sha256::kSize];
    const bool hashed = request && (whole.status == 200 || whole.status == 206) && HashBody(request.Get(), digest, bytes);
    const int hashLine = package.ConfigLine(L"InstallerSHA256");
    if (!hashed)
        report.Error(kConfigName, hashLine,
                     L"the installer could not be downloaded to compare its SHA-256: " + url + languages);
    else if (total > 0 && bytes != total)  // a connection that ends early reads like the end of the file
        report.Error(kConfigName, hashLine, L"the download for the SHA-256 ended after " + std::to_wstring(bytes) +
                                                L" of " + std::to_wstring(total) + L" bytes: " + url + languages);
    else if (std::memcmp(digest, expected, Sha256::kSize) != 0)
        report.Error(kConfigName, hashLine, L"the server's file (" + std::to_wstring(bytes) + L" bytes) has SHA-256 " +
                                                Hex(digest, Sha256::kSize) + L", not InstallerSHA256: " + url + languages);
    else
        report.Note(kConfigName, hashLine, L"the server's file (" + std::to_wstring(bytes) +
                                               L" bytes) matches InstallerSHA256: " + url + languages);
    return total > 0 ? total : 0;
}

// Each address as every language makes it, the language the wizard starts in first: address ->
// the languages that ask for it.
using LanguageAddresses = std::vector<std::pair<std::wstring, std::vector<std::wstring>>>;

LanguageAddresses AddressesOf(const CheckedPackage& package, const AddressKey& key, int stage = 1) {
    std::vector<std::wstring> languages = {package.startLanguage};
    for (const LanguageSection& section : package.sections)
        if (!section.duplicate && section.name != package.startLanguage) languages.push_back(section.name);
    LanguageAddresses addresses;
    for (const std::wstring& language : languages) {
        LoadTexts(language, package.language);
        const std::wstring url = ExpandedAddress(key, stage);
        auto known = addresses.begin();
        while (known != addresses.end() && known->first != url) ++known;
        if (known == addresses.end())
            addresses.push_back({url, {language}});
        else
            known->second.push_back(language);
    }
    LoadTexts(package.startLanguage, package.language);
    return addresses;
}

// Which languages ask for an address, where the languages ask for different ones.
std::wstring ForLanguages(const LanguageAddresses& addresses, size_t index) {
    if (addresses.size() < 2) return std::wstring();
    std::wstring names;
    for (const std::wstring& language : addresses[index].second) names += (names.empty() ? L"" : L", ") + language;
    return L" (" + names + L")";
}

// What a page or the tracking address must answer, and what a failure means.
struct Expected {
    bool any2xx;                 // the tracking address may answer any 2xx; a page 200
    const wchar_t* unreachable;  // what a failure to reach it means, or empty
    const wchar_t* refused;      // what another status means, or empty
};
const Expected kPage = {false, L"", L""};
const Expected kTracking = {true, L": the stage is not counted", L": the stage may not be counted"};

// One warning for each way the addresses fail, naming the addresses that fail so.
void CheckAnswers(HINTERNET session, const std::wstring& what, int line,
                  const LanguageAddresses& addresses, const Expected& expected, Report& report) {
    std::vector<std::pair<std::wstring, std::wstring>> failures;  // how -> which addresses
    for (size_t i = 0; i < addresses.size(); ++i) {
        Answer answer;
        InternetHandle request = Ask(session, addresses[i].first, -1, -1, answer);
        const bool good = expected.any2xx ? answer.status >= 200 && answer.status <= 299 : answer.status == 200;
        std::wstring how;
        if (answer.error)
            how = L"cannot be reached (WinINet error " + std::to_wstring(answer.error) + L")" + expected.unreachable;
        else if (!good)
            how = L"answers " + std::to_wstring(answer.status) + (expected.any2xx ? L", not 2xx" : L", not 200") +
                  expected.refused;
        if (how.empty()) continue;
        auto known = failures.begin();
        while (known != failures.end() && known->first != how) ++known;
        if (known == failures.end()) known = failures.insert(failures.end(), {how, std::wstring()});
        known->second += (known->second.empty() ? L"" : L", ") + addresses[i].first + ForLanguages(addresses, i);
    }
    for (const auto& failure : failures) report.Warning(kConfigName, line, what + L" " + failure.first + L": " + failure.second);
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
// address must answer each stage's request, with the tracker's agent; any 2xx will do.
void CheckTracking(const CheckedPackage& package, const AddressKey& key, Report& report) {
    InternetHandle session = OpenSession(kTrackingAgent);
    if (!session) return report.Error(L"WendrakeCheck", 0, L"WinINet cannot be opened");
    for (int stage = 1; stage <= 3; ++stage) {
        LanguageAddresses addresses = AddressesOf(package, key, stage);
        if (!IsWebAddress(addresses.front().first)) return;  // said with the settings
        CheckAnswers(session.Get(), key.name + L" for stage " + std::to_wstring(stage),
                     package.ConfigLine(key.name), addresses, kTracking, report);
    }
}

}  // namespace

void CheckOnline(const CheckedPackage& package, Report& report) {
    InternetHandle session = OpenSession(L"MyAgent");
    if (!session) return report.Error(L"WendrakeCheck", 0, L"WinINet cannot be opened");
    // Every mirror as the main address: the download, or the rest of it, may come from any of them,
    // and it is saved, and judged, under the main address's file name.
    const std::vector<AddressKey> keys = AddressKeys();
    LoadTexts(package.startLanguage, package.language);
    const std::wstring fileName = FileNameFromUrl(ExpandedAddress(keys.front()));
    long long size = 0;
    for (const AddressKey& key : keys) {
        if (key.value->empty()) continue;
        if (key.use == AddressUse::Tracking) {
            CheckTracking(package, key, report);
            continue;
        }
        const LanguageAddresses addresses = AddressesOf(package, key);
        if (key.use == AddressUse::Page) {
            CheckAnswers(session.Get(), key.name, package.ConfigLine(key.name), addresses, kPage, report);
            continue;
        }
        for (size_t i = 0; i < addresses.size(); ++i) {
            const long long total = CheckInstaller(session.Get(), package, key.name, addresses[i].first, fileName,
                                                   ForLanguages(addresses, i), report);
            if (key.use == AddressUse::Download && i == 0) size = total;
            if (key.use == AddressUse::Mirror && size && total && total != size)
                report.Warning(kConfigName, package.ConfigLine(key.name),
                               key.name + L"'s file has " + std::to_wstring(total) + L" bytes, InstallerDownloadURL's " +
                                   std::to_wstring(size) + L": it is not the same installer");
        }
    }
}
