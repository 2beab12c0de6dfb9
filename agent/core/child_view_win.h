// CChildView: the frame's only child. Owns the settings and the session: its
// creation runs the command or starts the session, its timers drive the
// keep-alive watch and the guards, its destruction stops everything.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "agent/core/options.h"
#include "platform/window.h"

namespace zv {

constexpr UINT_PTR ID_TIMER_KEEPALIVE = 1001;
constexpr UINT kViewPaneId = 0xE900;  // AFX_IDW_PANE_FIRST

class CChildView : public Window {
 public:
  bool Create(HWND frame);
  void OnKeepAlive() { m_nKeepAliveIdleTime = 0; }

  TraySettings m_settings;
  int32_t m_nKeepAliveIdleTime = 0;
  std::array<std::u16string, 2> m_strSandboxFiles;
  std::vector<std::u16string> m_arrExtSettingKeys;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam);
  void RunCommandOrStartSession();
  void StartSession();
  void OnTimer(UINT_PTR id);
  void StopSession();
};

}  // namespace zv
