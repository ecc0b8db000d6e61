#pragma once
// The installer's bytes on disk and the stamp beside them: which bytes may be continued, how an
// answer's bytes replace or extend them, and the finished file held for reading. The engine calls
// it under its lock; it knows nothing of requests.

#include <windows.h>

#include <string>

#include "download/FileOps.h"
#include "download/Stamp.h"
#include "framework/Handles.h"

class PartialFile {
public:
    // The operations that delete and cut back files; null: the system's.
    void SetOps(FileOps* operations) { ops_ = operations ? operations : &FileOps::System(); }
    // A new download into `path` in `folder`: nothing open, nothing held.
    void Reset(const std::wstring& folder, const std::wstring& path);
    // Reads the folder's stamp: what the bytes on disk are.
    void ReadStamp() { stamp_ = ::ReadStamp(folder_); }

    const std::wstring& FilePath() const { return path_; }
    const Stamp& Stamped() const { return stamp_; }

    // Opens the file for adding to (once), and says how many bytes it has; -1 when there is no
    // file yet. False when it is there but cannot be opened or measured.
    bool OpenForAdding(long long& partial);
    // Whether any bytes of the file are on disk.
    bool HasBytes() const;
    // Whether the stamp's bytes came from `url` (`first`: the first of the file's addresses).
    bool CameFrom(const std::wstring& url, bool first) const;
    // Whether `partial` bytes on disk may be continued from a server whose probe named `total`
    // bytes (-1 unknown) of `version`. `sameAddress`: the stamp's bytes came from that server;
    // `provable`: the distributor's checks will prove the whole file.
    bool Resumable(long long partial, long long total, const FileVersion& version, bool sameAddress,
                   bool provable) const;
    // Whether the disk has room for a file of `end` bytes (-1 unknown: yes), when an answer from
    // the first byte (`fromZero`) or from `rangeStart` comes.
    bool EnoughRoom(long long end, bool fromZero, long long rangeStart);
    // Makes ready for an answer's first byte: from the first byte, the old bytes go; else the
    // bytes are added at the end. The stamp then names `version` of `url`, `end` bytes long, or
    // is gone when the answer names no version. False when the file or the stamp resists.
    bool Begin(const FileVersion& version, const std::wstring& url, long long end, bool fromZero);
    // Appends the bytes; `written` says how many went. ERROR_SUCCESS, or why not all did.
    DWORD Write(const char* bytes, DWORD length, DWORD& written);
    // Closes the file being written; the bytes stay.
    void CloseWriter() { file_.Reset(); }

    // Closes the writer and holds the finished file open for reading only. False when it cannot.
    bool Hold();
    HANDLE Held() const { return held_ ? held_.Get() : nullptr; }
    void Release() { held_.Reset(); }
    // Lets every handle go and removes the file with its stamp. False when they could not be removed.
    bool Discard();

private:
    FileOps* ops_ = &FileOps::System();
    std::wstring folder_;
    std::wstring path_;
    FileHandle file_;  // the file being written
    FileHandle held_;  // the finished file, open for reading only
    Stamp stamp_;      // what the stamp file says of the bytes on disk
};
