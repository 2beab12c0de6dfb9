#include "agent/input/input_hooks.h"

#include <new>
#include <string_view>

#include "agent/core/options.h"
#include "agent/input/key_filter.h"
#include "common/log/log.h"
#include "common/log/log_queue.h"
#include "common/log/log_queue_win.h"
#include "platform/handles.h"

namespace zv {

// Raw handles on purpose: the hook procedures find their state in process
// globals (they get no context), and the stop operations release them.
std::atomic<HHOOK> g_hKeyboardHook{nullptr};
std::atomic<HHOOK> g_hMouseHook{nullptr};

namespace {

// Every wait for the hook thread (its start, a request, its end).
constexpr DWORD kThreadWait = 2000;
// The hook thread turns at least this often, and is reported stalled when it
// has not turned for kHeartbeatLimit.
constexpr UINT kHeartbeatPeriod = 500;
constexpr uint32_t kHeartbeatLimit = 2000;

// Raw input: the generic desktop page, its mouse and keyboard usages.
constexpr USHORT kUsagePageGeneric = 1;
constexpr USHORT kUsageMouse = 2;
constexpr USHORT kUsageKeyboard = 6;

// A line from the hook thread: queued, never waited for.
void QueueLine(TLogLevel level, std::string_view text) {
  if (LogLineWanted(level)) QueueLogLine(level, text);
}

// --- the hooks and what the watchdog knows of them ------------------------------

struct HookSlot {
  HookSlot(std::atomic<HHOOK>& h, int t, HOOKPROC p, USHORT u, const char* renewed, const char* lost,
           const char* unwatched)
      : handle(h), type(t), proc(p), usage(u), renewedLine(renewed), lostLine(lost), unwatchedLine(unwatched) {}
  std::atomic<HHOOK>& handle;
  const int type;
  const HOOKPROC proc;
  const USHORT usage;  // of its kind of raw input
  const char* const renewedLine;
  const char* const lostLine;
  const char* const unwatchedLine;
  std::atomic<uint32_t> calls{0};  // counted by the procedure
  std::atomic<uint32_t> input{0};  // raw input of its kind, counted by the hook thread
  // Hook-thread only (and the stop's, once the hook thread is given up):
  HINSTANCE instance = nullptr;
  HookWatch watch;
  bool watched = false;  // its kind of raw input is registered
  bool lost = false;     // the system removed it and a fresh one could not be installed
};

HookSlot g_keyboard(g_hKeyboardHook, WH_KEYBOARD_LL, KeyboardHookProc, kUsageKeyboard, "ProtectKeyCheat hook renewed",
                    "ProtectKeyCheat hook lost: renewal failed",
                    "ProtectKeyCheat watchdog off: no raw keyboard input");
HookSlot g_mouse(g_hMouseHook, WH_MOUSE_LL, MouseHookProc, kUsageMouse, "ProtectMouseCheat hook renewed",
                 "ProtectMouseCheat hook lost: renewal failed", "ProtectMouseCheat watchdog off: no raw mouse input");

HookCounts Counts(const HookSlot& slot) { return HookCounts{slot.calls.load(), slot.input.load()}; }

std::atomic<uint32_t> g_watchdogPeriod{kHookWatchdogPeriod};
std::atomic<uint32_t> g_heartbeat{0};  // tick of the hook thread's last turn

// The raw input of the slot's kind comes to the sink window, also while
// other programs have the focus.
bool WatchInput(HookSlot& slot, HWND sink) {
  const RAWINPUTDEVICE device{kUsagePageGeneric, slot.usage, RIDEV_INPUTSINK, sink};
  return RegisterRawInputDevices(&device, 1, sizeof device) != FALSE;
}

void UnwatchInput(HookSlot& slot) {
  if (!slot.watched) return;
  const RAWINPUTDEVICE device{kUsagePageGeneric, slot.usage, RIDEV_REMOVE, nullptr};
  RegisterRawInputDevices(&device, 1, sizeof device);
  slot.watched = false;
}

LRESULT CALLBACK SinkProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INPUT) {
    RAWINPUTHEADER header;
    UINT size = sizeof header;
    if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_HEADER, &header, &size, sizeof header) !=
        static_cast<UINT>(-1)) {
      if (header.dwType == RIM_TYPEKEYBOARD) g_keyboard.input.fetch_add(1, std::memory_order_relaxed);
      if (header.dwType == RIM_TYPEMOUSE) g_mouse.input.fetch_add(1, std::memory_order_relaxed);
    }
  }
  return DefWindowProcW(window, msg, wParam, lParam);  // also frees the raw input
}

