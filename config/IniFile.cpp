#include "config/IniFile.h"

#include <windows.h>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x1A; }

std::wstring Trimmed(const std::wstring& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

wchar_t Folded(wchar_t c) {
    if (c < 0x80) return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    ::CharUpperBuffW(&c, 1);
    return c;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

// What Windows' reader hands back of a stored value: one pair of enclosing quotes removed, the
// text up to any zero character, at most `limit` characters.
std::wstring AsReturned(std::wstring value, size_t limit) {
    if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    size_t zero = value.find(L'\0');
    if (zero != std::wstring::npos) value.resize(zero);
    if (limit && value.size() > limit) value.resize(limit);
    return value;
}

// Windows' reader on disk, with a buffer that grows until the whole answer fits.
std::vector<wchar_t> AskWindows(const wchar_t* section, const wchar_t* key, const std::wstring& path, size_t limit) {
    for (DWORD size = limit ? static_cast<DWORD>(limit + 1) : 256;; size *= 2) {
        std::vector<wchar_t> buffer(size + 1, L'\0');
        DWORD got = ::GetPrivateProfileStringW(section, key, L"", buffer.data(), size, path.c_str());
        // A full buffer reads size - 1 characters for a value, size - 2 for a list of keys.
        if (limit || got + 2 < size || size >= (1u << 24)) return buffer;
    }
}

}  // namespace

std::wstring DecodeIniText(const std::vector<char>& bytes) {
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.resize((bytes.size() - 2) / 2);
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
    } else if (!bytes.empty()) {
        int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
        text.resize(static_cast<size_t>(length > 0 ? length : 0));
        if (length > 0)
            ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    }
    return text;
}

IniFile::IniFile(const PackageFile& file) : file_(file) {
    std::vector<char> bytes;
    if (file_.Embedded() && file_.Read(bytes)) text_ = DecodeIniText(bytes);
}

namespace {

// The file's lines from a place on, each without its blanks; empty lines are skipped.
class Lines {
public:
    Lines(const std::wstring& text, size_t from) : text_(text), next_(from) {}
    bool Next(std::wstring& line) {
        while (next_ < text_.size()) {
            size_t end = text_.find(L'\n', next_);
            if (end == std::wstring::npos) end = text_.size();
            line = Trimmed(text_.substr(next_, end - next_));
            next_ = end + 1;
            if (!line.empty()) return true;
        }
        return false;
    }
    size_t Position() const { return next_; }

private:
    const std::wstring& text_;
    size_t next_;
};

// "[name]": the name runs to the line's last "]". A "[" without one is no header.
bool IsHeader(const std::wstring& line, std::wstring* name) {
    size_t close = line.rfind(L']');
    if (line[0] != L'[' || close == std::wstring::npos) return false;
    if (name) *name = line.substr(1, close - 1);
    return true;
}

}  // namespace

size_t IniFile::SectionStart(const std::wstring& section) const {
    const std::wstring wanted = Trimmed(section);
    Lines lines(text_, 0);
    std::wstring line, name;
    while (lines.Next(line))
        if (IsHeader(line, &name) && !name.empty() && SameIgnoringCase(name, wanted)) return lines.Position();
    return std::wstring::npos;
}

std::wstring IniFile::Value(const std::wstring& section, const std::wstring& key, size_t limit) const {
    if (!file_.Embedded()) return AskWindows(section.c_str(), key.c_str(), file_.Path(), limit).data();
    size_t start = SectionStart(section);
    if (start == std::wstring::npos) return std::wstring();
    const std::wstring wanted = Trimmed(key);
    Lines lines(text_, start);
    std::wstring line;
    while (lines.Next(line) && !IsHeader(line, nullptr)) {
        size_t equals = line.find(L'=');
        // A line without "=" is a key without a value.
        if (SameIgnoringCase(Trimmed(line.substr(0, equals)), wanted))
            return equals == std::wstring::npos ? std::wstring() : AsReturned(Trimmed(line.substr(equals + 1)), limit);
    }
    return std::wstring();
}

std::vector<std::wstring> IniFile::Keys(const std::wstring& section) const {
    std::vector<std::wstring> keys;
    if (!file_.Embedded()) {
        std::vector<wchar_t> list = AskWindows(section.c_str(), nullptr, file_.Path(), 0);
        for (const wchar_t* name = list.data(); *name; name += wcslen(name) + 1) keys.push_back(name);
        return keys;
    }
    size_t start = SectionStart(section);
    if (start == std::wstring::npos) return keys;
    Lines lines(text_, start);
    std::wstring line;
    while (lines.Next(line) && !IsHeader(line, nullptr)) {
        size_t equals = line.find(L'=');
        std::wstring key = equals == std::wstring::npos ? std::wstring() : Trimmed(line.substr(0, equals));
        if (!key.empty() && key[0] != L';') keys.push_back(key.c_str());
    }
    return keys;
}
