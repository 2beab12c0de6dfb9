// The per-user Internet Explorer settings the agent loosens for an exam: the
// security policy of the Trusted sites zone and the extension settings that
// disable every toolbar registered on the machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

struct ZonePolicyValue {
  const char16_t* name;
  uint32_t data;
};

// HKEY_CURRENT_USER subkey of zone 2 and its 65 REG_DWORD values, in the
// order they are written.
inline constexpr char16_t kTrustedZoneKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2";
const std::vector<ZonePolicyValue>& TrustedZonePolicy();

// Source of the toolbar list (HKEY_LOCAL_MACHINE, value names) and target of
// the per-user extension settings (HKEY_CURRENT_USER, one subkey each).
inline constexpr char16_t kToolbarKey[] = u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar";
inline constexpr char16_t kExtSettingsKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings";
// "Flags" = 1 disables the add-on; "Version" is "*" (every version) in 11 bytes.
inline constexpr uint32_t kExtSettingFlags = 1;
inline constexpr uint8_t kExtSettingVersion[11] = {0x2A, 0};

// Which toolbar keys to write and which of them this run creates.
struct ToolbarPlan {
  std::vector<std::u16string> update;  // matched an existing subkey: written, not recorded
  std::vector<std::u16string> create;  // written and recorded for deletion at session end
};

// The narrow (ANSI code page) form of a text, for the substring test.
using NarrowText = std::function<std::string(std::u16string_view)>;

// For every existing subkey name in order, the first toolbar still listed
// whose narrow form contains the subkey's narrow form (case-sensitive) is
// updated and leaves the list; the toolbars left over are created.
ToolbarPlan PlanToolbarSettings(const std::vector<std::u16string>& existingSubkeys,
                                std::vector<std::u16string> toolbars, const NarrowText& narrow);

}  // namespace zv
