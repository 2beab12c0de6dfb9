// Browser security settings (zone policy, toolbar plan) and the trusted-site
// texts.
#include <gtest/gtest.h>

#include <set>

#include "agent/sandbox/browser_settings.h"
#include "agent/sandbox/trusted_sites.h"
#include "common/text/text_util.h"

namespace zv {
namespace {

TEST(TrustedZonePolicy, SixtyFiveValuesInOrder) {
  const auto& policy = TrustedZonePolicy();
  ASSERT_EQ(policy.size(), 65u);
  std::set<std::u16string> names;
  for (const auto& v : policy) names.insert(v.name);
  EXPECT_EQ(names.size(), 65u);
  EXPECT_EQ(std::u16string(policy.front().name), u"1001");
  EXPECT_EQ(std::u16string(policy[38].name), u"1C00");
  EXPECT_EQ(policy[38].data, 0x30000u);
  EXPECT_EQ(std::u16string(policy[43].name), u"2007");
  EXPECT_EQ(policy[43].data, 0x10000u);
  EXPECT_EQ(std::u16string(policy[63].name), u"CurrentLevel");
  EXPECT_EQ(policy[63].data, 0x10000u);
  EXPECT_EQ(std::u16string(policy[64].name), u"Flags");
  EXPECT_EQ(policy[64].data, 0x43u);
  // The features switched off in this zone, and the prompts.
  std::set<std::u16string> disallowed, prompts;
  for (const auto& v : policy) {
    if (v.data == 3) disallowed.insert(v.name);
    if (v.data == 1) prompts.insert(v.name);
  }
  EXPECT_EQ(disallowed, (std::set<std::u16string>{u"120A", u"1409", u"1809", u"2301", u"2500", u"2700"}));
  EXPECT_EQ(prompts, (std::set<std::u16string>{u"1004", u"1201", u"1609", u"1806", u"180B", u"2101", u"2300"}));
}

std::string Narrow(std::u16string_view text) { return ToUtf8(text); }

TEST(PlanToolbarSettings, SubstringRule) {
  const std::vector<std::u16string> toolbars = {u"{AAA-1}", u"{BBB-2}", u"{ccc-3}", u"{DDD-4}", u"{AAA-5}"};
  struct Case {
    std::vector<std::u16string> existing;
    std::vector<std::u16string> update, create;
  };
  const Case cases[] = {
      {{}, {}, toolbars},
      // Same identifier: updated, not recorded.
      {{u"{BBB-2}"}, {u"{BBB-2}"}, {u"{AAA-1}", u"{ccc-3}", u"{DDD-4}", u"{AAA-5}"}},
      // Other letter case: no match, so it is created (and later deleted).
      {{u"{CCC-3}"}, {}, toolbars},
      // A part of an identifier matches the first toolbar containing it, once.
      {{u"AAA", u"AAA"}, {u"{AAA-1}", u"{AAA-5}"}, {u"{BBB-2}", u"{ccc-3}", u"{DDD-4}"}},
      {{u"AAA", u"AAA", u"AAA"}, {u"{AAA-1}", u"{AAA-5}"}, {u"{BBB-2}", u"{ccc-3}", u"{DDD-4}"}},
      // Unrelated subkeys change nothing.
      {{u"{EEE-9}", u"x"}, {}, toolbars},
  };
  for (const auto& c : cases) {
    const ToolbarPlan plan = PlanToolbarSettings(c.existing, toolbars, Narrow);
    EXPECT_EQ(plan.update, c.update);
    EXPECT_EQ(plan.create, c.create);
  }
}

TEST(PlanToolbarSettings, ComparesNarrowForms) {
  // Two wide texts with the same narrow form match.
  const NarrowText lossy = [](std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  };
  const ToolbarPlan plan = PlanToolbarSettings({u"{\xD55C}"}, {u"{\xAE00}"}, lossy);
  EXPECT_EQ(plan.update, (std::vector<std::u16string>{u"{\xAE00}"}));
  EXPECT_TRUE(plan.create.empty());
}

TEST(SplitSiteText, SchemeAndHost) {
  struct Case {
    std::u16string text, scheme, host;
  };
  const Case cases[] = {
      {u"10.0.0.1", u"*", u"10.0.0.1"},
      {u"HTTP://10.0.0.1", u"http", u"10.0.0.1"},
      {u"HtTpS://Exam.Example.org:8443/path", u"https", u"Exam.Example.org:8443/path"},
      {u"a://b://c", u"a", u"b://c"},
      {u"://host", u"", u"host"},
      {u" x ", u"*", u" x "},
      {u"", u"*", u""},
  };
  for (const auto& c : cases) {
    const SiteText site = SplitSiteText(c.text);
    EXPECT_EQ(site.scheme, c.scheme) << ToUtf8(c.text);
    EXPECT_EQ(site.host, c.host) << ToUtf8(c.text);
  }
}

TEST(SplitDomainHost, FirstLabelAndDomain) {
  const auto abc = SplitDomainHost(u"a.b.c");
  ASSERT_TRUE(abc);
  EXPECT_EQ(DomainKeyPath(*abc),
            u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\b.c\\a");
  const auto bc = SplitDomainHost(u"b.c");
  ASSERT_TRUE(bc);
  EXPECT_EQ(bc->label, u"b");
  EXPECT_EQ(bc->domain, u"c");
  const auto dot = SplitDomainHost(u".");
  ASSERT_TRUE(dot);
  EXPECT_TRUE(dot->label.empty() && dot->domain.empty());
  EXPECT_FALSE(SplitDomainHost(u"localhost"));
  EXPECT_FALSE(SplitDomainHost(u""));
}

TEST(TrustedSites, RangeNumbersOfSubkeyNames) {
  const std::pair<const char16_t*, std::optional<int>> cases[] = {
      {u"Range1", 1},          {u"RANGE42", 42},         {u"range65535", 65535}, {u"Range65536", std::nullopt},
      {u"Range0", std::nullopt}, {u"Range01", std::nullopt}, {u"Range", std::nullopt}, {u"Range1a", std::nullopt},
      {u"Rang1", std::nullopt},  {u"Range-1", std::nullopt}, {u"Range99999999999", std::nullopt},
  };
  for (const auto& [name, number] : cases) EXPECT_EQ(RangeNumberFromKeyName(name), number) << ToUtf8(name);
}

TEST(TrustedSites, RangeKeyAndLowerCase) {
  EXPECT_EQ(RangeKeyPath(1), u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Ranges\\Range1");
  EXPECT_TRUE(RangeKeyPath(65535).ends_with(u"\\Range65535"));
  EXPECT_EQ(ToLowerAscii(u"Sample.NET\xC9"), u"sample.net\xC9");
}

}  // namespace
}  // namespace zv
