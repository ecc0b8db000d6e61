#pragma once
// How the checker speaks: one line per finding, as it comes, and a closing count.

#include <windows.h>

#include <string>

// Writes to standard output: wide to a console, UTF-8 to a file or pipe.
void Print(const std::wstring& text);

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

// 1234567 as "1,234,567".
std::wstring Grouped(unsigned long long n);
// "436 x 394".
std::wstring Pixels(SIZE size);
// "a", "a and b", "a, b and c".
std::wstring Listed(const std::wstring& list);