HWND CreateInputSink() {
  WNDCLASSW cls{};
  cls.lpfnWndProc = SinkProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"ZedudeVeriInputSink";
  RegisterClassW(&cls);  // registered by an earlier hook thread: fine
  return CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
}

// Installs a fresh hook first and only then removes the old one, so that no
// event slips through in between. One log line each time.
void Renew(HookSlot& slot, uint32_t now, uint32_t period) {
  const HHOOK fresh = SetWindowsHookExW(slot.type, slot.proc, slot.instance, 0);
  if (fresh == nullptr) {
    if (!slot.lost) QueueLine(logINFO, slot.lostLine);
    slot.lost = true;
  } else {
    const HHOOK old = slot.handle.exchange(fresh);
    UnhookWindowsHookEx(old);  // fails when the system already removed it
    slot.lost = false;
    QueueLine(logINFO, slot.renewedLine);
  }
  slot.watch.Renewed(Counts(slot), now, period);
}

void Watch(uint32_t period) {
  const uint32_t now = GetTickCount();
  for (HookSlot* slot : {&g_keyboard, &g_mouse}) {
    if (slot->handle.load() == nullptr || !slot->watched) continue;
    if (slot->watch.Look(Counts(*slot), now)) Renew(*slot, now, period);
  }
}

// --- the hook thread -------------------------------------------------------------

constexpr UINT kRequestMessage = WM_APP + 0x20;

// Shared by the caller and the hook thread; whoever lets go last frees it,
// so a caller that stops waiting leaves nothing dangling.
struct Request {
  enum class Kind { Install, Remove } kind;
  enum State { kPending, kTaken, kGivenUp };
  HookSlot* slot = nullptr;
  UniqueKernelHandle done;
  bool ok = false;
  std::atomic<int> state{kPending};
  std::atomic<int> refs{2};
};

// A request or a hook thread, shared by two sides: the last one to let go
// frees it (and its handles with it).
template <typename Shared>
void Release(Shared* shared) {
  if (shared->refs.fetch_sub(1) == 1) delete shared;
}

void Execute(Request& request, HWND sink) {
  int pending = Request::kPending;
  if (!request.state.compare_exchange_strong(pending, Request::kTaken)) return;  // the caller gave up on it
  HookSlot& slot = *request.slot;
  if (request.kind == Request::Kind::Install) {
    const HHOOK hook = SetWindowsHookExW(slot.type, slot.proc, slot.instance, 0);
    slot.lost = false;
    slot.handle = hook;
    if (hook != nullptr) {
      slot.watched = sink != nullptr && WatchInput(slot, sink);
      if (!slot.watched) QueueLine(logINFO, slot.unwatchedLine);
      slot.watch = HookWatch{};
      slot.watch.Start(Counts(slot));
    }
    request.ok = hook != nullptr;
  } else {
    UnwatchInput(slot);
    // Honest about the session: a hook that the system took away and that
    // could not be renewed did not protect until now.
    const BOOL removed = UnhookWindowsHookEx(slot.handle.exchange(nullptr));
    request.ok = removed && !slot.lost;
    slot.lost = false;
  }
  SetEvent(request.done.get());
}

// One hook thread, shared by its caller and itself like a request. A thread
// that does not answer in time is given up: it ends when it runs again.
struct HookThread {
  UniqueKernelHandle thread;
  UniqueKernelHandle ready;
  DWORD id = 0;
  uint32_t watchdogPeriod = 0;
  std::atomic<bool> givenUp{false};
  std::atomic<int> refs{2};
};

