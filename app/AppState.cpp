#include "app/AppState.h"

#include "resources/resource.h"

namespace {

double g_screenDensity = 96.0;
HCURSOR g_linkCursor = nullptr;

}  // namespace

double ScreenDensity() { return g_screenDensity; }

void RecordScreenDensity() {
    HDC screen = ::GetDC(nullptr);
    if (!screen) return;
    g_screenDensity = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
}

HCURSOR LinkCursor() { return g_linkCursor; }

void LoadLinkCursor() {
    // Shared resource cursors live as long as the module; nothing to release.
    g_linkCursor = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK_HAND));
}
