// Application guard: closes foreign application windows, ends black-listed
// programs, counts forbidden windows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <set>
#include <string>

#include "agent/guard/guard_rules.h"

namespace zv {

constexpr UINT_PTR ID_TIMER_APPGUARD = 1002;

void ProtectAppCheatStart(HWND view);
void ProtectAppCheatStop(HWND view);
void CloseCheatApps();
void KillBlackListedApps();
int32_t CountCheatApps();
std::u16string GetProcessImageName(DWORD pid);

// The black-list pass over a given process table.
void EndBlackListedProcesses(const ProcessTable& processes, const std::set<std::u16string>& blackList);

}  // namespace zv
