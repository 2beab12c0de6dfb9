#include "agent/sandbox/trusted_sites.h"

#include "common/text/text_util.h"

#include <string>

namespace zv {

namespace {
constexpr char16_t kZoneMap[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\";
}

SiteText SplitSiteText(std::u16string_view text) {
  const size_t at = text.find(u"://");
  if (at == std::u16string_view::npos) return {u"*", std::u16string(text)};
  return {ToLowerAscii(text.substr(0, at)), std::u16string(text.substr(at + 3))};
}

std::optional<DomainHost> SplitDomainHost(std::u16string_view host) {
  const size_t dot = host.find(u'.');
  if (dot == std::u16string_view::npos) return std::nullopt;
  return DomainHost{std::u16string(host.substr(0, dot)), std::u16string(host.substr(dot + 1))};
}

std::u16string RangeKeyPath(int number) {
  std::u16string path = std::u16string(kZoneMap) + u"Ranges\\Range";
  for (char c : std::to_string(number)) path += static_cast<char16_t>(c);
  return path;
}

std::u16string RangesKeyPath() { return std::u16string(kZoneMap) + u"Ranges"; }

std::optional<int> RangeNumberFromKeyName(std::u16string_view name) {
  if (name.size() < 6 || ToLowerAscii(name.substr(0, 5)) != u"range" || name[5] == u'0') return std::nullopt;
  int number = 0;
  for (char16_t c : name.substr(5)) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + (c - u'0');
    if (number > kMaxRangeNumber) return std::nullopt;
  }
  return number;
}

std::u16string DomainKeyPath(const DomainHost& host) {
  return std::u16string(kZoneMap) + u"Domains\\" + host.domain + u"\\" + host.label;
}

}  // namespace zv
