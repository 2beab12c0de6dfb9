// The registry commands of the agent: snapshots, browser security settings,
// trusted sites.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "agent/core/options.h"

namespace zv {

// -RegistrySave: both snapshot files of m_strRegistrySave; fills sandboxFiles.
void RegistrySaveCommand(const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles);
// -RegistryRestore: replays both files (message boxes owned by `owner`), then
// deletes them or keeps them (-DebugSandbox).
void RegistryRestoreCommand(HWND owner, const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles);

// Trusted-sites zone values and toolbar extension settings; the toolbar keys
// it creates are appended to extSettingKeys.
void ApplyBrowserSecuritySettings(std::vector<std::u16string>& extSettingKeys);
// Deletes the keys recorded by ApplyBrowserSecuritySettings.
void DeleteExtSettingKeys(std::vector<std::u16string>& extSettingKeys);

int32_t AddTrustedRange(const std::u16string& address);
int32_t AddTrustedDomain(const std::u16string& domain);
int32_t QueryTrustedRange(const std::u16string& address);   // 0 found, -1 not found
int32_t QueryTrustedDomain(const std::u16string& domain);   // 0 found, -1 not found, -2 no dot in the host

}  // namespace zv
