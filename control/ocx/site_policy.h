// Which pages may use the control: the administrator's list of allowed sites
// and the decision for one page address. No Windows here; the registry read
// and the asking of the container live in site_lock_win.cpp.
//
// The list (value AllowedSites) holds entries separated by commas (a
// multi-string's strings count as separate entries as well); blanks around an
// entry are dropped, empty entries are skipped. An entry is
//
//   [scheme "://"] host [":" port] ["/"]
//
// - scheme: "http" or "https" (any case). Given, the page's scheme must be
//   the same; left out, the entry allows http and https pages.
// - host: an ASCII name (letters, digits, '-', '.'), compared without regard
//   to case, or "*." followed by such a name, which allows every name that
//   ends in "." + that name (subdomains only: "*.exam.example" allows
//   "a.exam.example" and "a.b.exam.example", not "exam.example" itself: list
//   both when both are wanted). An internationalised name is written in its
//   punycode form ("xn--..."), as the browser reports it.
// - port: decimal 1..65535. Left out, the page must be on its scheme's
//   default port (80 for http, 443 for https); a page address that names the
//   default port explicitly is the same page as one that does not.
// - a path is not part of an entry: one trailing "/" is tolerated; any other
//   path, a query, a fragment, user information, a wildcard elsewhere than at
//   the start, or any other character makes the entry invalid, and an invalid
//   entry allows nothing.
//
// A page is allowed when its address parses as an http or https URL whose
// host is a plain ASCII name (or an IPv4 address) and one entry matches it.
// Refused in any case: other schemes (file:, about:, javascript: ...), an
// address with user information ("https://exam.example@evil.test/"), with a
// backslash, blank or control character before the path, with a
// percent-escape or any non-ASCII character in the host, a host ending in a
// dot, an empty host, or a port that is not a number in 1..65535.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zv {

// One parsed list entry.
struct SiteRule {
  std::u16string scheme;  // "http", "https", or empty: both
  std::u16string host;    // lower case, without the "*." of a pattern
  bool subdomains = false;  // "*.host": names below host, not host itself
  int port = 0;             // 0: the scheme's default port
};

// The entries of a policy value (commas and NULs separate them); invalid
// entries are dropped.
std::vector<SiteRule> ParseAllowedSites(std::u16string_view value);

// One entry, or nothing when it is invalid.
std::optional<SiteRule> ParseSiteRule(std::u16string_view entry);

// A page address as the rules see it: its scheme and host in lower case and
// its port (the default filled in); nothing when the address is refused as
// described above.
struct PageOrigin {
  std::u16string scheme;
  std::u16string host;
  int port = 0;
};
std::optional<PageOrigin> ParsePageOrigin(std::u16string_view url);

// Whether the page at `url` is allowed by one of the rules.
bool IsPageAllowed(std::u16string_view url, const std::vector<SiteRule>& rules);

}  // namespace zv
