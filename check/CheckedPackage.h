#pragma once
// The package being checked, read once through the installer's own readers: its settings' lines
// as the INI rules read them, and Language.ini's lines as the text reader delivers them.

#include <string>
#include <vector>

#include "config/IniFile.h"
#include "config/Package.h"
#include "config/Settings.h"
#include "config/Texts.h"

extern const wchar_t kConfigName[];    // "ConfigParams.ini"
extern const wchar_t kLanguageName[];  // "Language.ini"

// A section of Language.ini: its header's line and its keys with their lines (counted from 1).
struct LanguageSection {
    std::wstring name;
    int line = 0;
    size_t index = 0;        // its header among the reader's lines
    bool duplicate = false;  // an earlier section has the name: the wizard reads that one
    std::vector<std::pair<std::wstring, int>> keys;
    int Line(const std::wstring& key) const;
};

// A setting that holds an address, and what the wizard does with it.
enum class AddressUse { Download, Mirror, Page, Tracking };
struct AddressKey {
    std::wstring name;
    const std::wstring* value;  // in AppSettings()
    AddressUse use;
};
// Every address setting: the download's, its mirrors, the pages and the tracking address.
std::vector<AddressKey> AddressKeys();

struct CheckedPackage {
    CheckedPackage(const PackageSource& source, const std::wstring& where);

    PackageSource source;  // a folder, or a packed installer
    std::wstring where;    // the folder (with a trailing backslash) or the packed installer's path
    PackageFile config, language;
    std::vector<char> configBytes;
    std::vector<IniLine> configLines;
    std::vector<std::wstring> languageLines;  // as the installer's reader delivers them
    std::vector<LanguageSection> sections;    // in file order
    std::wstring startLanguage;  // the section the wizard starts in, once the settings are loaded

    // The line of a [Params] key that the installer reads; 0 when it has none.
    int ConfigLine(const std::wstring& key) const;
    // A text of a language as the wizard finds it, and the line giving it (0 for none).
    FoundText Text(const std::wstring& language, const std::wstring& key) const;
    int LineOf(const FoundText& text) const;
    // The section whose lines hold the given line of the reader's; null before the first header,
    // and for npos.
    const LanguageSection* SectionAt(size_t line) const;
};

// Whether the address is http or https with a host.
bool IsWebAddress(const std::wstring& url);
// An address setting as the wizard uses it with the texts loaded now: OmnitureLink as the
// tracking address of a stage (the first unless given), the others with their placeholders
// replaced.
std::wstring ExpandedAddress(const AddressKey& key, int stage = 1);
