// Application guard: once a second every foreign application window is asked
// to close and one process per black-listed image name is ended; the same
// window rule counts forbidden windows for the one-shot query.
#include <windows.h>

#include <tlhelp32.h>

#include <vector>

#include "agent/core/options.h"
#include "agent/guard/app_guard.h"
#include "agent/guard/exam_window.h"
#include "agent/guard/guard_rules.h"
#include "agent/guard/guard_timer_win.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"
#include "platform/window.h"

namespace zv {

namespace {

constexpr int kTextBuffer = 255;

// Each fact of another program's window costs a round trip to the window
// server, so a fact is read only when the decision still depends on it.
// EnumWindows reports top-level windows only, whose parent (the desktop) is
// always visible: their WS_VISIBLE bit is what IsWindowVisible answers, without
// its second round trip for the parent chain.
bool IsCandidateWindow(HWND window) {
  if ((GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) == 0) return false;
  const auto exStyle = static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
  const bool ownerMatters = (exStyle & (kExStyleAppWindow | kExStyleToolWindow)) == 0;
  return IsCheatCandidate(true, exStyle, ownerMatters && GetWindow(window, GW_OWNER) != nullptr);
}

// The processes as one snapshot reports them; empty when it fails (then
// every image name is empty, as a failed per-window snapshot would give).
std::vector<ProcessEntry> SnapshotProcesses(DWORD flags) {
  std::vector<ProcessEntry> entries;
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(flags, 0));
  if (!snapshot) return entries;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    entries.push_back(ProcessEntry{entry.th32ProcessID, U16(entry.szExeFile)});
  return entries;
}

// The image path of an opened process (empty when it cannot be read).
std::u16string ImagePath(HANDLE process) {
  std::vector<wchar_t> path(32768);
  DWORD size = static_cast<DWORD>(path.size());
  if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return {};
  return U16(path.data(), size);
}

// The image name of a process that the pass's snapshot does not know (it
// started after the snapshot): from the process itself, or from a fresh
// snapshot when it cannot be opened.
std::u16string LookUpImageName(uint32_t pid) {
  const UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (process) {
    const std::u16string path = ImagePath(process.get());
    if (!path.empty()) return std::u16string(ImageFileName(path));
  }
  return GetProcessImageName(pid);
}

ProcessTable PassTable() { return ProcessTable(SnapshotProcesses(TH32CS_SNAPPROCESS), LookUpImageName); }

// One enumeration of the pass: the process table and the exam's frame are
// taken once before it.
struct Pass {
  ProcessTable processes;
  HWND examFrame = nullptr;
  int32_t count = 0;
};

// The close rule's verdict and the upper-case image name. The title is only
// needed for the log line of a window that is closed, so it is read there.
AppVerdict Judge(HWND window, const Pass& pass, std::u16string& upperImage) {
  const std::u16string className = WindowClassName(window, kTextBuffer);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  upperImage = ToUpperAscii(pass.processes.ImageName(pid));
  return JudgeCandidate(className, upperImage, g_setAppExceptions, window == pass.examFrame);
}

BOOL CALLBACK CloseProc(HWND window, LPARAM param) {
  try {
    if (!IsCandidateWindow(window)) return TRUE;
    std::u16string upperImage;
    if (Judge(window, *reinterpret_cast<Pass*>(param), upperImage) != AppVerdict::Cheat) return TRUE;
    PostMessageW(window, WM_CLOSE, 0, 0);  // a window gone meanwhile just fails
    FILE_LOG(logDEBUG) << LogText(KilledAppLine(WindowText(window, kTextBuffer), upperImage));
  } catch (...) {
    // Nothing may escape into EnumWindows (out of memory for one window): the
    // next window and the next tick try again.
  }
  return TRUE;
}

BOOL CALLBACK CountProc(HWND window, LPARAM param) {
  try {
    auto* pass = reinterpret_cast<Pass*>(param);
    std::u16string upperImage;
    if (IsCandidateWindow(window) && Judge(window, *pass, upperImage) == AppVerdict::Cheat) ++pass->count;
  } catch (...) {
  }
  return TRUE;
}

}  // namespace

void ProtectAppCheatStart(HWND view) { StartGuardTimer(view, ID_TIMER_APPGUARD, "ProtectAppCheat"); }

void ProtectAppCheatStop(HWND view) { StopGuardTimer(view, ID_TIMER_APPGUARD, "ProtectAppCheat"); }

void CloseCheatApps() {
  try {
    Pass pass{PassTable(), ExamFrame()};
    EnumWindows(CloseProc, reinterpret_cast<LPARAM>(&pass));
  } catch (...) {
    // Out of memory for the snapshot: the next tick tries again.
  }
}

int32_t CountCheatApps() {
  try {
    Pass pass{PassTable(), ExamFrame()};
    EnumWindows(CountProc, reinterpret_cast<LPARAM>(&pass));
    return pass.count;
  } catch (...) {
    return 0;
  }
}

std::u16string GetProcessImageName(DWORD pid) {
  return ProcessTable(SnapshotProcesses(TH32CS_SNAPPROCESS)).ImageName(pid);
}

void EndBlackListedProcesses(const ProcessTable& processes, const std::set<std::u16string>& blackList) {
  // The first copy per name: several copies of one program end one per tick.
  for (const BlackListVictim& victim : processes.BlackListVictims(blackList)) {
    const UniqueKernelHandle process(OpenProcess(MAXIMUM_ALLOWED, FALSE, victim.pid));
    // The id may have passed to another program since the snapshot: the
    // handle pins the process it names now, which must still be the listed one.
    if (!process || !StillBlackListed(victim, ImagePath(process.get()))) continue;
    if (TerminateProcess(process.get(), 0)) {
      DWORD code = 0;
      GetExitCodeProcess(process.get(), &code);
    }
  }
}

void KillBlackListedApps() {
  // Only names that can match need a snapshot (the empty member matches nothing).
  bool anyName = false;
  for (const auto& name : g_setAppBlackList) anyName = anyName || !name.empty();
  if (!anyName) return;
  try {
    EndBlackListedProcesses(ProcessTable(SnapshotProcesses(TH32CS_SNAPPROCESS)), g_setAppBlackList);
  } catch (...) {
    // Out of memory for the snapshot: the next tick tries again.
  }
}

}  // namespace zv
