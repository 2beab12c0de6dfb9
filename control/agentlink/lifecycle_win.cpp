// The control's creation and destruction steps: log, version, window text,
// AfterCreated, the notice popup, then the registry snapshot and the browser
// security settings through one-shot agent runs; the restore at the end.
#include <time.h>

#include "agent/core/command_line.h"
#include "common/log/log.h"
#include "control/agentlink/notice_popup_win.h"
#include "control/ocx/zaduze_ctrl.h"
#include "platform/shell_folders.h"
#include "platform/wide.h"

namespace zv {

namespace {

// "%Y%m%d-%H%M%S" of the local time, as the snapshot names are made.
void SnapshotTimeStamp(wchar_t (&out)[80]) {
  __time64_t now = 0;
  _time64(&now);
  struct tm local {};
  _localtime64_s(&local, &now);
  if (wcsftime(out, 80, L"%Y%m%d-%H%M%S", &local) == 0) out[0] = L'\0';
}

}  // namespace

int CZaduzeCtrl::OnCreateStep() {
  if (!PageAllowed()) return OnRefusedCreateStep();  // site lock: nothing on the page's behalf
  if (m_props.debugLog != 0) {
    // The control creates no folder: the log opens only once the agent has
    // made zaduze\log, and a path too long for 260 characters keeps it closed.
    const std::string folder = DocumentsSubfolderA(kLogFolderA);
    if (folder.empty())
      Output2FILE::Stream() = nullptr;
    else
      OpenLogFile(folder, "ocx");
    FILE_LOG(logINFO) << "Zaduze(ocx) started";
  }
  ReadModuleVersion();
  SetText(u"Zaduze");
  FireAfterCreated();

  m_pAlert->Create(m_wnd.hwnd());
  if (m_props.appNotification != 0) m_pAlert->Show(u"Zaduze 가 시작되었습니다.");

  if (m_props.webSandboxMode != 0) {
    SnapshotTimeStamp(m_szSnapshotName);
    RunAgentCommand(BuildRegistrySaveCommandLine(U16(m_szSnapshotName), m_props.debugLog));
  }
  RunAgentCommand(BuildRegistrySetLooseCommandLine(m_props.debugLog));
  if (m_props.debugSandbox != 0) {
    wchar_t loose[80];
    SnapshotTimeStamp(loose);
    RunAgentCommand(BuildLooseRegistrySaveCommandLine(U16(loose), m_props.debugLog));
  }
  return 0;
}

void CZaduzeCtrl::OnDestroyStep() {
  if (!PageAllowed()) {  // site lock: nothing was done, nothing to undo
    FILE_LOG(logINFO) << "Zaduze(ocx) stopped";
    return;
  }
  // Without a snapshot taken at creation there is nothing to restore: an
  // agent started with an empty snapshot name would start a protection
  // session instead.
  if (m_props.webSandboxMode != 0 && m_szSnapshotName[0] != L'\0')
    RunAgentCommand(BuildRegistryRestoreCommandLine(U16(m_szSnapshotName), m_props.debugSandbox, m_props.debugLog));
  FILE_LOG(logINFO) << "Zaduze(ocx) stopped";
}

}  // namespace zv
