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

// -RegistrySave: both snapshot files of m_strRegistrySave, each written to a
// temporary file and moved into place only when both are whole; fills
// sandboxFiles. The exit code: 0, or 1 when no whole pair could be written.
int RegistrySaveCommand(const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles);
// -RegistryRestore: replays both files (message boxes owned by `owner`) and
// cleans the places the exam writes to; a replayed file is deleted or kept
// (-DebugSandbox), one not replayed whole is kept under "_failed_". The exit
// code: 0, or 1 when a file was missing or not replayed whole.
int RegistryRestoreCommand(HWND owner, const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles);
// -RegistryRecover: restores every pending snapshot that no live control
// holds, newest first, without message boxes. 0, or 1 when one failed.
int RegistryRecoverCommand(const TraySettings& settings);

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
