// Placeholders until the registry sandbox is built: the lifecycle calls them already.
#include "agent/sandbox/sandbox_commands.h"

namespace zv {

void RegistrySaveCommand(const TraySettings&, std::array<std::u16string, 2>&) {}
void RegistryRestoreCommand(HWND, const TraySettings&, std::array<std::u16string, 2>&) {}
void ApplyBrowserSecuritySettings(std::vector<std::u16string>&) {}
void DeleteExtSettingKeys(std::vector<std::u16string>&) {}
int32_t AddTrustedRange(const std::u16string&) { return 0; }
int32_t AddTrustedDomain(const std::u16string&) { return 0; }
int32_t QueryTrustedRange(const std::u16string&) { return 0; }
int32_t QueryTrustedDomain(const std::u16string&) { return 0; }

}  // namespace zv
