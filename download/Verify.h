#pragma once
// The checks a distributor can ask of the downloaded installer: its SHA-256, computed with the
// system's CryptoAPI while the bytes are written, and the name its Authenticode signer carries.

#include <windows.h>
#include <wincrypt.h>

#include <string>

// A running SHA-256 (CryptoAPI, PROV_RSA_AES: Windows XP SP3 and later).
class Sha256 {
public:
    static constexpr DWORD kSize = 32;
    Sha256() = default;
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Starts a new digest; false when the system offers no SHA-256.
    bool Restart();
    bool Add(const void* bytes, DWORD length);
    // The digest of everything added since Restart; false when it cannot be had.
    bool Result(unsigned char digest[kSize]);

private:
    void Release();
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
};

// 64 hex digits in any letter case, blanks around them allowed; false for anything else.
bool ParseSha256(const std::wstring& text, unsigned char digest[Sha256::kSize]);
// A decimal byte count, blanks around it allowed; -1 for anything else.
long long ParseByteCount(const std::wstring& text);
// What WinVerifyTrust (no user interface, no revocation check) says of a file's Authenticode
// signature: none; one that no longer matches the file's bytes; one that is sound but whose chain
// does not end in a root this machine trusts (or that fails otherwise); a sound, trusted one.
enum class SignatureState { Unsigned, Altered, Untrusted, Trusted };
// The state, and the signer certificate's subject common name wherever the file names a signer.
SignatureState CheckSignature(const std::wstring& path, std::wstring& signer);
// The SHA-256 of the open file's bytes, read through the handle from its start; false when they
// cannot be read or hashed. The handle's position is left at the end.
bool HashFile(HANDLE file, unsigned char digest[Sha256::kSize]);
// True when the open file (at `path`) carries a sound, trusted signature whose signer
// certificate's subject common name is exactly `name`. The signature and its certificate are read
// through the handle (WinVerifyTrust's own provider data names the signer).
bool SignedBy(HANDLE file, const std::wstring& path, const std::wstring& name);
