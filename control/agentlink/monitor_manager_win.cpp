#include "control/agentlink/monitor_manager_win.h"

#include "control/ocx/zaduze_ctrl.h"

namespace zv {

namespace multimon {

namespace {

using GetSystemMetricsFn = int(WINAPI*)(int);
using EnumDisplayMonitorsFn = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);

struct Binding {
  bool initialised = false;
  bool bound = false;
  GetSystemMetricsFn getSystemMetrics = nullptr;
  FARPROC monitorFromWindow = nullptr;
  FARPROC monitorFromRect = nullptr;
  FARPROC monitorFromPoint = nullptr;
  EnumDisplayMonitorsFn enumDisplayMonitors = nullptr;
  FARPROC enumDisplayDevices = nullptr;
  FARPROC getMonitorInfo = nullptr;
};

Binding& State() {
  static Binding b;
  return b;
}

bool IsNtPlatform() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
}

void Bind() {
  Binding& b = State();
  if (b.initialised) return;
  b.initialised = true;
  HMODULE user32 = GetModuleHandleW(L"USER32");
  if (user32 == nullptr) return;
  // In the order of the table; the first missing name ends the attempt.
  FARPROC found[7] = {};
  const char* names[7] = {"GetSystemMetrics", "MonitorFromWindow", "MonitorFromRect", "MonitorFromPoint",
                          "EnumDisplayMonitors", "EnumDisplayDevicesW",
                          IsNtPlatform() ? "GetMonitorInfoW" : "GetMonitorInfoA"};
  for (int i = 0; i < 7; ++i) {
    found[i] = GetProcAddress(user32, names[i]);
    if (found[i] == nullptr) return;  // every entry stays empty
  }
  b.getSystemMetrics = reinterpret_cast<GetSystemMetricsFn>(reinterpret_cast<void*>(found[0]));
  b.monitorFromWindow = found[1];
  b.monitorFromRect = found[2];
  b.monitorFromPoint = found[3];
  b.enumDisplayMonitors = reinterpret_cast<EnumDisplayMonitorsFn>(reinterpret_cast<void*>(found[4]));
  b.enumDisplayDevices = found[5];
  b.getMonitorInfo = found[6];
  b.bound = true;
}

}  // namespace

bool IsBound() {
  Bind();
  return State().bound;
}

void ForceFallbacksForTest() {
  Bind();
  State() = Binding{};
  State().initialised = true;
}

int GetSystemMetrics(int index) {
  if (IsBound()) return State().getSystemMetrics(index);
  switch (index) {
    case SM_CMONITORS:
    case SM_SAMEDISPLAYFORMAT:
      return 1;
    case SM_XVIRTUALSCREEN:
    case SM_YVIRTUALSCREEN:
      return 0;
    case SM_CXVIRTUALSCREEN:
      return ::GetSystemMetrics(SM_CXSCREEN);
    case SM_CYVIRTUALSCREEN:
      return ::GetSystemMetrics(SM_CYSCREEN);
    default:
      return ::GetSystemMetrics(index);
  }
}

BOOL EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data) {
  if (IsBound()) return State().enumDisplayMonitors(dc, clip, proc, data);
  // One pseudo-monitor: the primary screen.
  RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  RECT area = screen;
  if (dc != nullptr) {
    POINT origin{};
    if (!GetDCOrgEx(dc, &origin)) return FALSE;
    OffsetRect(&area, -origin.x, -origin.y);
    RECT box{};
    const int kind = GetClipBox(dc, &box);
    if (kind == ERROR) return FALSE;
    if (kind == NULLREGION) return TRUE;
    if (!IntersectRect(&area, &area, &box)) return TRUE;
  }
  if (clip != nullptr && !IntersectRect(&area, &area, clip)) return TRUE;
  return proc(kPrimaryPseudoMonitor, dc, &area, data);
}

}  // namespace multimon

CMonitorManager::~CMonitorManager() { m_monitors.clear(); }

BOOL CALLBACK CMonitorManager::AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM self) {
  auto* manager = reinterpret_cast<CMonitorManager*>(self);
  const auto key = static_cast<int32_t>(manager->m_monitors.size());
  manager->m_monitors[key] = monitor;
  return TRUE;
}

bool CMonitorManager::Enumerate() {
  if (multimon::GetSystemMetrics(SM_CMONITORS) == 0) return false;
  m_monitors.clear();
  return multimon::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(this)) != FALSE;
}

short CZaduzeCtrl::GetMonitorCount() {
  CMonitorManager manager;
  manager.Enumerate();  // a refused enumeration simply counts what it found
  return static_cast<short>(manager.Count());
}

}  // namespace zv
