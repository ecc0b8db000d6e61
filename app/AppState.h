#pragma once
// Process-wide values set during start-up and read by the wizard's windows.

#include <windows.h>

// The hand cursor shown over links (cursor resource 143).
HCURSOR LinkCursor();
void LoadLinkCursor();
