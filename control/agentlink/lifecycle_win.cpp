// The control's creation and destruction steps: log, version, window text,
// AfterCreated, the notice popup, then the registry snapshot and the browser
// security settings through one-shot agent runs; the restore at the end.
//
// The user's settings are protected around the snapshot: snapshots a page
// left behind (its browser crashed or was killed) are restored before a new
// one is taken; the settings are loosened only behind a snapshot whose two
// files are there and whole; the snapshot carries a unique name and a named
// marker that the system releases with the process, so that nobody restores
// a snapshot a live page still owns; and the agent restores snapshots in the
// order they were saved, newest first, so that the last one put back is the
// oldest, the user's own settings.
#include <time.h>

#include <utility>

#include "agent/core/command_line.h"
#include "agent/sandbox/snapshot_pending_win.h"
#include "agent/sandbox/snapshot_recovery.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "control/agentlink/notice_popup_win.h"
#include "control/ocx/zaduze_ctrl.h"
#include "platform/integrity_win.h"
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

// The agent runs once per logon session, and a copy started while another
// one runs ends at once without doing anything. The snapshot commands first
// wait for a running agent to end: a one-shot run of another page ends at
// once, a session agent whose page has gone ends by its keep-alive time-out.
// At most 10 s; false when an agent still runs then (a command started now
// would be refused and still end with 0).
bool WaitForAgentIdle() {
  for (int i = 0; i < 100; ++i) {
    UniqueKernelHandle running(OpenEventW(SYNCHRONIZE, FALSE, L"ZedudeVeri"));
    if (!running) return true;
    Sleep(100);
  }
  return false;
}


}  // namespace

int CZaduzeCtrl::OnCreateStep() {
  const bool allowed = PageAllowed();
  m_bCreateAllowed = allowed;
  // A page the site lock refuses leaves no trace: no log file, and the
  // process's log (shared with other controls in this browser) keeps its
  // stream and level.
  if (allowed && m_props.debugLog != 0) {
    // The control creates no folder: the log opens only once the agent has
    // made zaduze\log, and a path too long for 260 characters keeps it closed.
    const std::string folder = DocumentsSubfolderA(kLogFolderA);
    if (folder.empty())
      Output2FILE::Stream() = nullptr;
    else
      OpenLogFile(folder, "ocx");
    FILE_LOG(logINFO) << "Zaduze(ocx) started";
    if (!m_siteReason.empty()) {
      FILE_LOG(logINFO) << ToUtf8(m_siteReason);
    }
  }
  LogIntegrityAtStart(IntegrityProgram::Control);  // a page in protected mode
  ReadModuleVersion();
  SetText(u"Zaduze");
  FireAfterCreated();
  if (!allowed) {
    // Site lock: the page sees a control (its event, a silent popup), and
    // nothing runs on its behalf: no notice, no agent command.
    if (m_wnd.hwnd() != nullptr) m_pAlert->Create(m_wnd.hwnd());
    return 0;
  }

  m_pAlert->Create(m_wnd.hwnd());
  if (m_props.appNotification != 0) m_pAlert->Show(u"Zaduze 가 시작되었습니다.");

  const std::u16string sandbox = DocumentsSubfolderW(kSandboxFolderW);
  // Pending snapshots nobody holds were left by a page that never restored
  // them: they come back before anything is saved or loosened (a cheap look
  // at the folder, so that an ordinary page runs no extra command).
  if (!sandbox.empty() && RecoveryNeeded(PendingSnapshots(sandbox))) {
    WaitForAgentIdle();
    const int code = RunAgentCommand(BuildRegistryRecoverCommandLine(m_props.debugSandbox, m_props.debugLog));
    FILE_LOG(logINFO) << "RegistryRecover : " << code;
  }

  bool backedUp = true;
  if (m_props.webSandboxMode != 0) {
    wchar_t stamp[80];
    SnapshotTimeStamp(stamp);
    // A name whose files exist or whose marker another page holds is taken:
    // the claim of the free name is the marker itself.
    const std::u16string name = UniqueSnapshotName(U16(stamp), [&](const std::u16string& candidate) {
      if (SnapshotFilesExist(sandbox, candidate)) return true;
      m_hSnapshotMarker = ClaimSnapshotMarker(candidate);
      return !m_hSnapshotMarker;
    });
    m_szSnapshotName[0] = L'\0';
    if (!name.empty() && name.size() < 80) wcsncpy(m_szSnapshotName, W(name), 80);
    // A save refused by a running agent would still end with 0: without an
    // idle agent there is no backup, so nothing is loosened.
    const bool idle = WaitForAgentIdle();
    const int code = m_szSnapshotName[0] && idle
                         ? RunAgentCommand(BuildRegistrySaveCommandLine(U16(m_szSnapshotName), m_props.debugLog))
                         : -1;
    // A copy of the agent that found another one running ends with 0 and
    // saves nothing (a logon recovery or a session may start between the
    // idle check and the command): the files themselves tell.
    const bool whole = code == 0 && SnapshotPairWhole(sandbox, U16(m_szSnapshotName));
    if (!whole) {
      // No loosening without a backup to undo it.
      if (code == 0) {
        FILE_LOG(logERROR) << "RegistrySave left no whole snapshot: browser settings left unchanged";
      } else {
        FILE_LOG(logERROR) << "RegistrySave failed (" << code << "): browser settings left unchanged";
      }
      backedUp = false;
      m_szSnapshotName[0] = L'\0';
      m_hSnapshotMarker.reset();
    }
  }
  if (backedUp) RunAgentCommand(BuildRegistrySetLooseCommandLine(m_props.debugLog));
  if (m_props.debugSandbox != 0) {
    wchar_t loose[80];
    SnapshotTimeStamp(loose);
    RunAgentCommand(BuildLooseRegistrySaveCommandLine(U16(loose), m_props.debugLog));
  }
  return 0;
}

void CZaduzeCtrl::OnDestroyStep() {
  // Site lock: a refused creation did nothing and has nothing to undo. An
  // allowed one is undone even when the container has taken the site away
  // since (the verdict is then forgotten).
  if (!std::exchange(m_bCreateAllowed, false)) return;
  struct Restoring {
    bool& flag;
    ~Restoring() { flag = false; }
  } restoring{m_bRestoring};
  m_bRestoring = true;
  // Without a snapshot taken at creation there is nothing to restore: an
  // agent started with an empty snapshot name would start a protection
  // session instead.
  if (m_props.webSandboxMode != 0 && m_szSnapshotName[0] != L'\0') {
    const std::u16string name = U16(m_szSnapshotName);
    if (!WaitForAgentIdle()) {
      // The page's session agent still runs and would refuse the restore:
      // the snapshot stays pending for the next page or the next logon.
      FILE_LOG(logINFO) << "RegistryRestore : left pending, the agent still runs, " << LogText(name);
    } else {
      // The agent restores in save order: the newer snapshots nobody holds
      // first, then ours, then the older ones; with a newer one still held by
      // a live page ours stays pending for that page (exit code 2).
      const int code = RunAgentCommand(BuildRegistryRestoreCommandLine(name, m_props.debugSandbox, m_props.debugLog));
      FILE_LOG(logINFO) << "RegistryRestore : " << code;
    }
  }
  m_hSnapshotMarker.reset();
  FILE_LOG(logINFO) << "Zaduze(ocx) stopped";
}

}  // namespace zv
