#include "control/ocx/site_policy.h"

#include "agent/sandbox/trusted_sites.h"
#include "common/text/text_util.h"

namespace zv {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int DefaultPort(std::u16string_view scheme) { return scheme == u"https" ? 443 : 80; }

// A host name of letters, digits, hyphens and dots, in lower case: no empty
// label, so no leading, trailing or double dot.
bool IsPlainHost(std::u16string_view host) {
  if (host.empty() || host.size() > 253) return false;
  char16_t previous = u'.';
  for (const char16_t c : host) {
    const bool ok = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
    if (!ok) return false;
    if (c == u'.' && previous == u'.') return false;
    previous = c;
  }
  return previous != u'.';
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(char16_t c) { return IsDigit(c) || (c >= u'a' && c <= u'f'); }

// The last label of a plain host is a number as browsers read one: decimal
// digits, or "0x" and hexadecimal digits. Such a host is an IPv4 address to
// them, whatever else it holds.
bool EndsInNumber(std::u16string_view host) {
  const size_t dot = host.rfind(u'.');
  const std::u16string_view last = dot == std::u16string_view::npos ? host : host.substr(dot + 1);
  if (last.size() >= 2 && last[0] == u'0' && last[1] == u'x') {
    for (const char16_t c : last.substr(2))
      if (!IsHexDigit(c)) return false;
    return true;
  }
  for (const char16_t c : last)
    if (!IsDigit(c)) return false;
  return !last.empty();
}

// Four decimal numbers 0..255 without leading zeros, separated by dots.
bool IsDottedIPv4(std::u16string_view host) {
  int parts = 0;
  size_t start = 0;
  while (start <= host.size()) {
    size_t end = host.find(u'.', start);
    if (end == std::u16string_view::npos) end = host.size();
    const std::u16string_view part = host.substr(start, end - start);
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == u'0')) return false;
    int value = 0;
    for (const char16_t c : part) {
      if (!IsDigit(c)) return false;
      value = value * 10 + (c - u'0');
    }
    if (value > 255 || ++parts > 4) return false;
    start = end + 1;
  }
  return parts == 4;
}

enum class HostForm { Name, IPv4, Invalid };

// A lower-cased host: a name, an IPv4 address in its dotted form, or
// neither (not plain, or a number in a notation the rules do not compare).
HostForm FormOf(std::u16string_view host) {
  if (!IsPlainHost(host)) return HostForm::Invalid;
  if (!EndsInNumber(host)) return HostForm::Name;
  return IsDottedIPv4(host) ? HostForm::IPv4 : HostForm::Invalid;
}

