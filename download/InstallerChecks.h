#pragma once
// What the finished installer must be, from the distributor's settings (its SHA-256, its size in
// bytes, its Authenticode signer's common name), read once, and the verdict on the held file.

#include <windows.h>

#include <string>

#include "download/Verify.h"

class InstallerChecks {
public:
    // The texts as the settings give them; an empty one checks nothing. False (and Valid() false)
    // when one is not what it should be.
    bool Set(const std::wstring& sha256, const std::wstring& size, const std::wstring& signer);
    bool Valid() const { return valid_; }
    // Whether the checks will prove a whole file (a SHA-256 or a size to compare).
    bool ProveWholeFile() const { return hash_ || size_ >= 0; }
    // Whether a file of `size` bytes (-1: not known yet) cannot be the installer.
    bool RefusesSize(long long size) const { return size_ >= 0 && size >= 0 && size != size_; }
    // Whether the held file at `path` passes: exactly the `written` bytes (anything else means it
    // changed between the writer and the hold), and every check asked for.
    bool Pass(HANDLE held, const std::wstring& path, long long written) const;

private:
    bool valid_ = true;
    bool hash_ = false;
    unsigned char digest_[Sha256::kSize] = {};
    long long size_ = -1;
    std::wstring signer_;
};
