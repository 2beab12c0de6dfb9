// The desktop-wide keyboard and mouse filters of a session.
//
// The hooks live on a thread of their own that does nothing but pump
// messages: the system calls a low-level hook procedure on the thread that
// installed it, so a slow guard pass or a cross-process COM call on the user
// interface thread never holds a keystroke up. The procedures never wait for
// anything: their log lines go through a lock-free queue that another thread
// writes out. Start and stop are synchronous for the caller, but wait for the
// hook thread at most a couple of seconds. A watchdog on the hook thread
// renews a hook that the system removed behind our back; the user-interface
// thread watches the hook thread's heartbeat.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace zv {

// Non-null while the filter runs. Written by the hook thread (install,
// renewal, removal) and by a stop that the hook thread did not answer, read
// anywhere.
extern std::atomic<HHOOK> g_hKeyboardHook;
extern std::atomic<HHOOK> g_hMouseHook;

void ProtectKeyCheatStart(HWND view);
void ProtectKeyCheatStop();
void ProtectMouseCheatStart(HWND view);
void ProtectMouseCheatStop();

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

// How often the watchdog looks (0: never). Takes effect when the hook thread
// starts, i.e. at the next start after all filters stopped.
constexpr uint32_t kHookWatchdogPeriod = 500;
void SetHookWatchdogPeriod(uint32_t millis);

// The hook thread's id while it runs (0 otherwise).
DWORD HookThreadId();

// The view's timer that looks at the hook thread's heartbeat, and its period.
constexpr UINT_PTR ID_TIMER_HOOKTHREAD = 1004;
constexpr UINT kHookThreadWatchPeriod = 1000;

// One look at the hook thread's heartbeat, from the user-interface thread's
// timer: logs "Input hook thread stalled: no heartbeat for <n> ms" once when
// the thread has not turned for two seconds, and "Input hook thread running
// again" once when it turns again.
void WatchHookThread();

}  // namespace zv
