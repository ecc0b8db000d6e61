#include "download/InstallerChecks.h"

#include <cstring>

bool InstallerChecks::Set(const std::wstring& sha256, const std::wstring& size, const std::wstring& signer) {
    hash_ = !sha256.empty();
    bool hashValid = !hash_ || ParseSha256(sha256, digest_);
    size_ = size.empty() ? -1 : ParseByteCount(size);
    signer_ = signer;
    valid_ = hashValid && (size.empty() || size_ >= 0);
    return valid_;
}

bool InstallerChecks::Pass(HANDLE held, const std::wstring& path, long long written) const {
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(held, &size) || size.QuadPart != written) return false;
    if (size_ >= 0 && size.QuadPart != size_) return false;
    unsigned char digest[Sha256::kSize];
    if (hash_ && (!HashFile(held, digest) || std::memcmp(digest, digest_, sizeof digest) != 0)) return false;
    return signer_.empty() || SignedBy(held, path, signer_);
}
