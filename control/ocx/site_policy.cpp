#include "control/ocx/site_policy.h"

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

// Decimal 1..65535, nothing else.
std::optional<int> ParsePort(std::u16string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int port = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
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

}  // namespace

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
  if (!IsPlainHost(rule.host)) return std::nullopt;
  return rule;
}

std::vector<SiteRule> ParseAllowedSites(std::u16string_view value) {
  std::vector<SiteRule> rules;
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find_first_of(std::u16string_view(u",\0", 2), start);
    if (end == std::u16string_view::npos) end = value.size();
    const auto entry = Trim(value.substr(start, end - start));
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
  if (!IsPlainHost(origin.host)) return std::nullopt;
  if (origin.port == 0) origin.port = DefaultPort(origin.scheme);
  return origin;
}

bool IsPageAllowed(std::u16string_view url, const std::vector<SiteRule>& rules) {
  const auto page = ParsePageOrigin(url);
  if (!page) return false;
  for (const auto& rule : rules) {
    if (!rule.scheme.empty() && rule.scheme != page->scheme) continue;
    const int port = rule.port != 0 ? rule.port : DefaultPort(page->scheme);
    if (port != page->port) continue;
    if (rule.subdomains) {
      const std::u16string& h = page->host;
      if (h.size() > rule.host.size() + 1 && h.compare(h.size() - rule.host.size(), rule.host.size(), rule.host) == 0 &&
          h[h.size() - rule.host.size() - 1] == u'.')
        return true;
    } else if (page->host == rule.host) {
      return true;
    }
  }
  return false;
}

}  // namespace zv
