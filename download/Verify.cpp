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

// The subject common name of a certificate; empty when it has none.
std::wstring CommonName(PCCERT_CONTEXT certificate) {
    wchar_t subject[512] = {};
    return ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME), subject,
                                512) > 1
               ? subject
               : std::wstring();
}

// The certificate that signed the file's first signature; null when there is none.
PCCERT_CONTEXT SignerCertificate(const std::wstring& path) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    DWORD encoding = 0, contentType = 0, formatType = 0;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &contentType, &formatType, &store,
                            &message, nullptr))
        return nullptr;
    PCCERT_CONTEXT certificate = nullptr;
    DWORD size = 0;
    if (::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0) {
        std::vector<BYTE> buffer(size);
        if (::CryptMsgGetParam(message, CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
            auto* signer = reinterpret_cast<CMSG_SIGNER_INFO*>(buffer.data());
            CERT_INFO wanted = {};
            wanted.Issuer = signer->Issuer;
            wanted.SerialNumber = signer->SerialNumber;
            certificate = ::CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                       CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
        }
    }
    ::CryptMsgClose(message);
    ::CertCloseStore(store, 0);
    return certificate;
}

// What WinVerifyTrust says of the file at `path`, read through `handle` when there is one (then
// the bytes checked are those behind the handle, whatever the path may name later). With a sound
// signature whose chain ends in a trusted root, `trustedSigner` gets the signer certificate's
// common name from WinVerifyTrust's own provider data.
LONG VerifyTrust(HANDLE handle, const std::wstring& path, std::wstring* trustedSigner) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    file.hFile = handle;
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
    if (result == ERROR_SUCCESS) {
        // The signer's chain must end in a root this machine trusts, with every signature in it
        // sound. Windows' own policy says so already; Wine's accepts any root, so ask the chain.
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
        const DWORD unsound = CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN |
                              CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_CYCLIC;
        if (!signer || !signer->pChainContext || (signer->pChainContext->TrustStatus.dwErrorStatus & unsound)) {
            result = TRUST_E_SUBJECT_NOT_TRUSTED;
        } else if (trustedSigner) {
            CRYPT_PROVIDER_CERT* certificate = ::WTHelperGetProvCertFromChain(signer, 0);
            *trustedSigner = certificate && certificate->pCert ? CommonName(certificate->pCert) : std::wstring();
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result;
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

SignatureState CheckSignature(const std::wstring& path, std::wstring& signer) {
    signer.clear();
    const LONG trust = VerifyTrust(nullptr, path, nullptr);
    if (trust == TRUST_E_NOSIGNATURE) return SignatureState::Unsigned;
    if (PCCERT_CONTEXT certificate = SignerCertificate(path)) {
        signer = CommonName(certificate);
        ::CertFreeCertificateContext(certificate);
    }
    if (trust == ERROR_SUCCESS && !signer.empty()) return SignatureState::Trusted;
    return trust == TRUST_E_BAD_DIGEST ? SignatureState::Altered : SignatureState::Untrusted;
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
    std::wstring signer;
    return VerifyTrust(file, path, &signer) == ERROR_SUCCESS && signer == name;
}
