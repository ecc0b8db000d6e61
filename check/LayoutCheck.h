#pragma once
// The pictures against the places they fill, and the texts against their controls, in the
// installer's own windows laid out as the installer lays them out.

#include "check/CheckedPackage.h"
#include "check/Report.h"

// Needs the settings loaded (CheckSettings): texts show them in place of their placeholders.
void CheckLayout(const CheckedPackage& package, Report& report);
