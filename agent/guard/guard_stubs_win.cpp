// Placeholders until the guards are built: the lifecycle calls them already.
#include "agent/guard/app_guard.h"
#include "agent/guard/explorer_guard.h"

namespace zv {

void ProtectAppCheatStart(HWND) {}
void ProtectAppCheatStop(HWND) {}
void CloseCheatApps() {}
void KillBlackListedApps() {}
int32_t CountCheatApps() { return 0; }
std::u16string GetProcessImageName(DWORD) { return {}; }

void ProtectExplorerCheatStart(HWND) {}
void ProtectExplorerCheatStop(HWND) {}
void ProtectInternetExplorer() {}
void DisableBrowserToolbars(HWND) {}

}  // namespace zv
