// CMonitorManager: lists the display monitors through the multi-monitor
// functions of USER32, bound at run time by name with single-monitor
// fallbacks, so the control answers on any Windows version.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>

namespace zv {

class CMonitorManager {
 public:
  CMonitorManager() = default;
  virtual ~CMonitorManager();

  // Refills the table; false when the system reports no monitors or the
  // enumeration fails (the table is then left as it was, or partly filled).
  bool Enumerate();
  int Count() const { return static_cast<int>(m_monitors.size()); }

 private:
  static BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM self);
  std::map<int32_t, HMONITOR> m_monitors;
};

// The process-wide binding, exposed for the tests.
namespace multimon {

// Binds the seven functions once per process; false when any is missing.
bool IsBound();
// Forces the fallbacks from now on (a test's view of a system without the
// multi-monitor functions); the bound state cannot come back.
void ForceFallbacksForTest();

int GetSystemMetrics(int index);
BOOL EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data);

inline const HMONITOR kPrimaryPseudoMonitor = reinterpret_cast<HMONITOR>(static_cast<uintptr_t>(0x12340042));

}  // namespace multimon

}  // namespace zv
