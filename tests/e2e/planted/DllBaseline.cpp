// The yardstick for the planted-DLL test: a program with the installer's load-time imports, its
// manifest and its frame's dialog, and nothing of its own. It narrows the DLL search the way the
// installer does, uses the system's parts that the installer uses, loaded the same way (a WinINet
// request, a CryptoAPI SHA-256, WinVerifyTrust on its own file), shows the frame's template with
// its common controls until it has painted, and ends. Whatever a planted DLL records for it is
// loaded by the system (here: Wine) on a program's behalf, not by anything the installer does.
//   DllBaseline [<name>.dll | <address>]: with a DLL name, it also loads that DLL by name, the
//   way the system loads DLLs on a program's behalf: found beside the program only where the
//   search was not narrowed. With an address, the WinINet request asks for it.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <softpub.h>
#include <wintrust.h>
#include <wininet.h>

#include <string>

#include "framework/SystemLibraries.h"
#include "resources/resource.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        ::ShowWindow(::GetDlgItem(dialog, IDC_PROGRESS), SW_SHOW);
        ::SetTimer(dialog, 1, 100, nullptr);
        return TRUE;
    }
    if (message == WM_TIMER) {
        ::UpdateWindow(dialog);
        ::EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

template <typename Function>
Function Find(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A whole GET of the address, through the installer's loader.
void Fetch(const wchar_t* address) {
    HMODULE wininet = ::LoadSystemLibrary("WININET.dll");
    if (!wininet) return;
    auto open = Find<HINTERNET(WINAPI*)(LPCWSTR, DWORD, LPCWSTR, LPCWSTR, DWORD)>(wininet, "InternetOpenW");
    auto openUrl =
        Find<HINTERNET(WINAPI*)(HINTERNET, LPCWSTR, LPCWSTR, DWORD, DWORD, DWORD_PTR)>(wininet, "InternetOpenUrlW");
    auto read = Find<BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD)>(wininet, "InternetReadFile");
    auto close = Find<BOOL(WINAPI*)(HINTERNET)>(wininet, "InternetCloseHandle");
    HINTERNET session = open(L"DllBaseline", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return;
    if (HINTERNET request = openUrl(session, address, nullptr, 0, INTERNET_FLAG_RELOAD, 0)) {
        char buffer[65536];
        DWORD got = 0;
        while (read(request, buffer, sizeof buffer, &got) && got > 0) {
        }
        close(request);
    }
    close(session);
}

// A SHA-256 through the system's CryptoAPI provider, as the download check computes it.
void HashSomething() {
    HCRYPTPROV provider = 0;
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return;
    HCRYPTHASH hash = 0;
    if (::CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        const BYTE bytes[] = "baseline";
        ::CryptHashData(hash, bytes, sizeof bytes, 0);
        ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(provider, 0);
}

// WinVerifyTrust on this program's own file, through the installer's loader.
void VerifyOwnFile() {
    ::LoadSystemLibrary("CRYPT32.dll");
    HMODULE wintrust = ::LoadSystemLibrary("WINTRUST.dll");
    if (!wintrust) return;
    using VerifyFunction = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    auto verify = Find<VerifyFunction>(wintrust, "WinVerifyTrust");
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = self;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    verify(nullptr, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(nullptr, &action, &data);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    ProtectDllSearch();
    std::wstring argument = commandLine ? commandLine : L"";
    if (argument.size() > 4 && argument.compare(argument.size() - 4, 4, L".dll") == 0) ::LoadLibraryW(argument.c_str());
    // One call into each DLL the installer imports at load time.
    ::InitCommonControls();
    ::OleInitialize(nullptr);
    ::SysFreeString(nullptr);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key) == ERROR_SUCCESS) ::RegCloseKey(key);
    ::DeleteObject(::GetStockObject(NULL_BRUSH));
    if (argument.compare(0, 4, L"http") == 0) Fetch(argument.c_str());
    HashSomething();
    VerifyOwnFile();
    INT_PTR result = ::DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_WIZARD), nullptr, &DialogProc, 0);
    ::OleUninitialize();
    return result == 0 ? 0 : 1;
}
