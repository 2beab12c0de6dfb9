#include <windows.h>

#include <shellapi.h>

#include "agent/core/options_win.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

bool ParseCommandLine(TraySettings& settings) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return false;
  UniqueLocalMemory owner(reinterpret_cast<HLOCAL>(argv));
  std::vector<std::u16string> args;
  args.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) args.push_back(U16(argv[i]));
  ScanArguments(args, settings);
  return true;
}

}  // namespace zv
