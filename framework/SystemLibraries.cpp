#include "framework/SystemLibraries.h"

#include <delayimp.h>

#include <string>

const wchar_t kTestOnlyForceFullPathsVariable[] = L"WENDRAKE_TEST_ONLY_FORCE_FULL_PATH_DLL_LOADS";

namespace {

// Declared only for newer systems than the oldest we run on.
const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

DllSearch g_search = DllSearch::FullPathsOnly;

template <typename Function>
Function Kernel32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), name)));
}

// Every delay-loaded DLL of the executable is loaded here, never by the helper's own
// LoadLibraryA, which would search the program's folder first.
FARPROC WINAPI DelayLoadNotify(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) return nullptr;
    if (HMODULE module = LoadSystemLibrary(info->szDll)) return reinterpret_cast<FARPROC>(module);
    // Returning null would let the helper try the name itself. A DLL missing from the system
    // folder ends the program, as a failed delay load always does.
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    return nullptr;
}

}  // namespace

// The helper of the C runtime asks this hook before each load.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = DelayLoadNotify;
}

DllSearch ProtectDllSearch() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFunction = BOOL(WINAPI*)(LPCWSTR);
    auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    bool forced = ::GetEnvironmentVariableW(kTestOnlyForceFullPathsVariable, nullptr, 0) > 0;
    if (setDefault && !forced && setDefault(kSearchSystem32)) {
        g_search = DllSearch::SystemFolderOnly;
        return g_search;
    }
    // Windows XP SP1 on: an empty string takes the current folder out of the search (the
    // program's own folder stays first; nothing can change that here).
    if (auto setDirectory = Kernel32Function<SetDllDirectoryFunction>("SetDllDirectoryW")) setDirectory(L"");
    g_search = DllSearch::FullPathsOnly;
    // A DLL already loaded serves every later load of its name. The system loads the CryptoAPI
    // provider by full path, but its own imports (CRYPT32, BCRYPT, ...) by the program's search
    // order, before our first delay-loaded call may have loaded CRYPT32: loaded now by full path,
    // both come from the system folder. Only here: the narrowed search needs none of it.
    for (const char* name : {"CRYPT32.dll", "rsaenh.dll"}) LoadSystemLibrary(name);
    return g_search;
}

HMODULE LoadSystemLibrary(const char* name) {
    std::wstring file;
    for (const char* c = name; c && *c; ++c) {
        // A plain ASCII file name: our own import table's, never a path.
        if (*c == '\\' || *c == '/' || *c == ':' || static_cast<unsigned char>(*c) > 0x7E) return nullptr;
        file += static_cast<wchar_t>(*c);
    }
    if (file.empty()) return nullptr;
    wchar_t folder[MAX_PATH];
    UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path = std::wstring(folder, length) + L"\\" + file;
    // With the search narrowed, the DLL's own imports come from the system folder anyway; on older
    // systems the altered search path starts them at the DLL's folder instead of the program's.
    return ::LoadLibraryExW(path.c_str(), nullptr,
                            g_search == DllSearch::SystemFolderOnly ? kSearchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}
