#include <windows.h>

#include <cstdlib>

#include "app/InstallerApp.h"
#include "framework/SystemLibraries.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything loads a DLL: none may come from the download folder we are started from.
    ProtectDllSearch();
    static InstallerApp app;
    return app.Run();
}

// A web installer is judged by its download size. The program catches no exception, so every
// throw ends it; these replacements end it the same way without pulling in the exception
// classes, their strings and the demangler that the default terminate handler uses (together
// about 90 KB of a 32-bit executable).
namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}  // namespace __gnu_cxx

namespace std {
[[noreturn]] void __throw_length_error(const char*) { abort(); }
[[noreturn]] void __throw_logic_error(const char*) { abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { abort(); }
[[noreturn]] void __throw_bad_alloc() { abort(); }
[[noreturn]] void __throw_bad_array_new_length() { abort(); }
[[noreturn]] void __throw_system_error(int) { abort(); }
}  // namespace std

// The library's allocation throws std::bad_alloc when memory runs out, which the program does
// not catch either: it ends the same way here, and the throw's machinery stays out.
void* operator new(size_t size) {
    void* block = malloc(size ? size : 1);
    if (!block) abort();
    return block;
}

void* operator new[](size_t size) { return operator new(size); }
