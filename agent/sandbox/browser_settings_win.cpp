// The browser security settings on the real registry.
#include <windows.h>

#include "agent/sandbox/browser_settings.h"
#include "agent/sandbox/sandbox_commands.h"
#include "common/log/log.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

namespace {

constexpr REGSAM kListAccess = KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;

std::string ThreadAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const wchar_t* wide = WData(text);
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size : 0, '\0');
  if (size > 0) WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, out.data(), size, nullptr, nullptr);
  return out;
}

void WriteDword(HKEY key, const wchar_t* name, DWORD data) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

// The toolbar's subkey under the target with "Flags" and "Version"; false
// when it cannot be created or opened.
bool WriteExtSetting(HKEY target, const std::u16string& name) {
  UniqueRegKey key;
  if (RegCreateKeyW(target, W(name), key.put()) != ERROR_SUCCESS) return false;
  WriteDword(key.get(), L"Flags", kExtSettingFlags);
  RegSetValueExW(key.get(), L"Version", 0, REG_SZ, kExtSettingVersion, sizeof kExtSettingVersion);
  return true;
}

std::vector<std::u16string> RegisteredToolbars() {
  std::vector<std::u16string> names;
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(std::u16string(kToolbarKey)), 0, kListAccess, key.put()) != ERROR_SUCCESS)
    return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[260];
    BYTE data[260];
    DWORD nameLength = 260, dataSize = 260, type = 0;
    if (RegEnumValueW(key.get(), index, name, &nameLength, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
    names.push_back(U16(name, nameLength));
  }
  return names;
}

}  // namespace

void ApplyBrowserSecuritySettings(std::vector<std::u16string>& extSettingKeys) {
  {
    UniqueRegKey zone;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, W(std::u16string(kTrustedZoneKey)), 0, KEY_SET_VALUE, zone.put()) ==
        ERROR_SUCCESS) {
      for (const auto& value : TrustedZonePolicy()) WriteDword(zone.get(), W(value.name), value.data);
    }
  }

  std::vector<std::u16string> toolbars = RegisteredToolbars();
  extSettingKeys.clear();
  UniqueRegKey target;
  // Create rights as well: the toolbar subkeys are created through this handle.
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(std::u16string(kExtSettingsKey)), 0, kListAccess | KEY_CREATE_SUB_KEY,
                    target.put()) == ERROR_SUCCESS) {
    // The existing subkeys are listed before any is created, so that the
    // enumeration does not see the keys this run adds.
    std::vector<std::u16string> existing;
    for (DWORD index = 0;; ++index) {
      wchar_t name[260];
      if (RegEnumKeyW(target.get(), index, name, 260) != ERROR_SUCCESS) break;
      existing.push_back(U16(name));
    }
    const ToolbarPlan plan = PlanToolbarSettings(existing, std::move(toolbars), ThreadAnsi);
    for (const auto& name : plan.update) WriteExtSetting(target.get(), name);
    for (const auto& name : plan.create)
      if (WriteExtSetting(target.get(), name)) extSettingKeys.push_back(name);
  }
  FILE_LOG(logINFO) << "ChangeRegistryIE OK";
}

void DeleteExtSettingKeys(std::vector<std::u16string>& extSettingKeys) {
  UniqueRegKey target;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(std::u16string(kExtSettingsKey)), 0, kListAccess, target.put()) ==
      ERROR_SUCCESS) {
    for (const auto& name : extSettingKeys) RegDeleteKeyW(target.get(), W(name));
  }
  extSettingKeys.clear();
}

}  // namespace zv