DWORD WINAPI HookThreadProc(void* param) {
  auto* self = static_cast<HookThread*>(param);
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue exists from here on
  const HWND sink = CreateInputSink();
  const UINT_PTR beat = SetTimer(nullptr, 0, kHeartbeatPeriod, nullptr);
  const UINT_PTR watch = self->watchdogPeriod ? SetTimer(nullptr, 0, self->watchdogPeriod, nullptr) : 0;
  g_heartbeat = GetTickCount();
  SetEvent(self->ready.get());
  while (!self->givenUp.load() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    g_heartbeat.store(GetTickCount(), std::memory_order_relaxed);
    if (msg.hwnd == nullptr && msg.message == kRequestMessage) {
      auto* request = reinterpret_cast<Request*>(msg.lParam);
      Execute(*request, sink);
      Release(request);
    } else if (msg.hwnd == nullptr && msg.message == WM_TIMER && (msg.wParam == beat || msg.wParam == watch)) {
      if (msg.wParam == watch && !self->givenUp.load()) Watch(self->watchdogPeriod);
    } else {
      DispatchMessageW(&msg);
    }
  }
  while (PeekMessageW(&msg, nullptr, kRequestMessage, kRequestMessage, PM_REMOVE))
    Release(reinterpret_cast<Request*>(msg.lParam));
  if (watch) KillTimer(nullptr, watch);
  if (beat) KillTimer(nullptr, beat);
  if (sink) DestroyWindow(sink);
  Release(self);
  return 0;
}

// The caller's side (the user-interface thread: start, stop, heartbeat).
HookThread* g_current = nullptr;
bool g_stalled = false;  // the heartbeat watch's memory

void GiveUp(HookThread* thread) {
  FILE_LOG(logINFO) << "Input hook thread did not answer within " << kThreadWait << " ms";
  thread->givenUp = true;
  PostThreadMessageW(thread->id, WM_QUIT, 0, 0);  // wakes it when it runs again
  Release(thread);
}

bool EnsureThread() {
  if (g_current != nullptr) return true;
  auto* thread = new (std::nothrow) HookThread;
  if (thread == nullptr) return false;
  thread->ready.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  thread->watchdogPeriod = g_watchdogPeriod.load();
  if (thread->ready)
    thread->thread.reset(CreateThread(nullptr, 0, HookThreadProc, thread, CREATE_SUSPENDED, &thread->id));
  if (!thread->thread) {
    thread->refs = 1;
    Release(thread);
    return false;
  }
  // Above the user-interface thread and the guards: what stalls this thread
  // is what makes the system remove its hooks.
  SetThreadPriority(thread->thread.get(), THREAD_PRIORITY_HIGHEST);
  ResumeThread(thread->thread.get());
  if (WaitForSingleObject(thread->ready.get(), kThreadWait) != WAIT_OBJECT_0) {
    GiveUp(thread);
    return false;
  }
  g_current = thread;
  g_stalled = false;
  StartQueuedLog();
  return true;
}

// Ends the hook thread (and the log's writer) when no hook is left.
void EndThreadWhenIdle() {
  if (g_hKeyboardHook.load() != nullptr || g_hMouseHook.load() != nullptr) return;
  if (HookThread* thread = g_current) {
    g_current = nullptr;
    PostThreadMessageW(thread->id, WM_QUIT, 0, 0);
    if (WaitForSingleObject(thread->thread.get(), kThreadWait) == WAIT_OBJECT_0) {
      Release(thread);
    } else {
      GiveUp(thread);
    }
  }
  StopQueuedLog(kThreadWait / 2);
}

