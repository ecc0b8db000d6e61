#include "download/Verify.h"

#include <softpub.h>
#include <wintrust.h>

#include <climits>
#include <vector>

Sha256::~Sha256() { Release(); }

void Sha256::Release() {
    if (hash_) ::CryptDestroyHash(hash_);
    if (provider_) ::CryptReleaseContext(provider_, 0);
    hash_ = 0;
    provider_ = 0;
}

bool Sha256::Restart() {
    if (hash_) ::CryptDestroyHash(hash_);
    hash_ = 0;
    if (!provider_ && !::CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        provider_ = 0;
        return false;
    }
    if (::CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) return true;
    hash_ = 0;
    return false;
}

bool Sha256::Add(const void* bytes, DWORD length) {
    return hash_ && ::CryptHashData(hash_, static_cast<const BYTE*>(bytes), length, 0);
}

bool Sha256::Result(unsigned char digest[kSize]) {
    DWORD size = kSize;
    return hash_ && ::CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0) && size == kSize;
}

namespace {

std::wstring Trimmed(const std::wstring& text) {
    size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// The subject common name of the certificate that made the signature WinVerifyTrust has
// accepted; empty when there is none.
std::wstring SignerName(HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* certificate = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
    if (!certificate || !certificate->pCert) return std::wstring();
    wchar_t subject[512] = {};
    DWORD length = ::CertGetNameStringW(certificate->pCert, CERT_NAME_ATTR_TYPE, 0,
                                        const_cast<char*>(szOID_COMMON_NAME), subject, 512);
    return length > 1 ? subject : std::wstring();
}

// The name of the signer whose signature is sound and whose chain ends in a trusted root;
// empty when the file has no such signature.
std::wstring TrustedSigner(HANDLE handle, const std::wstring& path) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    file.hFile = handle;  // the bytes checked are those behind the handle, not whatever the path names later
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    // No revocation check: it would go to the network, and an offline machine must still install.
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    std::wstring name;
    if (result == ERROR_SUCCESS) {
        // The signer's chain must end in a root this machine trusts, with every signature in it
        // sound. Windows' own policy says so already; Wine's accepts any root, so ask the chain.
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        const DWORD unsound = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                              CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC;
        if (signer && signer->pChainContext && !(signer->pChainContext->TrustStatus.dwErrorStatus & unsound))
            name = SignerName(data.hWVTStateData);
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return name;
}

}  // namespace

bool ParseSha256(const std::wstring& text, unsigned char digest[Sha256::kSize]) {
    std::wstring hex = Trimmed(text);
    if (hex.size() != 2 * Sha256::kSize) return false;
    for (DWORD i = 0; i < Sha256::kSize; ++i) {
        int high = HexValue(hex[2 * i]), low = HexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0) return false;
        digest[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

long long ParseByteCount(const std::wstring& text) {
    std::wstring digits = Trimmed(text);
    if (digits.empty()) return -1;
    long long value = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9' || value > (LLONG_MAX - 9) / 10) return -1;
        value = value * 10 + (c - L'0');
    }
    return value;
}

bool HashFile(HANDLE file, unsigned char digest[Sha256::kSize]) {
    Sha256 hash;
    LARGE_INTEGER zero = {};
    if (!hash.Restart() || !::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) return false;
    const DWORD kChunk = 256 * 1024;
    std::vector<char> buffer(kChunk);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), kChunk, &got, nullptr)) return false;
        if (got == 0) break;
        if (!hash.Add(buffer.data(), got)) return false;
    }
    return hash.Result(digest);
}

bool SignedBy(HANDLE file, const std::wstring& path, const std::wstring& name) {
    if (name.empty()) return false;
    LARGE_INTEGER zero = {};
    ::SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
    return TrustedSigner(file, path) == name;
}
