// Application guard: closes foreign application windows, ends black-listed
// programs, counts forbidden windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zv {

constexpr UINT_PTR ID_TIMER_APPGUARD = 1002;

void ProtectAppCheatStart(HWND view);
void ProtectAppCheatStop(HWND view);
void CloseCheatApps();
void KillBlackListedApps();
int32_t CountCheatApps();
std::u16string GetProcessImageName(DWORD pid);

}  // namespace zv
