// TrustRoot: adds a root certificate to (or removes it from) the machine's root store of the
// Wine prefix it runs in, so that signatures of the tests' own publisher verify.
//
//   TrustRoot.exe add|remove <certificate.der>
//
// Exits 0 on success.

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cwchar>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: TrustRoot.exe add|remove <certificate.der>\n");
        return 64;
    }
    HANDLE file = ::CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::vector<BYTE> der(64 * 1024);
    DWORD size = 0;
    BOOL read = ::ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &size, nullptr);
    ::CloseHandle(file);
    if (!read || size == 0) return 1;
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store) return 1;
    bool done = false;
    if (std::wcscmp(argv[1], L"add") == 0) {
        done = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                                  CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    } else if (std::wcscmp(argv[1], L"remove") == 0) {
        // Wine's root store forgets a deleted certificate only in memory: its registry entry,
        // named by the SHA-1 thumbprint, goes too.
        PCCERT_CONTEXT wanted = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size);
        BYTE thumbprint[20];
        DWORD length = sizeof thumbprint;
        if (wanted && ::CertGetCertificateContextProperty(wanted, CERT_SHA1_HASH_PROP_ID, thumbprint, &length)) {
            PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                                wanted, nullptr);
            if (found) ::CertDeleteCertificateFromStore(found);  // frees the context
            wchar_t key[128];
            int at = std::swprintf(key, 128, L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\");
            for (DWORD i = 0; i < length; ++i) at += std::swprintf(key + at, 128 - at, L"%02X", thumbprint[i]);
            LONG gone = ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
            done = gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
        }
        if (wanted) ::CertFreeCertificateContext(wanted);
    }
    ::CertCloseStore(store, 0);
    return done ? 0 : 1;
}
