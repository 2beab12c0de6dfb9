#include "agent/guard/exam_window.h"

#include <string>

#include "agent/guard/app_guard.h"
#include "agent/guard/guard_rules.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "platform/window.h"

namespace zv {

namespace {

constexpr int kClassBuffer = 255;

// Written once at start, before any timer or count reads it.
HWND g_hExamPage = nullptr;
WindowIdentity g_examPageAtStart;

WindowIdentity IdentityOf(HWND window) {
  WindowIdentity identity;
  if (window == nullptr || !IsWindow(window)) return identity;
  DWORD pid = 0;
  if (GetWindowThreadProcessId(window, &pid) == 0) return identity;
  identity.exists = true;
  identity.pid = pid;
  identity.className = WindowClassName(window, kClassBuffer);
  return identity;
}

// Windows shares the low 32 bits of a window handle between 32- and 64-bit
// programs; a 64-bit program sign-extends them.
HWND HandleFromValue(uint32_t value) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(value)));
}

}  // namespace

void RememberExamPageWindow(uint32_t pageWindow) {
  if (pageWindow == 0) return;
  try {
    g_hExamPage = HandleFromValue(pageWindow);
    g_examPageAtStart = IdentityOf(g_hExamPage);
    const HWND frame = ExamFrame();
    if (frame == nullptr) {
      FILE_LOG(logINFO) << LogText(NoExamFrameLine(pageWindow));
      return;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(frame, &pid);
    FILE_LOG(logINFO) << LogText(
        ExamFrameLine(WindowClassName(frame, kClassBuffer), ToUpperAscii(GetProcessImageName(pid))));
  } catch (...) {
    // Out of memory at start: nothing is spared.
    g_examPageAtStart = WindowIdentity{};
  }
}

HWND ExamFrame() {
  if (!g_examPageAtStart.exists) return nullptr;
  if (!IsSameWindow(g_examPageAtStart, IdentityOf(g_hExamPage))) return nullptr;
  return GetAncestor(g_hExamPage, GA_ROOT);
}

}  // namespace zv
