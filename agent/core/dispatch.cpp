#include "agent/core/dispatch.h"

namespace zv {

AgentCommand ChooseCommand(const TraySettings& s) {
  if (s.m_nQueryCheatApp != 0) return AgentCommand::CountCheatApps;
  if (!s.m_strTrustzoneAddIP.empty()) return AgentCommand::AddTrustedRanges;
  if (!s.m_strTrustzoneAddDomain.empty()) return AgentCommand::AddTrustedDomains;
  if (!s.m_strTrustzoneQueryIP.empty()) return AgentCommand::QueryTrustedRange;
  if (!s.m_strTrustzoneQueryDomain.empty()) return AgentCommand::QueryTrustedDomain;
  if (!s.m_strRegistrySave.empty()) return AgentCommand::RegistrySave;
  if (!s.m_strRegistryRestore.empty()) return AgentCommand::RegistryRestore;
  if (s.m_nRegistrySetLoose != 0) return AgentCommand::RegistrySetLoose;
  if (s.m_nRegistryRecover != 0) return AgentCommand::RegistryRecover;
  return AgentCommand::Session;
}

}  // namespace zv
