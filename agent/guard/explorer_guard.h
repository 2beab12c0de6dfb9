// Browser window guard: closes foreign browser windows and tabs; the toolbar walk.
#pragma once

#include <windows.h>

#include <functional>

namespace zv {

constexpr UINT_PTR ID_TIMER_EXPLORERGUARD = 1003;

void ProtectExplorerCheatStart(HWND view);
void ProtectExplorerCheatStop(HWND view);
// One pass. The property reads are cross-process COM calls whose modal loop
// dispatches our own messages too, a close of the session among them: when
// `sessionRunning` (if given) turns false after any such call the pass stops
// at once and closes, posts and logs nothing more.
void ProtectInternetExplorer(const std::function<bool()>& sessionRunning = {});
void DisableBrowserToolbars(HWND start);

}  // namespace zv
