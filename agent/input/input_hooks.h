// The desktop-wide keyboard and mouse filters of a session.
//
// The hooks live on a thread of their own that does nothing but pump
// messages: the system calls a low-level hook procedure on the thread that
// installed it, so a slow guard pass or a cross-process COM call on the user
// interface thread never holds a keystroke up. Start and stop are synchronous
// for the caller (they wait for the hook thread). A watchdog on the hook
// thread renews a hook that the system removed behind our back.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

namespace zv {

// Non-null while the filter runs. Written by the hook thread (install,
// renewal, removal), read anywhere.
extern std::atomic<HHOOK> g_hKeyboardHook;
extern std::atomic<HHOOK> g_hMouseHook;

void ProtectKeyCheatStart(HWND view);
void ProtectKeyCheatStop();
void ProtectMouseCheatStart(HWND view);
void ProtectMouseCheatStop();

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

// How often the watchdog looks (default 1000 ms; 0: never). Takes effect when
// the hook thread starts, i.e. at the next start after all filters stopped.
void SetHookWatchdogPeriod(uint32_t millis);

// The hook thread's id while it runs (0 otherwise).
DWORD HookThreadId();

// Called from the user-interface thread's timer: logs when the hook thread
// has stopped turning.
void WatchHookThread();

}  // namespace zv
