// Any page address against any policy: no crash, and an allowed address has
// an http(s) scheme, no user information and a plain ASCII host that equals
// a listed host or ends in "." + a listed pattern's host.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "control/ocx/site_policy.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  // The first line is the policy, the rest the page address.
  const size_t nl = text.find(u'\n');
  const std::u16string policy = text.substr(0, nl);
  const std::u16string url = nl == std::u16string::npos ? std::u16string() : text.substr(nl + 1);
  const auto rules = zv::ParseAllowedSites(policy);
  if (!zv::IsPageAllowed(url, rules)) return 0;
  const auto origin = zv::ParsePageOrigin(url);
  if (!origin || (origin->scheme != u"http" && origin->scheme != u"https")) std::abort();
  const std::u16string authority = url.substr(origin->scheme.size() + 3);
  if (authority.substr(0, authority.find_first_of(u"/?#")).find(u'@') != std::u16string::npos) std::abort();
  bool listed = false;
  for (const auto& r : rules) {
    const auto& h = origin->host;
    if (!r.subdomains && h == r.host) listed = true;
    if (r.subdomains && h.size() > r.host.size() && h.compare(h.size() - r.host.size(), r.host.size(), r.host) == 0 &&
        h[h.size() - r.host.size() - 1] == u'.')
      listed = true;
  }
  for (const char16_t c : origin->host)
    if (c > 0x7f) std::abort();
  if (!listed) std::abort();
  return 0;
}
