#pragma once
// Line-by-line reader of text files in an explicit code page, and code-page conversions.

#include <cstdio>
#include <string>
#include <vector>

class PackageFile;

class TextFileReader {
public:
    TextFileReader() = default;
    ~TextFileReader() { Close(); }
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;

    // Flags 0 opens for reading in text mode (CR LF arrives as LF).
    bool Open(const std::wstring& path, int flags = 0);
    // A file of a package: from disk as above; an embedded one from memory, its lines delivered
    // exactly as the C runtime's text mode delivers a file's (CR LF as LF, ^Z ends the text).
    bool Open(const PackageFile& file);
    void SetCodePage(int codePage) { codePage_ = codePage; }
    // Reads the next line, at most 4095 bytes of it; false at end of file.
    // A line whose first byte is zero leaves `line` as it was and still counts as read.
    bool ReadLine(std::wstring& line);
    void Close();

private:
    // The next piece as fgets gives it: through a line feed, at most 4095 bytes.
    bool NextPiece(char* bytes, int size);

    FILE* file_ = nullptr;
    bool inMemory_ = false;
    std::vector<char> text_;  // an embedded file after the text-mode translation
    size_t position_ = 0;
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
