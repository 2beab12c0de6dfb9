// Any text value must reach the agent unchanged through the quoting of the
// control's command lines and the agent's splitting and scan.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "agent/core/command_line.h"
#include "agent/core/options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const bool lostAsName = !text.empty() && text[0] == u'-';

  zv::TraySettings settings;
  zv::ScanArguments(zv::SplitCommandLine(zv::BuildTrustzoneAddDomainCommandLine(text, 1)), settings);
  if (settings.m_strTrustzoneAddDomain != (lostAsName ? std::u16string() : text)) std::abort();
  if (settings.m_nDebugLog != 1) std::abort();
  if (!settings.m_strRegistryRestore.empty() || !settings.m_strRegistrySave.empty()) std::abort();

  // The splitter itself must cope with any line.
  (void)zv::SplitCommandLine(text);
  return 0;
}
