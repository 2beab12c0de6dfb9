// Trusted-site entries in Internet Explorer's per-user zone map: address
// ranges (ZoneMap\Ranges\Range<n>) and domains (ZoneMap\Domains\<domain>\<label>),
// each with one REG_DWORD per URL scheme holding the zone number 2.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zv {

inline constexpr uint32_t kTrustedZone = 2;
inline constexpr int kMaxRangeNumber = 65535;
inline constexpr char16_t kRangeAddressValue[] = u":Range";

struct SiteText {
  std::u16string scheme;  // lower case, "*" without "://"
  std::u16string host;    // everything after "://" (path and port included)
};
// At the first "://": the scheme before it (lower-cased), the host after it;
// without "://" the scheme is "*" and the host the whole text. No trimming.
SiteText SplitSiteText(std::u16string_view text);

struct DomainHost {
  std::u16string label;   // before the first "."
  std::u16string domain;  // after it
};
// Nothing for a host without ".".
std::optional<DomainHost> SplitDomainHost(std::u16string_view host);

// HKEY_CURRENT_USER subkeys of range n, of the ranges' parent and of a domain entry.
std::u16string RangeKeyPath(int number);
std::u16string RangesKeyPath();
// n for a subkey name that opening "Range<n>" (n = 1 ... 65535) reaches:
// "Range" in any letter case and n without leading zeros.
std::optional<int> RangeNumberFromKeyName(std::u16string_view name);
std::u16string DomainKeyPath(const DomainHost& host);

}  // namespace zv
