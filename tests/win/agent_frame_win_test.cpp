// The agent frame's tray icon description, as the shell receives it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "agent/core/agent_messages.h"
#include "agent/core/main_frame_win.h"

namespace zv {
namespace {

TEST(TrayIcon, DescriptionTheShellReceives) {
  const HWND frame = reinterpret_cast<HWND>(0x1234);
  const HICON icon = reinterpret_cast<HICON>(0x5678);
  const NOTIFYICONDATAW nid = TrayIconData(frame, icon);
  EXPECT_EQ(nid.cbSize, sizeof(NOTIFYICONDATAW));
  EXPECT_EQ(nid.hWnd, frame);
  EXPECT_EQ(nid.uID, 128u);
  EXPECT_EQ(nid.uFlags, 7u);
  EXPECT_EQ(nid.uCallbackMessage, static_cast<UINT>(WM_USER + 100));
  EXPECT_EQ(nid.hIcon, icon);
  // The whole tip, not its first letter.
  EXPECT_EQ(std::wstring(nid.szTip), L"ZedudeVeri");
  EXPECT_EQ(nid.dwState | nid.dwStateMask | nid.szInfo[0] | nid.szInfoTitle[0] | nid.dwInfoFlags, 0u);
}

}  // namespace
}  // namespace zv
