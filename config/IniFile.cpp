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

bool SameIniName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Folded(a[i]) != Folded(b[i])) return false;
    return true;
}

std::vector<IniLine> ReadIniLines(const std::wstring& text) {
    std::vector<IniLine> lines;
    std::wstring section;
    bool firstSection = false;
    size_t sectionStart = 0;  // the index in `lines` after the current section's header
    int number = 0;
    for (size_t next = 0; next < text.size();) {
        size_t end = text.find(L'\n', next);
        if (end == std::wstring::npos) end = text.size();
        IniLine line;
        line.number = ++number;
        const std::wstring trimmed = Trimmed(text.substr(next, end - next));
        next = end + 1;
        if (trimmed.empty()) continue;
        // "[name]": the name runs to the line's last "]". A "[" without one is no header.
        size_t close = trimmed.rfind(L']');
        if (trimmed[0] == L'[' && close != std::wstring::npos) {
            section = trimmed.substr(1, close - 1);
            // An empty name is never found; only the first section of a name is read.
            firstSection = !section.empty();
            for (const IniLine& earlier : lines)
                firstSection = firstSection && !(earlier.header && SameIniName(earlier.section, section));
            line.header = true;
            line.section = section;
            line.firstSection = firstSection;
            lines.push_back(line);
            sectionStart = lines.size();
            continue;
        }
        size_t equals = trimmed.find(L'=');
        line.section = section;
        line.hasEquals = equals != std::wstring::npos;
        line.key = Trimmed(trimmed.substr(0, equals));
        if (line.hasEquals) line.value = Trimmed(trimmed.substr(equals + 1));
        line.firstSection = firstSection;
        line.read = firstSection;
        for (size_t i = sectionStart; i < lines.size() && line.read; ++i)
            line.read = !SameIniName(lines[i].key, line.key);
        lines.push_back(line);
    }
    return lines;
}

IniFile::IniFile(const PackageFile& file) : file_(file) {
    std::vector<char> bytes;
    if (file_.Embedded() && file_.Read(bytes)) text_ = DecodeIniText(bytes);
}

std::wstring IniFile::Value(const std::wstring& section, const std::wstring& key, size_t limit) const {
    if (!file_.Embedded()) return AskWindows(section.c_str(), key.c_str(), file_.Path(), limit).data();
    const std::wstring wantedSection = Trimmed(section), wantedKey = Trimmed(key);
    for (const IniLine& line : ReadIniLines(text_))
        if (line.read && SameIniName(line.section, wantedSection) && SameIniName(line.key, wantedKey))
            // A line without "=" is a key without a value.
            return line.hasEquals ? AsReturned(line.value, limit) : std::wstring();
    return std::wstring();
}

std::vector<std::wstring> IniFile::Keys(const std::wstring& section) const {
    std::vector<std::wstring> keys;
    if (!file_.Embedded()) {
        std::vector<wchar_t> list = AskWindows(section.c_str(), nullptr, file_.Path(), 0);
        for (const wchar_t* name = list.data(); *name; name += wcslen(name) + 1) keys.push_back(name);
        return keys;
    }
    const std::wstring wanted = Trimmed(section);
    for (const IniLine& line : ReadIniLines(text_))
        if (!line.header && line.firstSection && SameIniName(line.section, wanted) && line.hasEquals &&
            !line.key.empty() && line.key[0] != L';')
            keys.push_back(line.key.c_str());
    return keys;
}
