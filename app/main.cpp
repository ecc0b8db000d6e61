#include <windows.h>

#include "app/InstallerApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    static InstallerApp app;
    return app.Run();
}
