#include "app/AppState.h"

#include "resources/resource.h"

namespace {

WizardWindow* g_mainWizard = nullptr;
HCURSOR g_linkCursor = nullptr;

}  // namespace

WizardWindow* MainWizard() { return g_mainWizard; }
void SetMainWizard(WizardWindow* wizard) { g_mainWizard = wizard; }

HCURSOR LinkCursor() { return g_linkCursor; }

void LoadLinkCursor() {
    // Shared resource cursors live as long as the module; nothing to release.
    g_linkCursor = ::LoadCursorW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LINK_HAND));
}
