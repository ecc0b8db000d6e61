#pragma once
// An INI file read by Windows' rules. A file on disk is read by Windows' own reader
// (GetPrivateProfileStringW); an embedded one by the same rules in memory, never through a
// temporary file that another program could swap in between:
// - UTF-16 (little-endian) after its byte-order mark, otherwise the ANSI code page;
// - lines end at a line feed; blanks (a carriage return and ^Z among them) around a line, a key
//   and a value are removed;
// - "[name]" opens a section (the name runs to the line's last "]"); sections and keys are found
//   in any letter case, the first section of a name and its first key of a name only;
// - a value that starts and ends with the same quotation mark (' or ") loses that pair.

#include <string>
#include <vector>

#include "config/Package.h"

class IniFile {
public:
    explicit IniFile(const PackageFile& file);

    // The key's value, or empty when the file, the section or the key is missing. With a limit,
    // at most that many characters, as Windows' reader leaves them in a buffer one longer.
    std::wstring Value(const std::wstring& section, const std::wstring& key, size_t limit = 0) const;
    // The keys of the section in file order, as Windows lists them: lines without "=" and
    // comments (";" first) left out.
    std::vector<std::wstring> Keys(const std::wstring& section) const;

private:
    PackageFile file_;
    std::wstring text_;  // an embedded file, decoded
};

// Decodes an INI file's bytes as Windows' reader does: UTF-16 after its mark, else ANSI.
std::wstring DecodeIniText(const std::vector<char>& bytes);

// Whether two section or key names are one to the reader (letter case ignored, as it ignores it).
bool SameIniName(const std::wstring& a, const std::wstring& b);

// One line of an INI file's text as the rules above read it (blank lines are left out).
struct IniLine {
    int number = 0;         // counted from 1, as an editor counts them
    bool header = false;    // "[name]"
    std::wstring section;   // the header's name, or the name of the section the line lies in
    std::wstring key;       // the text before "=" (all of it without one), blanks removed
    std::wstring value;     // the text after "=", blanks removed, as stored (quotes kept)
    bool hasEquals = false;
    bool firstSection = false;  // in (or opening) the first section of its name: the one read
    bool read = false;          // the line a lookup of its section and key returns
};
// The lines of a decoded INI text.
std::vector<IniLine> ReadIniLines(const std::wstring& text);
