#pragma once
// Language.ini: its encoding, its sections, and each language's texts as the wizard finds them.

#include "check/CheckedPackage.h"
#include "check/Report.h"

// Needs the settings loaded (CheckSettings): texts show them in place of their placeholders.
void CheckTexts(const CheckedPackage& package, Report& report);
