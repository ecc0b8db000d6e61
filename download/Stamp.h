#pragma once
// What ties a partial file to the server's file across runs: LastDownloadDate.txt, beside the
// downloaded file. Its first line is the server's Last-Modified text alone (older copies of the
// program read only that line); then the address the file came from, the whole file's size and
// the server's ETag, each on a line of its own. A file of the date alone, as older copies
// wrote it, reads as that date with nothing else known.

#include <string>

// The version of its file that a server names in an answer.
struct FileVersion {
    std::wstring date;  // Last-Modified
    std::wstring etag;  // ETag; empty when the server sends none

    bool Named() const { return !date.empty() || !etag.empty(); }
    // The same file: every validator that both sides have agrees (dates without regard to
    // case, ETags weakly), at least one is shared, and a date on one side is there on the other.
    bool Matches(const FileVersion& other) const;
    // What a resumed request's If-Range carries: a strong ETag, else the date (servers take
    // no weak ETag there).
    std::wstring IfRange() const;
};

struct Stamp {
    FileVersion version;
    std::wstring url;     // empty in stamps of older copies
    long long size = -1;  // -1 in stamps of older copies
};

// The stamp file's path in a download folder (ending in a backslash, or empty).
std::wstring StampPath(const std::wstring& folder);
// The stamp of the folder; an empty one when there is none or it cannot be read.
Stamp ReadStamp(const std::wstring& folder);
// Replaces the folder's stamp file (UTF-8, CRLF line ends).
bool WriteStamp(const std::wstring& folder, const Stamp& stamp);
