#pragma once
// Line-by-line reader of text files in an explicit code page, and code-page conversions.

#include <cstdio>
#include <string>
#include <vector>

class TextFileReader {
public:
    TextFileReader() = default;
    ~TextFileReader() { Close(); }
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    // Flags 0 opens for reading in text mode (CR LF arrives as LF).
    bool Open(const std::wstring& path, int flags = 0);
    void SetCodePage(int codePage) { codePage_ = codePage; }
    // Reads the next line, at most 4095 bytes of it; false at end of file.
    // A line whose first byte is zero leaves `line` as it was and still counts as read.
    bool ReadLine(std::wstring& line);
    void Close();

private:
    FILE* file_ = nullptr;
    int codePage_ = -1;  // -1: the system ANSI code page at each conversion
};

// Converts a zero-terminated byte string; capacity counts wide characters.
// Returns the characters written without the terminator.
int CodePageToWide(const char* bytes, wchar_t* wide, int capacity, int codePage);
// Converts a zero-terminated wide string; capacity counts bytes. Characters the code page
// lacks become "#" (except for UTF-8, which has them all).
int WideToCodePage(const wchar_t* wide, char* bytes, int capacity, int codePage);
// Bytes WideToCodePage needs for the string, terminator included; 0 on failure.
int WideToCodePageSize(const wchar_t* wide, int codePage);

// The whole string converted, without a terminator, for callers that do not size buffers
// themselves. (A byte vector: std::string would bring its whole library instantiation along.)
std::vector<char> WideToCodePageBytes(const std::wstring& wide, int codePage);
