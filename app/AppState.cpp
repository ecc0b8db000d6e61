#include "app/AppState.h"

#include "resources/resource.h"

namespace {

HCURSOR g_linkCursor = nullptr;

}  // namespace

HCURSOR LinkCursor() { return g_linkCursor; }

void LoadLinkCursor() {
    // Shared resource cursors live as long as the module; nothing to release.
    g_linkCursor = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK_HAND));
}
