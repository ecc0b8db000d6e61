#pragma once
// WendrakeCheck: reads a distributor's package with Wendrake's own readers and reports, one
// line each, what the installer would get wrong with it.

#include <map>
#include <string>

#include "config/Package.h"

// Writes to standard output: wide to a console, UTF-8 to a file or pipe.
void Print(const std::wstring& text);

// The findings so far; prints each as it comes.
class Report {
public:
    void Error(const std::wstring& file, int line, const std::wstring& text) { Add(L"error", file, line, text); ++errors_; }
    void Warning(const std::wstring& file, int line, const std::wstring& text) { Add(L"warning", file, line, text); ++warnings_; }
    // Information that is no fault (where a redirect leads, a hash that matches).
    void Note(const std::wstring& file, int line, const std::wstring& text) { Add(L"note", file, line, text); }
    // The closing line: how many of each.
    void Summary(const std::wstring& folder) const;
    int Errors() const { return errors_; }
    // 0 clean, 1 warnings only, 2 errors.
    int ExitCode() const { return errors_ ? 2 : warnings_ ? 1 : 0; }

private:
    static void Add(const wchar_t* kind, const std::wstring& file, int line, const std::wstring& text);
    int errors_ = 0, warnings_ = 0;
};

// The package being checked; AppSettings() holds its ConfigParams.ini once loaded.
struct Package {
    Package(const PackageSource& source, const std::wstring& where)
        : source(source), where(where), config(source.File(L"ConfigParams.ini")),
          language(source.File(L"Language.ini")) {}
    PackageSource source;  // a folder, or a packed installer
    std::wstring where;    // the folder (with a trailing backslash) or the packed installer's path
    PackageFile config, language;
    std::wstring startLanguage;  // the section the wizard starts in; its ShortName goes into addresses
    std::map<std::wstring, int> configLines;  // lower-case key of [Params] -> its line
    int ConfigLine(const std::wstring& key) const;
};

// Whether the address is http or https with a host.
bool IsWebAddress(const std::wstring& url);
// An address setting with its placeholders replaced as the wizard replaces them.
std::wstring ExpandedAddress(const std::wstring& key, const std::wstring& value);

// Asks the server for the installer as the download engine does, and for the pages.
void CheckOnline(const Package& package, Report& report);
