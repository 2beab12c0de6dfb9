#pragma once

#include "agent/core/options.h"

namespace zv {

// Splits GetCommandLineW with CommandLineToArgvW and scans the arguments into
// the settings. False only when the split fails.
bool ParseCommandLine(TraySettings& settings);

}  // namespace zv
