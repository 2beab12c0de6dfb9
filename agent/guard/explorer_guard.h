// Browser window guard: closes foreign browser windows and tabs; the toolbar walk.
#pragma once

#include <windows.h>

namespace zv {

constexpr UINT_PTR ID_TIMER_EXPLORERGUARD = 1003;

void ProtectExplorerCheatStart(HWND view);
void ProtectExplorerCheatStop(HWND view);
void ProtectInternetExplorer();
void DisableBrowserToolbars(HWND start);

}  // namespace zv
