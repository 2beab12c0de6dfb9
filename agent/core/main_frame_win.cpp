#include "agent/core/main_frame_win.h"

#include <shellapi.h>

#include <cwchar>

#include "agent/core/agent_messages.h"
#include "agent/res/resource.h"
#include "common/log/log.h"
#include "platform/handles.h"

namespace zv {

namespace {
// Kept in the style like the framework's add-to-title flag; it is one of the
// class-specific low bits that plain top-level windows ignore.
constexpr DWORD kAddToTitle = 0x00008000;

void ShowAboutBox(HWND owner);
}  // namespace

CMainFrame::CMainFrame() : m_uTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")) {}

bool CMainFrame::LoadFrame() {
  wchar_t title[64] = {};
  LoadStringW(ThisModule(), IDR_MAINFRAME, title, 64);
  WindowClass cls;  // no class style, cursor, brush or icon
  cls.name = L"ZedudeVeriFrame";
  const RECT rect{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT};
  UniqueMenu menu(LoadMenuW(ThisModule(), MAKEINTRESOURCEW(IDR_MAINFRAME)));
  if (Create(cls, 0, title, WS_CAPTION | kAddToTitle, rect, nullptr, menu.get())) {
    menu.release();  // the window's now
    return true;
  }
  // A window that came into being and failed later took its menu with it;
  // only a menu that never got a window is still ours.
  if (menu && !IsMenu(menu.get())) menu.release();
  return false;
}

void CMainFrame::CloseFrame() { Destroy(); }

NOTIFYICONDATAW TrayIconData(HWND frame, HICON icon) {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(NOTIFYICONDATAW);
  nid.hWnd = frame;
  nid.uID = kTrayIconId;
  nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  nid.uCallbackMessage = UM_TRAYNOTIFY;
  nid.hIcon = icon;
  // %ls: this toolchain's C99 formatter reads %s in a wide format as a narrow
  // string, which would leave only the first letter.
  std::swprintf(nid.szTip, sizeof nid.szTip / sizeof nid.szTip[0], L"%ls", L"ZedudeVeri");
  return nid;
}

void CMainFrame::AddTrayIcon() {
  NOTIFYICONDATAW nid = TrayIconData(hwnd(), LoadIconW(ThisModule(), MAKEINTRESOURCEW(IDR_MAINFRAME)));
  Shell_NotifyIconW(NIM_ADD, &nid);
}

void CMainFrame::RemoveTrayIcon() {
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof(NOTIFYICONDATAW);
  nid.hWnd = hwnd();
  nid.uID = kTrayIconId;
  Shell_NotifyIconW(NIM_DELETE, &nid);
}

LRESULT CMainFrame::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  // A creation that runs out of memory fails, any other message is dropped.
  return HandleWithoutThrowing(msg, [&] { return HandleFrameMessage(msg, wParam, lParam); });
}

LRESULT CMainFrame::HandleFrameMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == m_uTaskbarCreated && msg != 0) {
    AddTrayIcon();
    return Default(msg, wParam, lParam);
  }
  switch (msg) {
    case WM_CREATE:
      if (Default(msg, wParam, lParam) == -1) return -1;
      if (!m_wndView.Create(hwnd())) return -1;
      AddTrayIcon();
      return 0;
    case WM_SETFOCUS:
      if (m_wndView.hwnd()) SetFocus(m_wndView.hwnd());
      return 0;
    case WM_DESTROY:
      RemoveTrayIcon();
      return Default(msg, wParam, lParam);
    case WM_CLOSE:
      // Never ends the agent: only UM_REZUV_CLOSE and Exit do.
      ShowWindow(hwnd(), SW_HIDE);
      return 0;
    case UM_TRAYNOTIFY:
      OnTrayNotify(lParam);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam));
      return 0;
    case UM_REZUV_CLOSE:
      if (IsCloseRequest(wParam, lParam)) {
        FILE_LOG(logINFO) << "ABOUT TO CLOSE by UM_REZUV_CLOSE";
        CloseFrame();
      }
      return 0;
    case UM_REZUV_KEEPALIVE:
      if (IsKeepAlive(wParam, lParam)) m_wndView.OnKeepAlive();
      return 0;
    default:
      return Default(msg, wParam, lParam);
  }
}

void CMainFrame::OnFinalDestroy() { PostQuitMessage(0); }

void CMainFrame::OnTrayNotify(LPARAM mouseMessage) {
  switch (static_cast<UINT>(mouseMessage)) {
    case WM_RBUTTONDOWN:
      SetCapture(hwnd());
      break;
    case WM_RBUTTONUP: {
      UniqueMenu menu(LoadMenuW(ThisModule(), MAKEINTRESOURCEW(IDR_TRAYMENU)));
      if (!menu) {
        ReleaseCapture();  // the press captured the mouse
        break;
      }
      HMENU popup = GetSubMenu(menu.get(), 0);
      POINT pt{};
      GetCursorPos(&pt);
      SetForegroundWindow(hwnd());
      TrackPopupMenu(popup, 0, pt.x, pt.y, 0, hwnd(), nullptr);
      PostMessageW(hwnd(), WM_NULL, 0, 0);
      ReleaseCapture();
      break;
    }
    default:
      break;
  }
}

void CMainFrame::OnCommand(UINT id) {
  // The view sees commands first; it handles none. The application object
  // owns About, the frame owns Exit.
  if (id == ID_APP_ABOUT)
    ShowAboutBox(hwnd());
  else if (id == ID_APP_EXIT)
    CloseFrame();
}

namespace {

class CAboutDlg : public Dialog {};

void ShowAboutBox(HWND owner) {
  CAboutDlg about;
  about.DoModal(ThisModule(), IDD_ABOUTBOX, owner);
}

}  // namespace

}  // namespace zv
