// Finding and starting the agent program.
#pragma once

#include <windows.h>

#include <string>

namespace zv {

// The install folder, read afresh each time: HKEY_LOCAL_MACHINE
// "SOFTWARE\Zaduze", value "Path" (64-bit view), which an installation
// writes, and where that value does not exist HKEY_CURRENT_USER
// "SOFTWARE\Zaduze", value "Path"; empty when the value found cannot be read
// or is empty, or neither exists.
std::u16string GetInstallFolder();

// Starts "<folder>\ZedudeVeri.exe" with exactly `options` as its command line
// (no program name in front), hidden, in the install folder. A missing install
// folder refuses the start (no program is looked for at the drive's root), so
// does an option text longer than a Windows command line.
bool StartAgentProcess(const std::u16string& options, PROCESS_INFORMATION& pi);

// The value of -ExamPageWindow for a control window (ExamPageWindowOption):
// the window itself, or 0 when it has none, is top-level itself or is held
// by an Internet Explorer frame. Computed afresh for every start, so that a
// restarted agent learns where the page is now.
uint32_t ExamPageWindowOf(HWND controlWindow);

// Starts the agent for one command and waits for it without a time limit:
// its full 32-bit exit code, or -1 when it could not be started or read.
int RunAgentProcess(const std::u16string& options);

}  // namespace zv
