#include "agent/core/child_view_win.h"

#include "agent/core/agent_messages.h"
#include "agent/core/command_line.h"
#include "agent/core/dispatch.h"
#include "agent/core/keep_alive.h"
#include "agent/core/options_win.h"
#include "agent/guard/app_guard.h"
#include "agent/guard/exam_window.h"
#include "agent/guard/explorer_guard.h"
#include "agent/input/input_hooks.h"
#include "agent/sandbox/sandbox_commands.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "platform/integrity_win.h"
#include "platform/shell_folders.h"
#include "platform/wide.h"

namespace zv {

bool CChildView::Create(HWND frame) {
  WindowClass cls;
  cls.name = L"ZedudeVeriView";
  cls.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  cls.cursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  const RECT empty{0, 0, 0, 0};
  return Window::Create(cls, WS_EX_CLIENTEDGE, nullptr, WS_CHILD | WS_VISIBLE, empty, frame,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kViewPaneId)));
}

LRESULT CChildView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  // A creation that runs out of memory fails (and the destruction stops what
  // was started).
  return HandleWithoutThrowing(msg, [&] { return HandleViewMessage(msg, wParam, lParam); });
}

LRESULT CChildView::HandleViewMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE:
      return OnCreate(msg, wParam, lParam);
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd(), &ps);
      EndPaint(hwnd(), &ps);
      return 0;
    }
    case WM_TIMER:
      OnTimer(wParam);
      return Default(msg, wParam, lParam);
    case WM_DESTROY: {
      const LRESULT result = Default(msg, wParam, lParam);
      StopSession();
      return result;
    }
    default:
      return Default(msg, wParam, lParam);
  }
}

LRESULT CChildView::OnCreate(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (Default(msg, wParam, lParam) == -1) return -1;
  // A command line that cannot be split leaves the agent idle with its icon.
  if (!ParseCommandLine(m_settings)) return 0;

  for (const char16_t* sub : {kLogFolderW, kSandboxFolderW, kDocFolderW}) CreateFolderTree(DocumentsSubfolderW(sub));
  if (m_settings.m_nDebugLog != 0) {
    // Without a Documents folder there is no log (never one at the drive root).
    const std::string logFolder = DocumentsSubfolderA(kLogFolderA);
    if (logFolder.empty())
      Output2FILE::Stream() = nullptr;
    else
      OpenLogFile(logFolder, "app");
    g_bLogEnabled = m_settings.m_nDebugLog;
  }
  FILE_LOG(logINFO) << "ZedudeVeri started";
  FILE_LOG(logINFO) << "exec option : " << LogText(U16(GetCommandLineW()));
  // Started from a page in protected mode, the agent inherits low integrity.
  LogIntegrityAtStart(IntegrityProgram::Agent);

  BuildFilterTables(m_settings);
  // Before the count and the session alike: both spare the exam's frame.
  RememberExamPageWindow(ParseWindowValue(m_settings.m_strExamPageWindow));
  RunCommandOrStartSession();
  return 0;
}

void CChildView::RunCommandOrStartSession() {
  // One-shot commands end the process right here with their result: no
  // window teardown, no stop sequence (every log line is already flushed).
  switch (ChooseCommand(m_settings)) {
    case AgentCommand::CountCheatApps:
      _exit(CountCheatApps());
    case AgentCommand::AddTrustedRanges:
      for (const auto& token : SplitList(ToUpperAsciiInPlace(m_settings.m_strTrustzoneAddIP))) AddTrustedRange(token);
      _exit(0);
    case AgentCommand::AddTrustedDomains:
      for (const auto& token : SplitList(ToUpperAsciiInPlace(m_settings.m_strTrustzoneAddDomain)))
        AddTrustedDomain(token);
      _exit(0);
    case AgentCommand::QueryTrustedRange:
      _exit(QueryTrustedRange(m_settings.m_strTrustzoneQueryIP));
    case AgentCommand::QueryTrustedDomain:
      _exit(QueryTrustedDomain(m_settings.m_strTrustzoneQueryDomain));
    case AgentCommand::RegistrySave:
      _exit(RegistrySaveCommand(m_settings, m_strSandboxFiles));
    case AgentCommand::RegistryRestore:
      _exit(RegistryRestoreCommand(hwnd(), m_settings, m_strSandboxFiles));
    case AgentCommand::RegistrySetLoose:
      ApplyBrowserSecuritySettings(m_arrExtSettingKeys);
      _exit(0);
    case AgentCommand::RegistryRecover:
      _exit(RegistryRecoverCommand(m_settings));
    case AgentCommand::Session:
      StartSession();
      return;
  }
}

