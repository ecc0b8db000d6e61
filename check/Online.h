#pragma once
// --online: the download server asked as the download engine asks it (its agent, its flags,
// its headers, a one-byte probe, then a range from the middle as a resumed run asks), the pages,
// and the tracking address as the wizard asks it at each stage, at the addresses of every language.

#include "check/CheckedPackage.h"
#include "check/Report.h"

// Needs the settings loaded (CheckSettings). Leaves the texts of the language the wizard starts in.
void CheckOnline(const CheckedPackage& package, Report& report);
