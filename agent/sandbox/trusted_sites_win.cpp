// Trusted-site entries on the real registry.
#include <windows.h>

#include "agent/sandbox/sandbox_commands.h"
#include "agent/sandbox/trusted_sites.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {

namespace {

bool IsAbsent(LONG status) { return status == ERROR_FILE_NOT_FOUND || status == ERROR_NO_MATCH; }

void WriteZone(HKEY key, const std::u16string& scheme) {
  const DWORD zone = kTrustedZone;
  RegSetValueExW(key, W(scheme), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zone), sizeof zone);
}

// ":Range" as stored (written without a terminating zero; read with a buffer
// of 255 bytes). Nothing when it is missing or longer.
std::optional<std::u16string> ReadRangeAddress(HKEY key) {
  BYTE data[255];
  DWORD size = sizeof data, type = 0;
  if (RegQueryValueExW(key, W(kRangeAddressValue), nullptr, &type, data, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::u16string text(reinterpret_cast<const char16_t*>(data), size / 2);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

int32_t AddTrustedRange(const std::u16string& address) {
  const SiteText site = SplitSiteText(address);
  for (int n = 1; n <= kMaxRangeNumber; ++n) {
    const std::u16string path = RangeKeyPath(n);
    UniqueRegKey key;
    const LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, KEY_READ, key.put());
    if (IsAbsent(status)) {
      UniqueRegKey created;
      if (RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, created.put(),
                          nullptr) != ERROR_SUCCESS)
        continue;
      WriteZone(created.get(), site.scheme);
      RegSetValueExW(created.get(), W(std::u16string(kRangeAddressValue)), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(site.host.data()), static_cast<DWORD>(site.host.size() * 2));
      return 0;
    }
    const auto stored = status == ERROR_SUCCESS ? ReadRangeAddress(key.get()) : std::nullopt;
    key.reset();
    if (stored && *stored == site.host) {
      UniqueRegKey writable;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, KEY_SET_VALUE, writable.put()) == ERROR_SUCCESS)
        WriteZone(writable.get(), site.scheme);
      return 0;
    }
  }
  return 0;
}

// Every range number from 1 to 65535 is looked at, gaps skipped. Opening
// 65,535 keys one by one takes seconds, so the numbers present are taken from
// the subkeys of Ranges instead: the same keys, in another order, and the
// order does not matter for a yes-or-no answer.
int32_t QueryTrustedRange(const std::u16string& address) {
  const SiteText site = SplitSiteText(address);
  UniqueRegKey ranges;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(RangesKeyPath()), 0, KEY_READ, ranges.put()) != ERROR_SUCCESS) return -1;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(ranges.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (!RangeNumberFromKeyName(U16(name, length))) continue;
    UniqueRegKey key;
    if (RegOpenKeyExW(ranges.get(), name, 0, KEY_READ, key.put()) != ERROR_SUCCESS) continue;
    DWORD zone = 0, size = sizeof zone, type = 0;
    const bool hasZone = RegQueryValueExW(key.get(), W(site.scheme), nullptr, &type, reinterpret_cast<BYTE*>(&zone),
                                          &size) == ERROR_SUCCESS;
    const auto stored = ReadRangeAddress(key.get());
    if (hasZone && zone == kTrustedZone && stored && *stored == site.host) return 0;
  }
  return -1;
}

int32_t AddTrustedDomain(const std::u16string& domain) {
  const SiteText site = SplitSiteText(ToLowerAscii(domain));
  const auto host = SplitDomainHost(site.host);
  if (!host) return 0;
  const std::u16string path = DomainKeyPath(*host);
  UniqueRegKey key;
  const LONG status = RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, KEY_READ, key.put());
  key.reset();
  if (IsAbsent(status)) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr) !=
        ERROR_SUCCESS)
      return 0;
  } else if (RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, KEY_WRITE, key.put()) != ERROR_SUCCESS) {
    return 0;
  }
  WriteZone(key.get(), site.scheme);
  return 0;
}

int32_t QueryTrustedDomain(const std::u16string& domain) {
  const SiteText site = SplitSiteText(ToLowerAscii(domain));
  const auto host = SplitDomainHost(site.host);
  if (!host) return -2;
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, W(DomainKeyPath(*host)), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return -1;
  DWORD zone = 0, size = sizeof zone, type = 0;
  if (RegQueryValueExW(key.get(), W(site.scheme), nullptr, &type, reinterpret_cast<BYTE*>(&zone), &size) !=
      ERROR_SUCCESS)
    zone = 0;
  return zone == kTrustedZone ? 0 : -1;
}

}  // namespace zv
