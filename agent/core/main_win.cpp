// ZedudeVeri: the application object. One instance per logon session; the
// hidden frame and its view do the rest (a one-shot command ends the process
// from inside the view's creation).
#include <windows.h>

#include <winsock2.h>

#include <objbase.h>
#include <ole2.h>

#include "agent/core/main_frame_win.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace zv {

class CZedudeVeriApp {
 public:
  // False: end at once with exit code 0.
  bool InitInstance();
  int Run();
  int ExitInstance();

 private:
  UniqueKernelHandle m_hSingleInstance;
  bool m_socketsReady = false;
  bool m_oleReady = false;
  CMainFrame m_frame;
};

bool CZedudeVeriApp::InitInstance() {
  m_hSingleInstance.reset(CreateEventW(nullptr, FALSE, TRUE, L"ZedudeVeri"));
  if (GetLastError() == ERROR_ALREADY_EXISTS) return false;

  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
    MessageBoxW(nullptr, L"Windows 소켓을 초기화하지 못했습니다.", L"ZedudeVeri", MB_OK | MB_ICONSTOP);
    return false;
  }
  m_socketsReady = true;
  if (FAILED(OleInitialize(nullptr))) {
    MessageBoxW(nullptr, L"OLE를 초기화할 수 없습니다. OLE 라이브러리 버전이 올바른지 확인하십시오.", L"ZedudeVeri",
                MB_OK | MB_ICONSTOP);
    return false;
  }
  m_oleReady = true;

  if (!m_frame.LoadFrame()) return false;
  ShowWindow(m_frame.hwnd(), SW_HIDE);
  UpdateWindow(m_frame.hwnd());
  return true;
}

int CZedudeVeriApp::Run() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return ExitInstance();
}

int CZedudeVeriApp::ExitInstance() {
  if (m_oleReady) OleUninitialize();
  if (m_socketsReady) WSACleanup();
  return 0;
}

}  // namespace zv

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  static zv::CZedudeVeriApp app;
  if (!app.InitInstance()) return app.ExitInstance();
  return app.Run();
}
