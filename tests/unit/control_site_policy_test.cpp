#include <gtest/gtest.h>

#include "common/text/text_util.h"
#include "control/ocx/site_policy.h"

namespace zv {
namespace {

using namespace std::literals;

TEST(SitePolicy, PagesAgainstRules) {
  struct Case {
    std::u16string_view policy;
    const char16_t* url;
    bool allowed;
  } cases[] = {
      // Origins: scheme, host and port must agree; default ports normalised.
      {u"https://exam.example"sv, u"https://exam.example/test/page.html", true},
      {u"https://exam.example"sv, u"https://exam.example:443/", true},
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
      // Look-alikes.
      {u"exam.example"sv, u"https://exam.example.evil.test/", false},
      {u"exam.example"sv, u"https://evil-exam.example/", false},
      {u"exam.example"sv, u"https://exam.example@evil.test/", false},
      {u"exam.example"sv, u"https://evil.test@exam.example/", false},
      {u"exam.example"sv, u"https://exam.example:x@evil.test/", false},
      {u"exam.example"sv, u"https://exam.example\\@evil.test/", false},
      {u"exam.example"sv, u"https://exam.example./", false},
      {u"exam.example"sv, u"https://ex%61m.example/", false},
      {u"exam.example"sv, u"https://\u0435xam.example/", false},  // Cyrillic e
      {u"exam.example"sv, u"https://xn--xam-ddd.example/", false},
      {u"xn--xam-ddd.example"sv, u"https://xn--xam-ddd.example/", true},
      {u"exam.example"sv, u"https://exam.example:0/", false},
      {u"exam.example"sv, u"https://exam.example:65536/", false},
      {u"exam.example"sv, u"https://exam.example:/", false},
      {u"exam.example"sv, u"https://exam .example/", false},
      {u"exam.example"sv, u"javascript://exam.example/%0aalert(1)", false},
      {u"exam.example"sv, u"", false},
      // Host patterns: subdomains only.
      {u"*.exam.example"sv, u"https://a.exam.example/", true},
      {u"*.exam.example"sv, u"https://a.b.exam.example/", true},
      {u"*.exam.example"sv, u"https://exam.example/", false},
      {u"*.exam.example"sv, u"https://aexam.example/", false},
      {u"*.exam.example"sv, u"https://a.exam.example.evil.test/", false},
      {u"https://*.exam.example"sv, u"http://a.exam.example/", false},
      // Lists: commas and NULs separate, blanks are dropped, invalid entries
      // allow nothing.
      {u" other.example , exam.example "sv, u"https://exam.example/", true},
      {u"other.example\0exam.example"sv, u"https://exam.example/", true},
      {u"exam.example/path"sv, u"https://exam.example/path", false},
      {u"user@exam.example"sv, u"https://exam.example/", false},
      {u"*"sv, u"https://exam.example/", false},
      {u"exam.*.example"sv, u"https://exam.a.example/", false},
      {u"ftp://exam.example"sv, u"ftp://exam.example/", false},
      {u""sv, u"https://exam.example/", false},
      {u"10.0.0.5:8080"sv, u"http://10.0.0.5:8080/exam", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPageAllowed(c.url, ParseAllowedSites(c.policy)), c.allowed)
        << ToUtf8(c.policy) << " | " << ToUtf8(c.url);
  }
}

}  // namespace
}  // namespace zv
