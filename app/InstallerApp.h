#pragma once
// The application object: prepares the libraries, loads settings and texts, refuses to run
// beside the product or another copy of itself, and runs the wizard.

#include <windows.h>

#include <string>

#include "config/Package.h"
#include "framework/Application.h"

class InstallerApp : public Application {
protected:
    bool Start() override;
};

// True when a top-level window carries the WindowsGroup title (an empty setting checks nothing).
bool IsProductWindowOpen();
// A top-level window that carries some language's ApplicationTitle text, or null.
HWND FindInstallerWindow(const PackageFile& languageFile);

// What the installer says, in English, when it has neither a package inside it nor settings
// beside it, before it closes.
extern const wchar_t kIncompleteMessage[];
