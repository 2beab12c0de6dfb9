// CMainFrame: the agent's hidden main window, titled "ZedudeVeri" so that the
// control can find it. Owns the view, the tray icon and the close operation.
#pragma once

#include "agent/core/child_view_win.h"
#include "platform/window.h"

#include <shellapi.h>

namespace zv {

constexpr UINT kTrayIconId = 128;
constexpr UINT ID_APP_ABOUT = 0xE140;
constexpr UINT ID_APP_EXIT = 0xE141;

// The tray icon's description: the frame, id 128, message, icon and the tip
// "ZedudeVeri"; everything else zero.
NOTIFYICONDATAW TrayIconData(HWND frame, HICON icon);

class CMainFrame : public Window {
 public:
  CMainFrame();
  // Creates the frame from resource 128 (title, icon, menu); the view and the
  // view's creation handler run inside. False when the frame or view failed.
  bool LoadFrame();
  // The close operation of the main frame: destroys it (tray icon first,
  // then the view's stop sequence) and ends the message loop.
  void CloseFrame();

  CChildView m_wndView;
  const UINT m_uTaskbarCreated;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void OnFinalDestroy() override;

 private:
  LRESULT HandleFrameMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  void AddTrayIcon();
  void RemoveTrayIcon();
  void OnTrayNotify(LPARAM mouseMessage);
  void OnCommand(UINT id);
};

}  // namespace zv
