// Which pages may use the control: the administrator's list of allowed sites
// and the decision for the addresses the container reports. No Windows here;
// the registry read and the asking of the container live in site_lock_win.cpp.
//
// The value (AllowedSites) is a REG_SZ list separated by commas, or a
// REG_MULTI_SZ whose strings are such lists. It is taken as the registry
// tools show it, or not at all: a REG_SZ with a NUL inside its text, a
// multi-string with an empty string before its end (strings after it would be
// hidden), a REG_EXPAND_SZ or any other type allow nothing. Blanks around an
// entry are dropped, empty entries are skipped. An entry is
//
//   [scheme "://"] host [":" port] ["/"]
//
// - scheme: "http" or "https" (any case). Given, the page's scheme must be
//   the same; left out, the entry allows http and https pages.
// - host: an ASCII name (letters, digits, '-', '.'), compared without regard
//   to case, or "*." followed by such a name of at least two labels, which
//   allows every name that ends in "." + that name (subdomains only:
//   "*.exam.example" allows "a.exam.example" and "a.b.exam.example", not
//   "exam.example" itself: list both when both are wanted; "*.com" is not an
//   entry). An IPv4 address is written in its usual dotted form (four
//   decimal numbers 0..255 without leading zeros) and is never matched by a
//   "*." entry. A name whose last label is a number (or 0x...) is read by
//   browsers as an IPv4 address in another notation: it is not an entry. An
//   internationalised name is written in its punycode form ("xn--..."), as
//   the browser reports it.
// - port: decimal 1..65535. Left out, the page must be on its scheme's
//   default port (80 for http, 443 for https); a page address that names the
//   default port explicitly is the same page as one that does not.
// - a path is not part of an entry: one trailing "/" is tolerated; any other
//   path, a query, a fragment, user information, a wildcard elsewhere than at
//   the start, or any other character makes the entry invalid, and an invalid
//   entry allows nothing.
//
// A page address is allowed when it parses as an http or https URL whose
// host is a plain ASCII name or a dotted IPv4 address, and one entry matches
// it. Refused in any case: other schemes (file:, about:, javascript: ...), an
// address with user information ("https://exam.example@evil.test/"), with a
// backslash, blank or control character before the path, with a
// percent-escape or any non-ASCII character in the host, a host ending in a
// dot, an empty host, a host that ends in a number without being a dotted
// IPv4 address ("http://0x7f.1/", "http://010.0.0.1/"), or a port that is not
// a number in 1..65535.
//
// The control is hosted by a page and may sit in a frame of another one: it
// is allowed only when its own document and the top page are both known and
// every address the container reports for either is allowed.
#pragma once

#include <cstdint>
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

// Registry value types as numbers (the Windows values).
inline constexpr uint32_t kPolicyTypeSz = 1;
inline constexpr uint32_t kPolicyTypeExpandSz = 2;
inline constexpr uint32_t kPolicyTypeMultiSz = 7;

// The policy value as the registry holds it (its type and its data as UTF-16
// units, terminators included) turned into one comma-separated list; nothing
// when the value allows nothing (see above). Trailing NULs are terminators.
std::optional<std::u16string> PolicyListFromValue(uint32_t type, std::u16string_view data);

// The entries of a comma-separated list; invalid entries are dropped.
std::vector<SiteRule> ParseAllowedSites(std::u16string_view list);

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

// What the container reported: every address it told for the control's own
// document (its document, the document's dispatch, the document's moniker)
// and for the top page (the browser objects).
struct PageReport {
  std::vector<std::u16string> ownDocument;
  std::vector<std::u16string> topPage;
};

enum class SiteVerdict { Allowed, Refused, Unknown };
struct SiteDecision {
  SiteVerdict verdict = SiteVerdict::Unknown;
  // Allowed: the own document's address; Refused: the first address not
  // allowed; Unknown: empty.
  std::u16string address;
};

// Unknown when no address of the own document or none of the top page was
// told; Refused when any told address is not allowed; Allowed otherwise.
SiteDecision JudgePage(const PageReport& report, const std::vector<SiteRule>& rules);

// Whether a trusted-site list the page hands TrustzoneAddIP or
// TrustzoneAddDomain stays inside the policy: every comma-separated piece
// (split as the agent splits it, untrimmed) is "[http|https://]host" with a
// host that a rule allows on some port (a scheme given must suit the rule),
// or "[http|https://]*.name" where a "*." rule allows every name below
// `name`. Empty pieces, ports, paths, address ranges and wildcards elsewhere
// are not.
bool IsTrustedSiteListAllowed(std::u16string_view list, const std::vector<SiteRule>& rules);

}  // namespace zv
