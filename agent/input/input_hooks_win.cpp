#include "agent/input/input_hooks.h"

#include "agent/core/options.h"
#include "agent/input/key_filter.h"
#include "common/log/log.h"
#include "platform/handles.h"

namespace zv {

// Raw handles on purpose: the hook procedures find their state in process
// globals (they get no context), and the stop operations release them.
std::atomic<HHOOK> g_hKeyboardHook{nullptr};
std::atomic<HHOOK> g_hMouseHook{nullptr};

namespace {

// --- the hooks and what the watchdog knows of them ------------------------------

struct HookSlot {
  HookSlot(std::atomic<HHOOK>& h, int t, HOOKPROC p, const char* renewed, const char* lost)
      : handle(h), type(t), proc(p), renewedLine(renewed), lostLine(lost) {}
  std::atomic<HHOOK>& handle;
  const int type;
  const HOOKPROC proc;
  const char* const renewedLine;
  const char* const lostLine;
  std::atomic<uint32_t> lastCall{0};  // written by the procedure, read by the watchdog
  // Hook-thread only:
  HINSTANCE instance = nullptr;
  RenewalPace pace;
  bool lost = false;  // the system removed it and a fresh one could not be installed
};

HookSlot g_keyboard(g_hKeyboardHook, WH_KEYBOARD_LL, KeyboardHookProc, "ProtectKeyCheat hook renewed",
                    "ProtectKeyCheat hook lost: renewal failed");
HookSlot g_mouse(g_hMouseHook, WH_MOUSE_LL, MouseHookProc, "ProtectMouseCheat hook renewed",
                 "ProtectMouseCheat hook lost: renewal failed");

std::atomic<uint32_t> g_watchdogPeriod{1000};
constexpr uint32_t kWatchdogSlack = 100;  // ms an input may wait for the hook before it counts as missed

// Installs a fresh hook first and only then removes the old one, so that no
// event slips through in between. One log line each time.
void Renew(HookSlot& slot) {
  const uint32_t now = GetTickCount();
  if (!RenewalDue(slot.pace, slot.lastCall.load(), now)) return;
  NoteRenewal(slot.pace, slot.lastCall.load(), now, g_watchdogPeriod.load());
  HHOOK fresh = SetWindowsHookExW(slot.type, slot.proc, slot.instance, 0);
  slot.lastCall = now;  // judge the fresh hook (or the next attempt) on later input only
  if (fresh == nullptr) {
    if (!slot.lost) {
      FILE_LOG(logINFO) << slot.lostLine;
    }
    slot.lost = true;
    return;
  }
  const HHOOK old = slot.handle.exchange(fresh);
  UnhookWindowsHookEx(old);  // fails when the system already removed it
  slot.lost = false;
  FILE_LOG(logINFO) << slot.renewedLine;
}

void Watch() {
  LASTINPUTINFO input{};
  input.cbSize = sizeof input;
  if (!GetLastInputInfo(&input)) return;
  const WatchedHook keyboard{g_keyboard.handle.load() != nullptr, g_keyboard.lastCall.load()};
  const WatchedHook mouse{g_mouse.handle.load() != nullptr, g_mouse.lastCall.load()};
  const HookRenewal renew = HooksToRenew(keyboard, mouse, input.dwTime, GetTickCount(), kWatchdogSlack);
  if (renew.keyboard) Renew(g_keyboard);
  if (renew.mouse) Renew(g_mouse);
}

// --- the hook thread -------------------------------------------------------------

constexpr UINT kRequestMessage = WM_APP + 0x20;

struct Request {
  enum class Kind { Install, Remove } kind;
  HookSlot* slot;
  bool ok = false;
  HANDLE done;
};

void Execute(Request& request) {
  HookSlot& slot = *request.slot;
  if (request.kind == Request::Kind::Install) {
    HHOOK hook = SetWindowsHookExW(slot.type, slot.proc, request.slot->instance, 0);
    slot.lastCall = GetTickCount();
    slot.pace = RenewalPace{};
    slot.lost = false;
    slot.handle = hook;
    request.ok = hook != nullptr;
  } else {
    // Honest about the session: a hook that the system took away and that
    // could not be renewed did not protect until now.
    const BOOL removed = UnhookWindowsHookEx(slot.handle.exchange(nullptr));
    request.ok = removed && !slot.lost;
    slot.lost = false;
  }
}

struct ThreadStart {
  HANDLE ready;
  uint32_t period;
};

DWORD WINAPI HookThreadProc(void* param) {
  const ThreadStart start = *static_cast<ThreadStart*>(param);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue exists from here on
  SetEvent(start.ready);
  const UINT_PTR timer = start.period ? SetTimer(nullptr, 0, start.period, nullptr) : 0;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == kRequestMessage) {
      auto* request = reinterpret_cast<Request*>(msg.lParam);
      Execute(*request);
      SetEvent(request->done);
    } else if (msg.hwnd == nullptr && msg.message == WM_TIMER && timer != 0 && msg.wParam == timer) {
      Watch();
    } else {
      DispatchMessageW(&msg);
    }
  }
  if (timer) KillTimer(nullptr, timer);
  return 0;
}

