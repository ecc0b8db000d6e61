#pragma once
// ConfigParams.ini: what the installer reads of it, by its own rules, and what that does.

#include "check/CheckedPackage.h"
#include "check/Report.h"

// Loads the package's settings into the process's (AppSettings), and the texts of the language
// the wizard starts in (package.startLanguage), as the installer does at its start.
void CheckSettings(CheckedPackage& package, Report& report);
