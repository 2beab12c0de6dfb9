// Application guard: once a second every foreign application window is asked
// to close and one process per black-listed image name is ended; the same
// window rule counts forbidden windows for the one-shot query.
#include <windows.h>

#include <tlhelp32.h>

#include "agent/core/options.h"
#include "agent/guard/app_guard.h"
#include "agent/guard/guard_rules.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

namespace {

constexpr int kTextBuffer = 255;

std::u16string WindowText(HWND window) {
  wchar_t text[kTextBuffer] = {};
  const int length = GetWindowTextW(window, text, kTextBuffer);
  return U16(text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::u16string ClassName(HWND window) {
  wchar_t name[kTextBuffer] = {};
  const int length = GetClassNameW(window, name, kTextBuffer);
  return U16(name, length > 0 ? static_cast<size_t>(length) : 0);
}

bool IsCandidateWindow(HWND window) {
  return IsCheatCandidate(IsWindowVisible(window) != FALSE, static_cast<uint32_t>(GetWindowLongW(window, GWL_EXSTYLE)),
                          GetWindow(window, GW_OWNER) != nullptr);
}

// One window of the pass, judged by the close rule.
struct JudgedWindow {
  std::u16string title;
  std::u16string upperImage;
  AppVerdict verdict;
};

JudgedWindow Judge(HWND window) {
  JudgedWindow judged;
  judged.title = WindowText(window);
  const std::u16string className = ClassName(window);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  judged.upperImage = ToUpperAscii(GetProcessImageName(pid));
  judged.verdict = JudgeCandidate(className, judged.upperImage, g_setAppExceptions);
  return judged;
}

BOOL CALLBACK CloseProc(HWND window, LPARAM) {
  try {
    if (!IsCandidateWindow(window)) return TRUE;
    const JudgedWindow judged = Judge(window);
    if (judged.verdict != AppVerdict::kCheat) return TRUE;
    PostMessageW(window, WM_CLOSE, 0, 0);  // a window gone meanwhile just fails
    FILE_LOG(logDEBUG) << LogText(KilledAppLine(judged.title, judged.upperImage));
  } catch (...) {
    // Nothing may escape into EnumWindows (out of memory for one window): the
    // next window and the next tick try again.
  }
  return TRUE;
}

BOOL CALLBACK CountProc(HWND window, LPARAM param) {
  try {
    if (IsCandidateWindow(window) && Judge(window).verdict == AppVerdict::kCheat) ++*reinterpret_cast<int32_t*>(param);
  } catch (...) {
  }
  return TRUE;
}

}  // namespace

void ProtectAppCheatStart(HWND view) {
  KillTimer(view, ID_TIMER_APPGUARD);
  SetTimer(view, ID_TIMER_APPGUARD, 1000, nullptr);
  FILE_LOG(logINFO) << "ProtectAppCheatStart OK";
}

void ProtectAppCheatStop(HWND view) {
  KillTimer(view, ID_TIMER_APPGUARD);
  FILE_LOG(logINFO) << "ProtectAppCheatStop OK";
}

void CloseCheatApps() { EnumWindows(CloseProc, 0); }

int32_t CountCheatApps() {
  int32_t count = 0;
  EnumWindows(CountProc, reinterpret_cast<LPARAM>(&count));
  return count;
}

std::u16string GetProcessImageName(DWORD pid) {
  UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return {};
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == pid) return U16(entry.szExeFile);
  }
  return {};
}

void KillBlackListedApps() {
  for (const auto& name : g_setAppBlackList) {
    if (name.empty()) continue;  // matches no image name: no snapshot needed
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPALL, 0));
    if (!snapshot) continue;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
      if (!IsBlackListedImage(U16(entry.szExeFile), name)) continue;
      // Only the first copy: several copies of one program end one per tick.
      UniqueKernelHandle process(OpenProcess(MAXIMUM_ALLOWED, FALSE, entry.th32ProcessID));
      if (process && TerminateProcess(process.get(), 0)) {
        DWORD code = 0;
        GetExitCodeProcess(process.get(), &code);
      }
      break;
    }
  }
}

}  // namespace zv
