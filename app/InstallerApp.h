#pragma once
// The application object: prepares the libraries, loads settings and texts, refuses to run
// beside the product or another copy of itself, and runs the wizard.

#include <string>

#include "framework/Application.h"

class InstallerApp : public Application {
protected:
    bool Start() override;
};

// True when a top-level window carries the WindowsGroup title (an empty setting checks nothing).
bool IsProductWindowOpen();
// True when a top-level window carries some language's ApplicationTitle text.
bool IsInstallerWindowOpen(const std::wstring& languageFile);
