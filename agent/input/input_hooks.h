// The desktop-wide keyboard and mouse filters of a session.
#pragma once

#include <windows.h>

namespace zv {

extern HHOOK g_hKeyboardHook;
extern HHOOK g_hMouseHook;

void ProtectKeyCheatStart(HWND view);
void ProtectKeyCheatStop();
void ProtectMouseCheatStart(HWND view);
void ProtectMouseCheatStop();

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

}  // namespace zv
