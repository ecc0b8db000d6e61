#pragma once
// Process-wide values set during start-up and read by the wizard's windows.

#include <windows.h>

// The screen's horizontal logical pixels per inch; 96 until recorded.
double ScreenDensity();
void RecordScreenDensity();

// The hand cursor shown over links (cursor resource 143).
HCURSOR LinkCursor();
void LoadLinkCursor();
