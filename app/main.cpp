#include <windows.h>

#include <cstdlib>

#include "app/InstallerApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static InstallerApp app;
    return app.Run();
}

// The default terminate handler prints a demangled type name: it pulls the whole demangler
// (about 40 KB) into an executable whose download size matters. Ending quietly is enough.
namespace __gnu_cxx {
void __verbose_terminate_handler() { abort(); }
}  // namespace __gnu_cxx
