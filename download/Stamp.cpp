#include "download/Stamp.h"

#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "config/Texts.h"
#include "download/Verify.h"
#include "framework/Handles.h"

namespace {

const wchar_t kStampFileName[] = L"LastDownloadDate.txt";
// Older copies read the first line into a buffer of this many characters.
const size_t kLongestLine = 2047;

std::wstring WithoutWeakPrefix(const std::wstring& etag) {
    return etag.compare(0, 2, L"W/") == 0 ? etag.substr(2) : etag;
}

// Byte vectors rather than std::string: its explicit instantiation comes whole into the program.
std::wstring FromUtf8(const char* bytes, size_t size) {
    if (size == 0) return std::wstring();
    int length = ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), &text[0], length);
    return text;
}

std::vector<char> ToUtf8(const std::wstring& text) {
    std::vector<char> bytes;
    if (text.empty()) return bytes;
    int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
    bytes.resize(static_cast<size_t>(length));
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr,
                          nullptr);
    return bytes;
}

// A value may not hold a line end: it would shift every line after it.
std::wstring OneLine(const std::wstring& text) {
    std::wstring line;
    for (wchar_t c : text)
        if (c != L'\r' && c != L'\n') line += c;
    return line.substr(0, kLongestLine);
}

}  // namespace

bool FileVersion::Matches(const FileVersion& other) const {
    if (date.empty() != other.date.empty()) return false;
    bool shared = false;
    if (!date.empty()) {
        if (_wcsicmp(date.c_str(), other.date.c_str()) != 0) return false;
        shared = true;
    }
    if (!etag.empty() && !other.etag.empty()) {
        if (WithoutWeakPrefix(etag) != WithoutWeakPrefix(other.etag)) return false;
        shared = true;
    }
    return shared;
}

std::wstring FileVersion::IfRange() const {
    if (!etag.empty() && etag.compare(0, 2, L"W/") != 0) return etag;
    return date;
}

std::wstring StampPath(const std::wstring& folder) {
    bool separated = folder.empty() || folder.back() == L'\\' || folder.back() == L'/';
    return folder + (separated ? L"" : L"\\") + kStampFileName;
}

Stamp ReadStamp(const std::wstring& folder) {
    Stamp stamp;
    FileHandle file(::CreateFileW(StampPath(folder).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return stamp;
    // Four lines of at most kLongestLine characters each, in UTF-8.
    std::vector<char> bytes(4 * (3 * kLongestLine + 2));
    DWORD length = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &length, nullptr)) return stamp;
    std::vector<std::wstring> lines;
    DWORD start = 0;
    for (DWORD i = 0; i <= length && lines.size() < 4; ++i) {
        char c = i < length ? bytes[i] : '\n';
        if (c != '\r' && c != '\n' && c != '\0') continue;
        lines.push_back(FromUtf8(bytes.data() + start, i - start).substr(0, kLongestLine));
        if (c == '\0') break;
        if (c == '\r' && i + 1 < length && bytes[i + 1] == '\n') ++i;
        start = i + 1;
    }
    lines.resize(4);
    stamp.version.date = lines[0];
    stamp.url = lines[1];
    stamp.size = lines[2].empty() ? -1 : ParseByteCount(lines[2]);
    stamp.version.etag = lines[3];
    return stamp;
}

bool WriteStamp(const std::wstring& folder, const Stamp& stamp) {
    std::wstring text = OneLine(stamp.version.date) + L"\r\n" + OneLine(stamp.url) + L"\r\n" +
                        (stamp.size >= 0 ? DecimalText(stamp.size) : std::wstring()) + L"\r\n" +
                        OneLine(stamp.version.etag) + L"\r\n";
    std::vector<char> bytes = ToUtf8(text);
    FileHandle file(::CreateFileW(StampPath(folder).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}
