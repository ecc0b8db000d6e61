#pragma once
// The screen density the wizard is drawn for.
//
// Everything the wizard shows is designed in pixels at 96 dots per inch: the dialog layout, the
// pixel figures in the code and the two pictures. All of it is drawn at one factor, the density
// divided by 96, so that every control keeps its place on the background picture. This module
// holds the density; every place that needs it asks here.

#include <windows.h>

constexpr int kDesignDensity = 96;

// Dots per inch the wizard is laid out for: 96 until recorded.
int ScreenDensity();
// The screen's density, as the system reports it to this (density-aware) process.
void RecordScreenDensity();
// The density of the monitor a window is on (Windows 10 1607 and later tell it apart from the
// screen's); elsewhere the screen's.
void RecordWindowDensity(HWND window);
// A new density, e.g. after the window moved to another monitor. Values no screen has are
// refused: false, and the density stays.
bool SetScreenDensity(int dotsPerInch);
bool IsPlausibleDensity(int dotsPerInch);

// A design figure (pixels at 96 dots per inch) at the recorded density, or at another one.
int Scaled(int designPixels);
int ScaledTo(int designPixels, int dotsPerInch);
RECT Scaled(const RECT& design);
// A design size at the recorded density, rounded up: what must hold a text never shrinks below
// its design share of the room (font heights do not grow exactly with the density).
int ScaledUp(int designPixels);
// The factor itself, for pictures and their scaled sizes.
double DensityScale();

// The pixel height of a font of the given tenths of a point at the recorded density.
int FontHeightForPoints(int tenthsOfPoint);
