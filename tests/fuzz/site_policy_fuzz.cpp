// Any policy against any page address (UTF-16LE input: the first line is the
// policy, the rest the address). No crash; and whenever the lock allows an
// address, a browser's reading of that address, written here apart from the
// lock, names the same scheme, host and port, and the host is one the policy
// lists (an IPv4 address only by an exact entry).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "control/ocx/site_policy.h"

namespace {

// --- a browser's reading of an http(s) address ------------------------------
// After the URL standard browsers follow: leading and trailing controls and
// blanks go, tabs and line breaks anywhere go, "\" counts as "/", slashes
// after the scheme are skipped, user information ends at the last "@", the
// host is percent-decoded and lower-cased, and a host whose last label is a
// number is an IPv4 address in any of its notations (decimal, octal with a
// leading 0, hexadecimal with 0x; one to four parts).

struct Origin {
  std::u16string scheme, host;
  int port = 0;
};

bool Alpha(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool Digit(char16_t c) { return c >= u'0' && c <= u'9'; }
char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }
int HexValue(char16_t c) {
  if (Digit(c)) return c - u'0';
  c = Lower(c);
  return c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
}

// One part of an IPv4 address; nothing when it is not a number.
std::optional<uint64_t> Ipv4Number(std::u16string part) {
  if (part.empty()) return std::nullopt;
  int radix = 10;
  if (part.size() >= 2 && part[0] == u'0' && (part[1] == u'x' || part[1] == u'X')) {
    radix = 16;
    part.erase(0, 2);
  } else if (part.size() >= 2 && part[0] == u'0') {
    radix = 8;
    part.erase(0, 1);
  }
  uint64_t value = 0;
  for (const char16_t c : part) {
    const int d = HexValue(c);
    if (d < 0 || d >= radix) return std::nullopt;
    value = value * radix + d;
    if (value > (1ull << 40)) value = 1ull << 40;  // too large either way
  }
  return value;
}

std::vector<std::u16string> SplitDots(const std::u16string& host) {
  std::vector<std::u16string> parts(1);
  for (const char16_t c : host) {
    if (c == u'.')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

bool EndsInANumber(const std::u16string& host) {
  auto parts = SplitDots(host);
  if (parts.back().empty()) {
    if (parts.size() == 1) return false;
    parts.pop_back();
  }
  const std::u16string& last = parts.back();
  bool digits = !last.empty();
  for (const char16_t c : last) digits = digits && Digit(c);
  return digits || Ipv4Number(last).has_value();
}

// The dotted form of the address, or nothing when the host is no address.
std::optional<std::u16string> Ipv4(const std::u16string& host) {
  auto parts = SplitDots(host);
  if (parts.back().empty() && parts.size() > 1) parts.pop_back();
  if (parts.size() > 4) return std::nullopt;
  std::vector<uint64_t> numbers;
  for (const auto& p : parts) {
    const auto n = Ipv4Number(p);
    if (!n) return std::nullopt;
    numbers.push_back(*n);
  }
  for (size_t i = 0; i + 1 < numbers.size(); ++i)
    if (numbers[i] > 255) return std::nullopt;
  const uint64_t limit = 1ull << (8 * (5 - numbers.size()));
  if (numbers.back() >= limit) return std::nullopt;
  uint64_t address = numbers.back();
  for (size_t i = 0; i + 1 < numbers.size(); ++i) address += numbers[i] << (8 * (3 - i));
  std::u16string out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const std::string part = std::to_string((address >> shift) & 0xff);
    out.append(part.begin(), part.end());
    if (shift > 0) out += u'.';
  }
  return out;
}

std::optional<Origin> BrowserOrigin(const std::u16string& address) {
  size_t begin = 0, end = address.size();
  while (begin < end && address[begin] <= 0x20) ++begin;
  while (end > begin && address[end - 1] <= 0x20) --end;
  std::u16string s;
  for (size_t i = begin; i < end; ++i)
    if (address[i] != u'\t' && address[i] != u'\n' && address[i] != u'\r') s += address[i];

  Origin o;
  size_t i = 0;
  if (s.empty() || !Alpha(s[0])) return std::nullopt;
  while (i < s.size() && (Alpha(s[i]) || Digit(s[i]) || s[i] == u'+' || s[i] == u'-' || s[i] == u'.'))
    o.scheme += Lower(s[i++]);
  if (i >= s.size() || s[i] != u':') return std::nullopt;
  if (o.scheme != u"http" && o.scheme != u"https") return std::nullopt;
  ++i;
  while (i < s.size() && (s[i] == u'/' || s[i] == u'\\')) ++i;
  size_t stop = i;
  while (stop < s.size() && s[stop] != u'/' && s[stop] != u'\\' && s[stop] != u'?' && s[stop] != u'#') ++stop;
  std::u16string authority = s.substr(i, stop - i);
  const size_t at = authority.rfind(u'@');
  if (at != std::u16string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority[0] == u'[') return std::nullopt;  // IPv6: not read here

  const size_t colon = authority.find(u':');
  const std::u16string hostText = authority.substr(0, colon);
  o.port = o.scheme == u"https" ? 443 : 80;
  if (colon != std::u16string::npos && colon + 1 < authority.size()) {
    uint64_t port = 0;
    for (const char16_t c : authority.substr(colon + 1)) {
      if (!Digit(c)) return std::nullopt;
      port = port * 10 + (c - u'0');
      if (port > 65535) return std::nullopt;
    }
    o.port = static_cast<int>(port);
  }

  // Percent-decoded; a byte beyond ASCII would need the international name
  // rules, which are not modelled: such a host is no answer here.
  for (size_t k = 0; k < hostText.size(); ++k) {
    char16_t c = hostText[k];
    if (c == u'%' && k + 2 < hostText.size() && HexValue(hostText[k + 1]) >= 0 && HexValue(hostText[k + 2]) >= 0) {
      c = static_cast<char16_t>(HexValue(hostText[k + 1]) * 16 + HexValue(hostText[k + 2]));
      k += 2;
    }
    if (c > 0x7f) return std::nullopt;
    o.host += Lower(c);
  }
  if (o.host.empty()) return std::nullopt;
  for (const char16_t c : o.host) {
    if (c <= 0x20 || c == 0x7f) return std::nullopt;
    for (const char16_t f : std::u16string(u"#%/:<>?@[\\]^|"))
      if (c == f) return std::nullopt;
  }
  if (EndsInANumber(o.host)) {
    const auto dotted = Ipv4(o.host);
    if (!dotted) return std::nullopt;
    o.host = *dotted;
  }
  return o;
}

bool IsDotted(const std::u16string& host) { return Ipv4(host) == host; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  const size_t nl = text.find(u'\n');
  const std::u16string policy = text.substr(0, nl);
  const std::u16string url = nl == std::u16string::npos ? std::u16string() : text.substr(nl + 1);
  const auto rules = zv::ParseAllowedSites(policy);
  if (!zv::IsPageAllowed(url, rules)) return 0;

  const auto lock = zv::ParsePageOrigin(url);
  const auto browser = BrowserOrigin(url);
  if (!lock || !browser) std::abort();
  if (lock->scheme != browser->scheme || lock->host != browser->host || lock->port != browser->port) std::abort();

  // The host is listed: equal to an entry, or a name below a pattern's name.
  const std::u16string& h = browser->host;
  const bool address = IsDotted(h);
  bool listed = false;
  for (const auto& r : rules) {
    if (!r.subdomains && h == r.host) listed = true;
    if (r.subdomains && !address && h.size() > r.host.size() + 1 &&
        h.compare(h.size() - r.host.size(), r.host.size(), r.host) == 0 && h[h.size() - r.host.size() - 1] == u'.')
      listed = true;
  }
  if (!listed) std::abort();
  return 0;
}
