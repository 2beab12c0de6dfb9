#include <gtest/gtest.h>

#include "common/text/text_util.h"

namespace zv {
namespace {

TEST(Utf8, RoundTripsEveryPlaneAndReplacesBrokenInput) {
  const std::u16string text = u"a\u00e9\uac00\U0001F600z";
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(ToUtf8(u"\uac00"), "\xea\xb0\x80");
  EXPECT_EQ(FromUtf8("\xff"), u"\uFFFD");
  EXPECT_EQ(FromUtf8("\xea\xb0"), u"\uFFFD\uFFFD");  // truncated sequence, nothing read past the end
  EXPECT_EQ(ToUtf8(std::u16string(1, u'\xD800')), "\xef\xbf\xbd");
}

TEST(AsciiCase, OnlyLatinLettersFold) {
  EXPECT_EQ(ToUpperAscii(u"abz{`@\u00e9"), u"ABZ{`@\u00e9");
  EXPECT_TRUE(EqualsIgnoreCaseAscii(u"-DebugLog", u"-DEBUGLOG"));
  EXPECT_FALSE(EqualsIgnoreCaseAscii(u"-DebugLog", u"-DebugLo"));
  EXPECT_FALSE(EqualsIgnoreCaseAscii(u"\u00e9", u"\u00c9"));
}

}  // namespace
}  // namespace zv
