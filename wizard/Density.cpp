#include "wizard/Density.h"

namespace {

int g_density = kDesignDensity;

// GetDpiForWindow exists from Windows 10 1607 on: looked up, so that XP still loads the program.
using GetDpiForWindowProc = UINT(WINAPI*)(HWND);

int SystemDensity() {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return 0;
    int density = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return density;
}

}  // namespace

int ScreenDensity() { return g_density; }

bool IsPlausibleDensity(int dotsPerInch) {
    // From half the design density to ten times it: every screen Windows supports, and nothing
    // that would make a window of zero or of thousands of pixels.
    return dotsPerInch >= kDesignDensity / 2 && dotsPerInch <= kDesignDensity * 10;
}

bool SetScreenDensity(int dotsPerInch) {
    if (!IsPlausibleDensity(dotsPerInch)) return false;
    g_density = dotsPerInch;
    return true;
}

void RecordScreenDensity() { SetScreenDensity(SystemDensity()); }

void RecordWindowDensity(HWND window) {
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowProc>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    int density = getDpiForWindow && window ? static_cast<int>(getDpiForWindow(window)) : 0;
    if (!SetScreenDensity(density)) RecordScreenDensity();
}

int ScaledTo(int designPixels, int dotsPerInch) { return ::MulDiv(designPixels, dotsPerInch, kDesignDensity); }

int Scaled(int designPixels) { return ScaledTo(designPixels, g_density); }

RECT Scaled(const RECT& design) {
    // Edges, not sizes: controls that touch at 96 dots per inch touch at every density.
    return RECT{Scaled(design.left), Scaled(design.top), Scaled(design.right), Scaled(design.bottom)};
}

int ScaledUp(int designPixels) {
    if (designPixels <= 0) return Scaled(designPixels);
    // No overflow: a plausible density is at most 960, and no design figure nears a million.
    return (designPixels * g_density + kDesignDensity - 1) / kDesignDensity;
}

double DensityScale() { return static_cast<double>(g_density) / kDesignDensity; }

int FontHeightForPoints(int tenthsOfPoint) { return -(g_density * tenthsOfPoint / 720); }
