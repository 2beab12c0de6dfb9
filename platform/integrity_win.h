// Reading the integrity level from a token, and the start-up check of the
// agent and the control.
#pragma once

#include <windows.h>

#include "platform/integrity.h"

namespace zv {

// The level of the token's mandatory label; Unknown when it cannot be read.
IntegrityLevel TokenIntegrity(HANDLE token);

// The level of this process's own token.
IntegrityLevel ProcessIntegrity();

// Logs IntegrityStartLine for this process as a warning, and hands it to the
// debugger output as well: at low integrity the log file in Documents\zaduze
// usually cannot be opened, and the line must still be seen somewhere.
// Nothing happens at medium and high integrity.
void LogIntegrityAtStart(IntegrityProgram program);

}  // namespace zv
