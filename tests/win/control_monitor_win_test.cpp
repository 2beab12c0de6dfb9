// The monitor count: the bound multi-monitor functions, then the fallbacks
// of a system without them (forced last: the binding is process-wide and
// cannot come back).
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "control/agentlink/monitor_manager_win.h"
#include "control/ocx/zaduze_ctrl.h"
#include "platform/com_ptr.h"

namespace zv {
namespace {

BOOL CALLBACK Collect(HMONITOR m, HDC, LPRECT rect, LPARAM out) {
  reinterpret_cast<std::vector<std::pair<HMONITOR, RECT>>*>(out)->push_back({m, *rect});
  return TRUE;
}

TEST(MonitorManager, CountsTheDesktopThenFallsBackToOnePseudoMonitor) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(CZaduzeCtrl::Create(nullptr, IID_IDispatch, dispatch.put_void()), S_OK);
  CZaduzeCtrl* ctrl = static_cast<CZaduzeCtrl*>(dispatch.get());

  ASSERT_TRUE(multimon::IsBound());
  const int system = GetSystemMetrics(SM_CMONITORS);
  EXPECT_EQ(ctrl->GetMonitorCount(), system);
  EXPECT_EQ(ctrl->GetMonitorCount(), system) << "nothing is cached between calls";
  CMonitorManager manager;
  EXPECT_TRUE(manager.Enumerate());
  EXPECT_EQ(manager.Count(), system);
  EXPECT_TRUE(manager.Enumerate());
  EXPECT_EQ(manager.Count(), system) << "each enumeration starts from an empty table";

  multimon::ForceFallbacksForTest();
  EXPECT_FALSE(multimon::IsBound());
  EXPECT_EQ(multimon::GetSystemMetrics(SM_CMONITORS), 1);
  EXPECT_EQ(multimon::GetSystemMetrics(SM_SAMEDISPLAYFORMAT), 1);
  EXPECT_EQ(multimon::GetSystemMetrics(SM_XVIRTUALSCREEN), 0);
  EXPECT_EQ(multimon::GetSystemMetrics(SM_YVIRTUALSCREEN), 0);
  const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(multimon::GetSystemMetrics(SM_CXVIRTUALSCREEN), cx);
  EXPECT_EQ(multimon::GetSystemMetrics(SM_CYVIRTUALSCREEN), cy);
  EXPECT_EQ(multimon::GetSystemMetrics(SM_CXSCREEN), cx);

  std::vector<std::pair<HMONITOR, RECT>> seen;
  EXPECT_TRUE(multimon::EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&seen)));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].first, multimon::kPrimaryPseudoMonitor);
  EXPECT_EQ(seen[0].second.right, cx);
  EXPECT_EQ(seen[0].second.bottom, cy);
  // A clipping rectangle off the screen reports nothing, yet succeeds.
  seen.clear();
  const RECT away{cx + 10, cy + 10, cx + 20, cy + 20};
  EXPECT_TRUE(multimon::EnumDisplayMonitors(nullptr, &away, Collect, reinterpret_cast<LPARAM>(&seen)));
  EXPECT_TRUE(seen.empty());
  const RECT part{10, 10, 20, 30};
  EXPECT_TRUE(multimon::EnumDisplayMonitors(nullptr, &part, Collect, reinterpret_cast<LPARAM>(&seen)));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].second.bottom, 30);
  EXPECT_EQ(ctrl->GetMonitorCount(), 1);
}

}  // namespace
}  // namespace zv