// Runs the request on the hook thread and waits for it, at most kThreadWait
// (twice that when the thread had already taken it up). `answered`: whether
// the thread carried it out; a thread that did not is given up.
bool Call(Request::Kind kind, HookSlot& slot, bool& answered) {
  answered = false;
  if (!EnsureThread()) return false;
  auto* request = new (std::nothrow) Request;
  if (request == nullptr) return false;
  request->kind = kind;
  request->slot = &slot;
  request->done.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!request->done ||
      !PostThreadMessageW(g_current->id, kRequestMessage, 0, reinterpret_cast<LPARAM>(request))) {
    request->refs = 1;
    Release(request);
    return false;
  }
  DWORD wait = WaitForSingleObject(request->done.get(), kThreadWait);
  if (wait != WAIT_OBJECT_0) {
    int pending = Request::kPending;
    if (!request->state.compare_exchange_strong(pending, Request::kGivenUp))
      wait = WaitForSingleObject(request->done.get(), kThreadWait);  // it is being carried out
  }
  answered = wait == WAIT_OBJECT_0;
  const bool ok = answered && request->ok;
  Release(request);
  if (!answered) {
    GiveUp(g_current);
    g_current = nullptr;
  }
  return ok;
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
  bool answered = false;
  const bool ok = Call(Request::Kind::Install, slot, answered);
  if (!ok) EndThreadWhenIdle();
  return ok;
}

bool Remove(HookSlot& slot) {
  bool answered = false;
  bool ok = g_current != nullptr && Call(Request::Kind::Remove, slot, answered);
  if (!answered) {
    // No hook thread that answers: the hook goes from here (a process may
    // remove its hooks from any of its threads), so that the desktop's input
    // no longer waits for a stalled thread. The stop reports the failure.
    UnwatchInput(slot);
    UnhookWindowsHookEx(slot.handle.exchange(nullptr));
    ok = false;
  }
  slot.handle = nullptr;
  EndThreadWhenIdle();
  return ok;
}

// "<step> OK", or "<step> <failed>": the keyboard's lines say "failed", the
// mouse's "Failed".
void LogOutcome(const char* step, bool ok, const char* failed) {
  FILE_LOG(logINFO) << step << ' ' << (ok ? "OK" : failed);
}

// A key event's line, formatted into the stack and queued: no lock, no
// allocation, no disk.
void QueueKeyLine(const char* prefix, const KBDLLHOOKSTRUCT& event, WPARAM wParam, LPARAM lParam) {
  if (!LogLineWanted(logDEBUG)) return;
  char text[kQueuedLineText];
  const size_t length =
      FormatKeyEventLine(text, sizeof text, prefix, event.flags, event.vkCode, wParam, static_cast<uintptr_t>(lParam));
  QueueLogLine(logDEBUG, std::string_view(text, length));
}

}  // namespace

void SetHookWatchdogPeriod(uint32_t millis) { g_watchdogPeriod = millis; }

DWORD HookThreadId() { return g_current ? g_current->id : 0; }

void WatchHookThread() {
  if (g_current == nullptr) return;
  const uint32_t now = GetTickCount();
  const uint32_t lastBeat = g_heartbeat.load();
  switch (LookAtHeartbeat(lastBeat, now, kHeartbeatLimit, g_stalled)) {
    case HeartbeatNews::Stalled:
      FILE_LOG(logINFO) << "Input hook thread stalled: no heartbeat for " << (now - lastBeat) << " ms";
      break;
    case HeartbeatNews::Running:
      FILE_LOG(logINFO) << "Input hook thread running again";
      break;
    case HeartbeatNews::None:
      break;
  }
}

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
  g_keyboard.calls.fetch_add(1, std::memory_order_relaxed);
  if (code != HC_ACTION) return CallNextHookEx(g_hKeyboardHook.load(), code, wParam, lParam);
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  switch (DecideKeyEvent(code, event->flags, event->vkCode, g_setAltKeys, g_setKeys)) {
    case HookDecision::Swallow:
      QueueKeyLine("Key Event blocked : ", *event, wParam, lParam);
      return 1;
    case HookDecision::PassOn:
      QueueKeyLine("### Key Event unblocked : ", *event, wParam, lParam);
      break;
    case HookDecision::PassOnSilently:
      break;
  }
  return CallNextHookEx(g_hKeyboardHook.load(), code, wParam, lParam);
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
  g_mouse.calls.fetch_add(1, std::memory_order_relaxed);
  if (DecideMouseEvent(code, wParam) == HookDecision::Swallow) {
    QueueLine(logDEBUG, "Mouse(R) Event blocked :");
    return 1;
  }
  return CallNextHookEx(g_hMouseHook.load(), code, wParam, lParam);
}

}  // namespace zv
