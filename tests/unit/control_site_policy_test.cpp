#include <gtest/gtest.h>

#include "common/text/text_util.h"
#include "control/ocx/site_policy.h"

namespace zv {
namespace {

using namespace std::literals;

// Each row names the fault it would catch where that is not plain.
TEST(SitePolicy, PagesAgainstRules) {
  struct Case {
    std::u16string_view policy;
    const char16_t* url;
    bool allowed;
  } cases[] = {
      // Origins: scheme, host and port must agree; default ports normalised.
      {u"https://exam.example"sv, u"https://exam.example/test/page.html", true},
      {u"https://exam.example"sv, u"https://exam.example:443/", true},
      {u"https://exam.example:443"sv, u"https://exam.example/", true},
      {u"https://exam.example/"sv, u"https://exam.example?x#y", true},
      {u"https://exam.example"sv, u"http://exam.example/", false},
      {u"https://exam.example"sv, u"https://exam.example:8443/", false},
      {u"https://exam.example:8443"sv, u"https://exam.example:8443/", true},
      {u"https://exam.example:8443"sv, u"https://exam.example/", false},
      {u"http://exam.example:443"sv, u"https://exam.example/", false},
      // Without a scheme: http and https on their default ports.
      {u"exam.example"sv, u"http://exam.example/", true},
      {u"exam.example"sv, u"https://exam.example/", true},
      {u"exam.example"sv, u"http://exam.example:443/", false},
      {u"exam.example"sv, u"ftp://exam.example/", false},
      {u"exam.example"sv, u"file://exam.example/c:/x.html", false},
      // Case.
      {u"HTTPS://Exam.EXAMPLE"sv, u"https://exam.example/", true},
      {u"https://exam.example"sv, u"HTTPS://EXAM.Example/", true},
      // Look-alikes: a prefix or a suffix of the listed name is another name.
      {u"exam.example"sv, u"https://exam.example.evil.test/", false},
      {u"exam.example"sv, u"https://evil-exam.example/", false},
      {u"exam.example"sv, u"https://xam.example/", false},
      {u"exam.example"sv, u"https://exam.example@evil.test/", false},
      {u"exam.example"sv, u"https://evil.test@exam.example/", false},
      {u"exam.example"sv, u"https://exam.example:x@evil.test/", false},
      {u"exam.example"sv, u"https://exam.example\\@evil.test/", false},
      {u"exam.example"sv, u"https://exam.example\\.evil.test/", false},
      {u"exam.example"sv, u"https://exam.example./", false},
      {u"exam.example"sv, u"https://ex%61m.example/", false},
      {u"exam.example"sv, u"https://\u0435xam.example/", false},  // Cyrillic e
      {u"exam.example"sv, u"https://xn--xam-ddd.example/", false},
      {u"xn--xam-ddd.example"sv, u"https://xn--xam-ddd.example/", true},
      {u"exam.example"sv, u"https://exam.example:0/", false},
      {u"exam.example"sv, u"https://exam.example:65536/", false},
      {u"exam.example"sv, u"https://exam.example:/", false},
      {u"exam.example"sv, u"https://exam .example/", false},
      {u"exam.example"sv, u"https://exam.exa\tmple/", false},
      {u"exam.example"sv, u"javascript://exam.example/%0aalert(1)", false},
      {u"exam.example"sv, u"", false},
      // Host patterns: subdomains only, with a dot before the listed name
      // (evilexam.example is as long as a.exam.example would need to be).
      {u"*.exam.example"sv, u"https://a.exam.example/", true},
      {u"*.exam.example"sv, u"https://a.b.exam.example/", true},
      {u"*.exam.example"sv, u"https://exam.example/", false},
      {u"*.exam.example"sv, u"https://evilexam.example/", false},
      {u"*.exam.example"sv, u"https://a.exam.example.evil.test/", false},
      {u"*.exam.example"sv, u"https://a.exam.example:8443/", false},
      {u"https://*.exam.example"sv, u"http://a.exam.example/", false},
      // A pattern never covers a top-level name or an address.
      {u"*.com"sv, u"https://evil.com/", false},
      {u"*.0.0.1"sv, u"http://10.0.0.1/", false},
      {u"*.1.2.3.4"sv, u"http://5.1.2.3.4/", false},
      // Addresses: the dotted form only; browsers read every other number
      // form (hex, octal, short, one number) as some address.
      {u"10.0.0.5:8080"sv, u"http://10.0.0.5:8080/exam", true},
      {u"10.0.0.5"sv, u"http://10.0.0.5/", true},
      {u"10.0.0.5"sv, u"http://010.0.0.5/", false},
      {u"010.0.0.5"sv, u"http://010.0.0.5/", false},
      {u"10.0.0.5"sv, u"http://0xa.0.0.5/", false},
      {u"0xa.0.0.5"sv, u"http://0xa.0.0.5/", false},
      {u"167772165"sv, u"http://167772165/", false},
      {u"10.5"sv, u"http://10.5/", false},
      {u"a.0x7f"sv, u"http://a.0x7f/", false},
      {u"exam.123"sv, u"https://exam.123/", false},
      {u"256.0.0.1"sv, u"http://256.0.0.1/", false},
      {u"exam1.example"sv, u"https://exam1.example/", true},
      {u"exam.0xg"sv, u"https://exam.0xg/", true},  // not a number: a name
      // Lists: commas separate, blanks are dropped, invalid entries allow
      // nothing.
      {u" other.example , exam.example "sv, u"https://exam.example/", true},
      {u"exam.example/path"sv, u"https://exam.example/path", false},
      {u"user@exam.example"sv, u"https://exam.example/", false},
      {u"*"sv, u"https://exam.example/", false},
      {u"exam.*.example"sv, u"https://exam.a.example/", false},
      {u"ftp://exam.example"sv, u"ftp://exam.example/", false},
      {u""sv, u"https://exam.example/", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPageAllowed(c.url, ParseAllowedSites(c.policy)), c.allowed)
        << ToUtf8(c.policy) << " | " << ToUtf8(c.url);
  }
}

// The value is enforced as the registry tools show it, or allows nothing.
TEST(SitePolicy, ValueTypesAndTheirData) {
  struct Case {
    uint32_t type;
    std::u16string_view data;
    const char16_t* url;
    bool allowed;
  } cases[] = {
      {kPolicyTypeSz, u"exam.example\0"sv, u"https://exam.example/", true},
      {kPolicyTypeSz, u"exam.example"sv, u"https://exam.example/", true},  // stored without its terminator
      {kPolicyTypeSz, u"exam.example\0\0"sv, u"https://exam.example/", true},
      // Shown as "exam.example": the part after the NUL must not count, and
      // the value is not what it shows, so it allows nothing at all.
      {kPolicyTypeSz, u"exam.example\0evil.test\0"sv, u"https://evil.test/", false},
      {kPolicyTypeSz, u"exam.example\0evil.test\0"sv, u"https://exam.example/", false},
      {kPolicyTypeMultiSz, u"other.example\0exam.example\0\0"sv, u"https://exam.example/", true},
      {kPolicyTypeMultiSz, u"other.example\0exam.example"sv, u"https://exam.example/", true},
      {kPolicyTypeMultiSz, u"other.example,exam.example\0\0"sv, u"https://exam.example/", true},
      // An empty string ends the list for the tools: what follows is hidden.
      {kPolicyTypeMultiSz, u"exam.example\0\0evil.test\0\0"sv, u"https://evil.test/", false},
      {kPolicyTypeMultiSz, u"exam.example\0\0evil.test\0\0"sv, u"https://exam.example/", false},
      {kPolicyTypeMultiSz, u"\0exam.example\0\0"sv, u"https://exam.example/", false},
      {kPolicyTypeExpandSz, u"exam.example\0"sv, u"https://exam.example/", false},
      {4 /* REG_DWORD */, u"\x0001\0"sv, u"https://exam.example/", false},
      {3 /* REG_BINARY */, u"exam.example\0"sv, u"https://exam.example/", false},
  };
  for (const auto& c : cases) {
    const auto list = PolicyListFromValue(c.type, c.data);
    EXPECT_EQ(list && IsPageAllowed(c.url, ParseAllowedSites(*list)), c.allowed)
        << c.type << " | " << ToUtf8(c.data) << " | " << ToUtf8(c.url);
  }
  // A value that shows nothing allows nothing, yet it is a policy.
  EXPECT_EQ(PolicyListFromValue(kPolicyTypeSz, u"\0"sv), u"");
  EXPECT_EQ(PolicyListFromValue(kPolicyTypeMultiSz, u"\0\0"sv), u"");
}

// The control in a frame: its own document and the top page must both be
// known, and every address reported for either must be allowed.
TEST(SitePolicy, OwnDocumentAndTopPage) {
  const auto rules = ParseAllowedSites(u"https://exam.example");
  const std::u16string exam = u"https://exam.example/a.html", frame = u"https://exam.example/frame.html",
                       evil = u"https://evil.test/ad.html";
  struct Case {
    const char* name;
    PageReport report;
    SiteVerdict verdict;
    std::u16string address;
  } cases[] = {
      {"control in the top page", {{exam, exam, exam}, {exam}}, SiteVerdict::Allowed, exam},
      {"same-site frame", {{frame}, {exam, exam}}, SiteVerdict::Allowed, frame},
      {"foreign frame in an allowed page", {{evil}, {exam}}, SiteVerdict::Refused, evil},
      {"allowed frame in a foreign top page", {{frame}, {evil}}, SiteVerdict::Refused, evil},
      {"second browser object foreign", {{frame}, {exam, evil}}, SiteVerdict::Refused, evil},
      {"own document told differently (moniker)", {{frame, frame, evil}, {exam}}, SiteVerdict::Refused, evil},
      {"own document unknown", {{}, {exam}}, SiteVerdict::Unknown, u""},
      {"top page unknown", {{frame}, {}}, SiteVerdict::Unknown, u""},
      {"own document told as empty", {{u""}, {exam}}, SiteVerdict::Refused, u""},
  };
  for (const auto& c : cases) {
    const SiteDecision d = JudgePage(c.report, rules);
    EXPECT_EQ(d.verdict, c.verdict) << c.name;
    EXPECT_EQ(d.address, c.address) << c.name;
  }
}

// Under a policy, TrustzoneAddIP/TrustzoneAddDomain may add only what the
// policy allows; each row's list as the page passes it (the agent
// upper-cases and splits it at commas).
TEST(SitePolicy, TrustedSitesWithinThePolicy) {
  struct Case {
    std::u16string_view policy;
    std::u16string_view list;
    bool allowed;
  } cases[] = {
      {u"https://exam.example"sv, u"exam.example"sv, true},
      {u"https://exam.example"sv, u"EXAM.EXAMPLE"sv, true},
      {u"https://exam.example"sv, u"https://exam.example"sv, true},
      {u"https://exam.example"sv, u"http://exam.example"sv, false},  // the policy allows https only
      {u"exam.example"sv, u"HTTP://exam.example"sv, true},
      {u"https://exam.example"sv, u"evil.test"sv, false},
      {u"https://exam.example"sv, u"exam.example,evil.test"sv, false},
      {u"https://exam.example"sv, u"exam.example,"sv, false},  // an empty piece
      {u"exam.example"sv, u"ftp://exam.example"sv, false},  // the zone map would trust ftp
      {u"https://exam.example"sv, u"exam.example:8080"sv, false},
      {u"https://exam.example"sv, u"exam.example/x"sv, false},
      {u"https://exam.example"sv, u" exam.example"sv, false},
      {u"https://exam.example"sv, u"*.exam.example"sv, false},
      {u"https://exam.example"sv, u"a.exam.example"sv, false},
      {u"https://exam.example"sv, u"evilexam.example"sv, false},
      {u"*.exam.example"sv, u"a.exam.example"sv, true},
      {u"*.exam.example"sv, u"*.exam.example"sv, true},
      {u"*.exam.example"sv, u"*.b.exam.example"sv, true},
      {u"*.exam.example"sv, u"exam.example"sv, false},
      {u"*.exam.example"sv, u"*.example"sv, false},
      {u"*.exam.example"sv, u"evilexam.example"sv, false},
      {u"*.exam.example"sv, u"*.evilexam.example"sv, false},
      {u"10.0.0.5:8080"sv, u"10.0.0.5"sv, true},
      {u"10.0.0.5:8080"sv, u"http://10.0.0.5"sv, true},
      {u"10.0.0.5"sv, u"10.0.0.6"sv, false},
      {u"10.0.0.5"sv, u"10.0.0.*"sv, false},
      {u"10.0.0.5"sv, u"10.0.0.5-10.0.0.9"sv, false},
      {u"10.0.0.5"sv, u"010.0.0.5"sv, false},
      {u"*.exam.example"sv, u"10.0.0.5"sv, false},
      {u""sv, u"exam.example"sv, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsTrustedSiteListAllowed(c.list, ParseAllowedSites(c.policy)), c.allowed)
        << ToUtf8(c.policy) << " | " << ToUtf8(c.list);
  }
}

}  // namespace
}  // namespace zv