// Decimal 1..65535, nothing else.
std::optional<int> ParsePort(std::u16string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (const char16_t c : text) {
    if (!IsDigit(c)) return std::nullopt;
    port = port * 10 + (c - u'0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

// "host[:port]" of an authority already free of user information; the host
// is lowered first.
bool SplitHostPort(std::u16string_view authority, std::u16string& host, int& port) {
  const size_t colon = authority.rfind(u':');
  port = 0;
  if (colon != std::u16string_view::npos) {
    const auto parsed = ParsePort(authority.substr(colon + 1));
    if (!parsed) return false;
    port = *parsed;
    authority = authority.substr(0, colon);
  }
  host = ToLowerAscii(authority);
  return true;
}

// `host` (lower case, a name or an IPv4 address) is `rule`'s host, or for a
// "*." rule a name below it; an address is never below anything.
bool HostMatches(const SiteRule& rule, const std::u16string& host, HostForm form) {
  if (!rule.subdomains) return host == rule.host;
  if (form != HostForm::Name) return false;
  const size_t n = rule.host.size();
  return host.size() > n + 1 && host.compare(host.size() - n, n, rule.host) == 0 && host[host.size() - n - 1] == u'.';
}

}  // namespace

std::optional<std::u16string> PolicyListFromValue(uint32_t type, std::u16string_view data) {
  while (!data.empty() && data.back() == u'\0') data.remove_suffix(1);
  if (type == kPolicyTypeSz) {
    // A NUL inside the text hides the rest from every registry tool.
    if (data.find(u'\0') != std::u16string_view::npos) return std::nullopt;
    return std::u16string(data);
  }
  if (type == kPolicyTypeMultiSz) {
    // An empty string ends the list for the registry tools: whatever follows
    // it is not what the administrator sees.
    if (!data.empty() && data.front() == u'\0') return std::nullopt;
    if (data.find(std::u16string_view(u"\0\0", 2)) != std::u16string_view::npos) return std::nullopt;
    std::u16string list(data);
    for (auto& c : list)
      if (c == u'\0') c = u',';
    return list;
  }
  return std::nullopt;  // REG_EXPAND_SZ and every other type
}

std::optional<SiteRule> ParseSiteRule(std::u16string_view entry) {
  entry = Trim(entry);
  SiteRule rule;
  const size_t sep = entry.find(u"://");
  if (sep != std::u16string_view::npos) {
    rule.scheme = ToLowerAscii(entry.substr(0, sep));
    if (rule.scheme != u"http" && rule.scheme != u"https") return std::nullopt;
    entry.remove_prefix(sep + 3);
  }
  if (!entry.empty() && entry.back() == u'/') entry.remove_suffix(1);
  if (entry.size() > 2 && entry[0] == u'*' && entry[1] == u'.') {
    rule.subdomains = true;
    entry.remove_prefix(2);
  }
  if (!SplitHostPort(entry, rule.host, rule.port)) return std::nullopt;
  const HostForm form = FormOf(rule.host);
  if (form == HostForm::Invalid) return std::nullopt;
  // A pattern covers the names below a name of two labels or more: never
  // addresses, never a whole top-level domain.
  if (rule.subdomains && (form != HostForm::Name || rule.host.find(u'.') == std::u16string::npos))
    return std::nullopt;
  return rule;
}

std::vector<SiteRule> ParseAllowedSites(std::u16string_view list) {
  std::vector<SiteRule> rules;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(u',', start);
    if (end == std::u16string_view::npos) end = list.size();
    const auto entry = Trim(list.substr(start, end - start));
    if (!entry.empty()) {
      if (auto rule = ParseSiteRule(entry)) rules.push_back(std::move(*rule));
    }
    start = end + 1;
  }
  return rules;
}

std::optional<PageOrigin> ParsePageOrigin(std::u16string_view url) {
  const size_t sep = url.find(u"://");
  if (sep == std::u16string_view::npos) return std::nullopt;
  PageOrigin origin;
  origin.scheme = ToLowerAscii(url.substr(0, sep));
  if (origin.scheme != u"http" && origin.scheme != u"https") return std::nullopt;
  std::u16string_view rest = url.substr(sep + 3);
  const size_t end = rest.find_first_of(u"/?#");
  const std::u16string_view authority = rest.substr(0, end == std::u16string_view::npos ? rest.size() : end);
  // User information, backslashes (read as slashes by some parsers), blanks
  // and control characters never make an allowed address.
  for (const char16_t c : authority) {
    if (c == u'@' || c == u'\\' || c <= u' ' || c == 0x7f) return std::nullopt;
  }
  if (!SplitHostPort(authority, origin.host, origin.port)) return std::nullopt;
  if (FormOf(origin.host) == HostForm::Invalid) return std::nullopt;
  if (origin.port == 0) origin.port = DefaultPort(origin.scheme);
  return origin;
}

bool IsPageAllowed(std::u16string_view url, const std::vector<SiteRule>& rules) {
  const auto page = ParsePageOrigin(url);
  if (!page) return false;
  const HostForm form = FormOf(page->host);
  for (const auto& rule : rules) {
    if (!rule.scheme.empty() && rule.scheme != page->scheme) continue;
    const int port = rule.port != 0 ? rule.port : DefaultPort(page->scheme);
    if (port != page->port) continue;
    if (HostMatches(rule, page->host, form)) return true;
  }
  return false;
}

SiteDecision JudgePage(const PageReport& report, const std::vector<SiteRule>& rules) {
  if (report.ownDocument.empty() || report.topPage.empty()) return {SiteVerdict::Unknown, {}};
  for (const auto* addresses : {&report.ownDocument, &report.topPage}) {
    for (const auto& address : *addresses)
      if (!IsPageAllowed(address, rules)) return {SiteVerdict::Refused, address};
  }
  return {SiteVerdict::Allowed, report.ownDocument.front()};
}

namespace {

// One piece of a trusted-site list against the rules.
bool IsTrustedSiteAllowed(std::u16string_view piece, const std::vector<SiteRule>& rules) {
  // Split as the agent splits it: the scheme before the first "://".
  const SiteText site = SplitSiteText(piece);
  if (site.scheme != u"*" && site.scheme != u"http" && site.scheme != u"https") return false;
  const auto suits = [&site](const SiteRule& rule) {
    return site.scheme == u"*" || rule.scheme.empty() || rule.scheme == site.scheme;
  };
  const std::u16string host = ToLowerAscii(site.host);
  if (host.size() > 2 && host[0] == u'*' && host[1] == u'.') {
    // Every name below `name`: only a pattern that covers all of them.
    const std::u16string name = host.substr(2);
    if (FormOf(name) != HostForm::Name) return false;
    for (const auto& rule : rules) {
      if (!rule.subdomains || !suits(rule)) continue;
      if (name == rule.host || HostMatches(rule, name, HostForm::Name)) return true;
    }
    return false;
  }
  const HostForm form = FormOf(host);
  if (form == HostForm::Invalid) return false;
  for (const auto& rule : rules)
    if (suits(rule) && HostMatches(rule, host, form)) return true;
  return false;
}

}  // namespace

bool IsTrustedSiteListAllowed(std::u16string_view list, const std::vector<SiteRule>& rules) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(u',', start);
    if (end == std::u16string_view::npos) end = list.size();
    if (!IsTrustedSiteAllowed(list.substr(start, end - start), rules)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace zv
