// What an agent run does, decided from its settings: one one-shot command,
// or a protection session. The first matching row wins.
#pragma once

#include "agent/core/options.h"

namespace zv {

enum class AgentCommand {
  CountCheatApps = 1,    // -QueryCheatApp: exit code = the count
  AddTrustedRanges,      // -TrustzoneAddIP: exit 0
  AddTrustedDomains,     // -TrustzoneAddDomain: exit 0
  QueryTrustedRange,     // -TrustzoneQueryIP: exit code = the lookup
  QueryTrustedDomain,    // -TrustzoneQueryDomain: exit code = the lookup
  RegistrySave,          // -RegistrySave: exit 0, non-zero when the snapshot is not whole
  RegistryRestore,       // -RegistryRestore: exit 0, non-zero when a file was not replayed whole
  RegistrySetLoose,      // -RegistrySetLoose: exit 0
  RegistryRecover,       // -RegistryRecover: exit 0, non-zero when a pending snapshot failed
  Session,               // none of the above: the process runs on
};

AgentCommand ChooseCommand(const TraySettings& settings);

}  // namespace zv
