#include "agent/input/input_hooks.h"

#include "agent/core/options.h"
#include "agent/input/key_filter.h"
#include "common/log/log.h"

namespace zv {

// Raw handles on purpose: the hook procedures find their state in process
// globals (they get no context), and the stop operations release them.
HHOOK g_hKeyboardHook = nullptr;
HHOOK g_hMouseHook = nullptr;

namespace {

// The top-level ancestor of the view, or null when the view has no parent.
HWND TopLevelAncestor(HWND view) {
  HWND window = GetParent(view);
  if (window == nullptr) return nullptr;
  for (HWND parent = GetParent(window); parent != nullptr; parent = GetParent(parent)) window = parent;
  return window;
}

HINSTANCE InstanceOf(HWND window) {
  return window ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)) : nullptr;
}

}  // namespace

void ProtectKeyCheatStart(HWND view) {
  if (g_hKeyboardHook != nullptr) return;
  const HWND top = TopLevelAncestor(view);
  if (top == nullptr) return;
  if (HINSTANCE instance = InstanceOf(top)) g_hKeyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, instance, 0);
  if (g_hKeyboardHook != nullptr)
    FILE_LOG(logINFO) << "ProtectKeyCheatStart OK";
  else
    FILE_LOG(logINFO) << "ProtectKeyCheatStart failed";
}

void ProtectKeyCheatStop() {
  UnhookWindowsHookEx(g_hKeyboardHook);
  g_hKeyboardHook = nullptr;
  FILE_LOG(logINFO) << "ProtectKeyCheatStop OK";
}

void ProtectMouseCheatStart(HWND view) {
  if (g_hMouseHook != nullptr) return;
  if (HINSTANCE instance = InstanceOf(TopLevelAncestor(view)))
    g_hMouseHook = SetWindowsHookExW(WH_MOUSE_LL, MouseHookProc, instance, 0);
  if (g_hMouseHook != nullptr)
    FILE_LOG(logINFO) << "ProtectMouseCheatStart OK";
  else
    FILE_LOG(logINFO) << "ProtectMouseCheatStart Failed";
}

void ProtectMouseCheatStop() {
  UnhookWindowsHookEx(g_hMouseHook);
  g_hMouseHook = nullptr;
  FILE_LOG(logINFO) << "ProtectMouseCheatStop OK";
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code != HC_ACTION) return CallNextHookEx(g_hKeyboardHook, code, wParam, lParam);
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  switch (DecideKeyEvent(code, event->flags, event->vkCode, g_setAltKeys, g_setKeys)) {
    case HookDecision::Swallow:
      FILE_LOG(logDEBUG) << "Key Event blocked : "
                         << FormatKeyEventText(event->flags, event->vkCode, wParam, static_cast<uintptr_t>(lParam));
      return 1;
    case HookDecision::PassOn:
      FILE_LOG(logDEBUG) << "### Key Event unblocked : "
                         << FormatKeyEventText(event->flags, event->vkCode, wParam, static_cast<uintptr_t>(lParam));
      break;
    case HookDecision::PassOnSilently:
      break;
  }
  return CallNextHookEx(g_hKeyboardHook, code, wParam, lParam);
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (DecideMouseEvent(code, wParam) == HookDecision::Swallow) {
    FILE_LOG(logDEBUG) << "Mouse(R) Event blocked :";
    return 1;
  }
  return CallNextHookEx(g_hMouseHook, code, wParam, lParam);
}

}  // namespace zv