void CChildView::StartSession() {
  m_bSessionRunning = true;
  if (KeepAliveWatchEnabled(m_settings.m_nKeepAliveMillisec)) {
    m_nKeepAliveIdleTime = 0;
    SetTimer(hwnd(), ID_TIMER_KEEPALIVE, kKeepAliveTickMillisec, nullptr);
  }
  ApplySessionBrowserSettings(m_arrExtSettingKeys);  // only behind a snapshot of a live page
  if (m_settings.m_nProtectKeyCheat != 0) ProtectKeyCheatStart(hwnd());
  if (m_settings.m_nProtectMouseCheat != 0) ProtectMouseCheatStart(hwnd());
  // The hook thread's heartbeat is watched from here, the thread it does not stall.
  if (g_hKeyboardHook != nullptr || g_hMouseHook != nullptr)
    SetTimer(hwnd(), ID_TIMER_HOOKTHREAD, kHookThreadWatchPeriod, nullptr);
  if (m_settings.m_nProtectAppCheat != 0) ProtectAppCheatStart(hwnd());
  if (m_settings.m_nProtectExplorerCheat != 0) ProtectExplorerCheatStart(hwnd());
  if (m_settings.m_nProtectIEToolbarCheat != 0) DisableBrowserToolbars(hwnd());
}

void CChildView::OnTimer(UINT_PTR id) {
  switch (id) {
    case ID_TIMER_KEEPALIVE:
      if (KeepAliveTick(m_nKeepAliveIdleTime, m_settings.m_nKeepAliveMillisec)) {
        KillTimer(hwnd(), ID_TIMER_KEEPALIVE);
        FILE_LOG(logINFO) << "ABOUT TO CLOSE by timer :: " << " m_nKeepAliveIdleTime: " << m_nKeepAliveIdleTime
                          << " > m_nKeepAliveIdleTime: " << m_settings.m_nKeepAliveMillisec;
        PostMessageW(GetAncestor(hwnd(), GA_ROOT), UM_REZUV_CLOSE, kCloseWParam, kCloseLParam);
      }
      break;
    case ID_TIMER_APPGUARD:
      if (m_bSessionRunning) CloseCheatApps();
      if (m_bSessionRunning) KillBlackListedApps();
      break;
    case ID_TIMER_HOOKTHREAD:
      WatchHookThread();
      break;
    case ID_TIMER_EXPLORERGUARD:
      if (m_bSessionRunning) ProtectInternetExplorer([this] { return m_bSessionRunning; });
      break;
    default:
      break;
  }
}

void CChildView::StopSession() {
  m_bSessionRunning = false;
  KillTimer(hwnd(), ID_TIMER_HOOKTHREAD);
  if (g_hKeyboardHook != nullptr) ProtectKeyCheatStop();
  if (g_hMouseHook != nullptr) ProtectMouseCheatStop();
  ProtectAppCheatStop(hwnd());
  ProtectExplorerCheatStop(hwnd());
  DeleteExtSettingKeys(m_arrExtSettingKeys);
  FILE_LOG(logINFO) << "ZedudeVeri stopped";
}

}  // namespace zv
