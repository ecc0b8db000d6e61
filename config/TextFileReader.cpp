#include "config/TextFileReader.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "config/Package.h"

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

bool TextFileReader::Open(const PackageFile& file) {
    if (!file.Embedded()) return Open(file.Path(), 0);
    Close();
    std::vector<char> bytes;
    if (!file.Read(bytes)) return false;
    // What the C runtime's text mode makes of a file: ^Z ends it, CR LF becomes LF.
    for (size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text_.push_back(bytes[i]);
    }
    inMemory_ = true;
    return true;
}

void TextFileReader::Close() {
    if (file_) {
        fclose(file_);
        file_ = nullptr;
    }
    inMemory_ = false;
    text_.clear();
    position_ = 0;
}

bool TextFileReader::NextPiece(char* bytes, int size) {
    if (!inMemory_) return file_ && fgets(bytes, size, file_) != nullptr;
    if (position_ >= text_.size()) return false;
    for (int n = 0; n < size - 1 && position_ < text_.size();) {
        char c = text_[position_++];
        bytes[n++] = c;
        if (c == '\n') break;
    }
    return true;
}

bool TextFileReader::ReadLine(std::wstring& line) {
    std::vector<char> bytes(kLineBytes, '\0');
    std::vector<wchar_t> wide(kLineBytes, L'\0');
    if (!NextPiece(bytes.data(), kLineBytes)) return false;

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
