#include "config/TextFileReader.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kLineBytes = 4096;
constexpr int kUtf8 = 65001;

UINT ResolveCodePage(int codePage) { return codePage == -1 ? ::GetACP() : static_cast<UINT>(codePage); }

}  // namespace

bool TextFileReader::Open(const std::wstring& path, int flags) {
    Close();
    // Only reading is ever asked for; the flags are kept for callers that name them.
    (void)flags;
    file_ = _wfopen(path.c_str(), L"rt");
    return file_ != nullptr;
}

void TextFileReader::Close() {
    if (file_) {
        fclose(file_);
        file_ = nullptr;
    }
}

bool TextFileReader::ReadLine(std::wstring& line) {
    if (!file_) return false;
    std::vector<char> bytes(kLineBytes, '\0');
    std::vector<wchar_t> wide(kLineBytes, L'\0');
    if (!fgets(bytes.data(), kLineBytes, file_)) return false;

    int converted = CodePageToWide(bytes.data(), wide.data(), kLineBytes, codePage_);
    if (converted > 0) line.assign(wide.data(), static_cast<size_t>(converted));

    size_t n = line.size();
    if (n > 1 && line[n - 2] == L'\r' && line[n - 1] == L'\n')
        line.resize(n - 2);
    else if (n > 0 && (line[n - 1] == L'\r' || line[n - 1] == L'\n'))
        line.resize(n - 1);
    return true;
}

int CodePageToWide(const char* bytes, wchar_t* wide, int capacity, int codePage) {
    if (!bytes || !wide) return 0;
    UINT cp = ResolveCodePage(codePage);
    if (capacity > 0) std::memset(wide, 0, sizeof(wchar_t) * static_cast<size_t>(capacity));
    int result = ::MultiByteToWideChar(cp, cp == kUtf8 ? 0 : MB_PRECOMPOSED, bytes, -1, wide, capacity);
    return result > 0 ? result - 1 : result;
}

int WideToCodePage(const wchar_t* wide, char* bytes, int capacity, int codePage) {
    if (capacity < 1 || !wide || !bytes) return 0;
    std::memset(bytes, 0, static_cast<size_t>(capacity));
    UINT cp = ResolveCodePage(codePage);
    int result;
    if (cp == kUtf8) {
        result = ::WideCharToMultiByte(cp, 0, wide, -1, bytes, capacity, nullptr, nullptr);
    } else {
        BOOL usedDefault = FALSE;
        result = ::WideCharToMultiByte(cp, WC_COMPOSITECHECK | WC_SEPCHARS, wide, -1, bytes, capacity, "#",
                                       &usedDefault);
    }
    return result > 0 ? result - 1 : result;
}

int WideToCodePageSize(const wchar_t* wide, int codePage) {
    if (!wide) return 0;
    UINT cp = ResolveCodePage(codePage);
    if (cp == kUtf8) return ::WideCharToMultiByte(cp, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    return ::WideCharToMultiByte(cp, WC_COMPOSITECHECK | WC_SEPCHARS, wide, -1, nullptr, 0, "#", nullptr);
}

std::vector<char> WideToCodePageBytes(const std::wstring& wide, int codePage) {
    int size = WideToCodePageSize(wide.c_str(), codePage);
    if (size <= 0) return std::vector<char>();
    std::vector<char> bytes(static_cast<size_t>(size));
    int written = WideToCodePage(wide.c_str(), bytes.data(), size, codePage);
    bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return bytes;
}
