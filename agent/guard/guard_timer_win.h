// The guards' pass timer on the agent's view: a guard starts by (re)arming a
// one-second timer whose ticks run its pass, and stops by killing it; each
// logs "<name>Start OK" or "<name>Stop OK".
#pragma once

#include <windows.h>

#include "common/log/log.h"

namespace zv {

inline void StartGuardTimer(HWND view, UINT_PTR timer, const char* name) {
  KillTimer(view, timer);
  SetTimer(view, timer, 1000, nullptr);
  FILE_LOG(logINFO) << name << "Start OK";
}

inline void StopGuardTimer(HWND view, UINT_PTR timer, const char* name) {
  KillTimer(view, timer);
  FILE_LOG(logINFO) << name << "Stop OK";
}

}  // namespace zv
