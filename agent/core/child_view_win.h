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
  // From the session's start to the first step of its stop. A guard pass
  // looks at it after every call that can dispatch messages (the stop
  // sequence may run inside such a call) and then does nothing more.
  bool m_bSessionRunning = false;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT HandleViewMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam);
  void RunCommandOrStartSession();
  void StartSession();
  void OnTimer(UINT_PTR id);
  void StopSession();
};

}  // namespace zv
