#pragma once
// Where the program's DLLs come from. A web installer is started from the browser's download
// folder, where any web page may have saved a "wininet.dll"; Windows looks in the program's own
// folder first for every DLL that is not one of its known DLLs. So the executable imports at load
// time only DLLs that Windows takes from its system folder, and everything else (WinINet,
// CryptoAPI's certificates, WinVerifyTrust; the shell, which nothing before the first paint
// needs) is delay-loaded through LoadSystemLibrary.

#include <windows.h>

enum class DllSearch {
    // SetDefaultDllDirectories: every later load, the system's own on our behalf included,
    // looks in the system folder only (Windows 8 on, Windows 7 with its update).
    SystemFolderOnly,
    // Older systems: our own loads name the system folder's full path, and the current folder is
    // dropped from the search; the CryptoAPI provider is loaded up front (see the .cpp). A DLL
    // the system itself loads by name later is still looked for beside the program.
    FullPathsOnly,
};

// Called first thing in the program, before anything loads a DLL.
DllSearch ProtectDllSearch();

// Loads a DLL of the system folder by its full path, its own dependencies from there too; null
// when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// For tests only: with this environment variable set (to anything), ProtectDllSearch takes the
// older systems' way even where the newer exists, so that both can be run on one machine. The
// program reads no other variable and no command-line option.
extern const wchar_t kTestOnlyForceFullPathsVariable[];