// Used from one thread at a time (the caller of start and stop).
UniqueKernelHandle g_thread;
DWORD g_threadId = 0;

bool EnsureThread() {
  if (g_thread) return true;
  UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!ready) return false;
  ThreadStart start{ready.get(), g_watchdogPeriod.load()};
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, HookThreadProc, &start, 0, &id);
  if (thread == nullptr) return false;
  WaitForSingleObject(ready.get(), INFINITE);
  g_thread.reset(thread);
  g_threadId = id;
  return true;
}

void EndThreadWhenIdle() {
  if (!g_thread || g_hKeyboardHook.load() != nullptr || g_hMouseHook.load() != nullptr) return;
  PostThreadMessageW(g_threadId, WM_QUIT, 0, 0);
  WaitForSingleObject(g_thread.get(), INFINITE);
  g_thread.reset();
  g_threadId = 0;
}

// Runs the request on the hook thread and waits for it.
bool Call(Request::Kind kind, HookSlot& slot) {
  if (!EnsureThread()) return false;
  UniqueKernelHandle done(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!done) return false;
  Request request{kind, &slot, false, done.get()};
  if (!PostThreadMessageW(g_threadId, kRequestMessage, 0, reinterpret_cast<LPARAM>(&request))) return false;
  WaitForSingleObject(done.get(), INFINITE);
  return request.ok;
}

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

bool Install(HookSlot& slot, HINSTANCE instance) {
  if (instance == nullptr) return false;
  slot.instance = instance;
  const bool ok = Call(Request::Kind::Install, slot);
  if (!ok) EndThreadWhenIdle();
  return ok;
}

bool Remove(HookSlot& slot) {
  const bool ok = Call(Request::Kind::Remove, slot);
  slot.handle = nullptr;  // also when the thread could not be reached
  EndThreadWhenIdle();
  return ok;
}

// A hook procedure must not let anything escape into the system's frames;
// a line that cannot be formatted is dropped, the decision stands.
template <typename F>
void LogSafely(F&& write) noexcept {
  try {
    write();
  } catch (...) {
  }
}

}  // namespace

void SetHookWatchdogPeriod(uint32_t millis) { g_watchdogPeriod = millis; }

DWORD HookThreadId() { return g_threadId; }

void WatchHookThread() {}

namespace {

// "<step> OK", or "<step> <failed>": the keyboard's lines say "failed", the
// mouse's "Failed".
void LogOutcome(const char* step, bool ok, const char* failed) {
  FILE_LOG(logINFO) << step << ' ' << (ok ? "OK" : failed);
}

}  // namespace

void ProtectKeyCheatStart(HWND view) {
  if (g_hKeyboardHook.load() != nullptr) return;
  const HWND top = TopLevelAncestor(view);
  if (top == nullptr) return;
  LogOutcome("ProtectKeyCheatStart", Install(g_keyboard, InstanceOf(top)), "failed");
}

void ProtectKeyCheatStop() { LogOutcome("ProtectKeyCheatStop", Remove(g_keyboard), "failed"); }

void ProtectMouseCheatStart(HWND view) {
  if (g_hMouseHook.load() != nullptr) return;
  LogOutcome("ProtectMouseCheatStart", Install(g_mouse, InstanceOf(TopLevelAncestor(view))), "Failed");
}

void ProtectMouseCheatStop() { LogOutcome("ProtectMouseCheatStop", Remove(g_mouse), "Failed"); }

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  g_keyboard.lastCall.store(GetTickCount(), std::memory_order_relaxed);
  if (code != HC_ACTION) return CallNextHookEx(g_hKeyboardHook.load(), code, wParam, lParam);
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  switch (DecideKeyEvent(code, event->flags, event->vkCode, g_setAltKeys, g_setKeys)) {
    case HookDecision::Swallow:
      LogSafely([&] {
        FILE_LOG(logDEBUG) << "Key Event blocked : "
                           << FormatKeyEventText(event->flags, event->vkCode, wParam, static_cast<uintptr_t>(lParam));
      });
      return 1;
    case HookDecision::PassOn:
      LogSafely([&] {
        FILE_LOG(logDEBUG) << "### Key Event unblocked : "
                           << FormatKeyEventText(event->flags, event->vkCode, wParam, static_cast<uintptr_t>(lParam));
      });
      break;
    case HookDecision::PassOnSilently:
      break;
  }
  return CallNextHookEx(g_hKeyboardHook.load(), code, wParam, lParam);
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
  g_mouse.lastCall.store(GetTickCount(), std::memory_order_relaxed);
  if (DecideMouseEvent(code, wParam) == HookDecision::Swallow) {
    LogSafely([] { FILE_LOG(logDEBUG) << "Mouse(R) Event blocked :"; });
    return 1;
  }
  return CallNextHookEx(g_hMouseHook.load(), code, wParam, lParam);
}

}  // namespace zv
