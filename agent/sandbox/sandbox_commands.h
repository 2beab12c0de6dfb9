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

// -RegistrySave: both snapshot files of m_strRegistrySave with the next save
// number, each written to a temporary file and moved into place only when
// both are whole (the first is taken back when the second cannot follow);
// fills sandboxFiles. The exit code: 0, or 1 when no whole pair was written.
int RegistrySaveCommand(const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles);
// -RegistryRestore: restores the snapshot m_strRegistryRestore in save order:
// first the newer pending snapshots no live control holds (without message
// boxes), then this one (message boxes owned by `owner`), then the older ones
// up to the first one a live control holds. Each file replayed whole is
// followed by the clean-up of the places the exam writes to and is deleted
// or kept (-DebugSandbox); one not replayed whole, and half a pair, are kept
// under "_failed_". The exit code: 0; 1 when a file was missing, not replayed
// whole or could not be finished with, or the logon entry could not be
// updated; 2 when a newer snapshot is held by a live control (this one stays
// pending for that control's restore).
int RegistryRestoreCommand(HWND owner, const TraySettings& settings, std::array<std::u16string, 2>& sandboxFiles);
// -RegistryRecover: restores the pending snapshots in save order, newest
// first, up to the first one a live control holds, without message boxes;
// half pairs nobody holds are kept as failed. 0, or 1 when something failed.
int RegistryRecoverCommand(const TraySettings& settings);
// The settings step of a protection session: ApplyBrowserSecuritySettings,
// but only while a live control holds a whole snapshot that undoes it (a
// page whose save failed, or that has restored already, loosens nothing).
void ApplySessionBrowserSettings(std::vector<std::u16string>& extSettingKeys);

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
