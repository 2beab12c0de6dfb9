#include <gtest/gtest.h>

#include "tools/container/object_params.h"

namespace zv {
namespace {

TEST(ObjectParams, ReadsTheFirstObjectsParamsInOrder) {
  const auto e = ParseObjectElement(
      u"<html><body><p>exam</p>\n"
      u"<OBJECT id=\"Zaduze\" CLASSID='clsid:9780D491-D11F-4447-889A-C2A0F3280C51' width=1 height=1>\n"
      u"  <PARAM NAME=\"DebugLog\" VALUE=\"1\">\n"
      u"  <param name='ProtectKeyList' value='ALT+TAB,CTRL'/>\n"
      u"  <param name=KeepAliveMillisec value=2000>\n"
      u"  <!-- <param name=\"Hidden\" value=\"x\"> -->\n"
      u"  <param value=\"no name\">\n"
      u"  <param name=\"Empty\">\n"
      u"</object>\n"
      u"<object id=second><param name=\"Other\" value=\"2\"></object>");
  ASSERT_TRUE(e.found);
  EXPECT_EQ(e.id, u"Zaduze");
  EXPECT_EQ(e.classId, u"clsid:9780D491-D11F-4447-889A-C2A0F3280C51");
  const std::vector<ObjectParam> expected = {{u"DebugLog", u"1"},
                                             {u"ProtectKeyList", u"ALT+TAB,CTRL"},
                                             {u"KeepAliveMillisec", u"2000"},
                                             {u"Empty", u""}};
  EXPECT_EQ(e.params, expected);
}

TEST(ObjectParams, ValuesKeepQuotesBackslashesAndDecodeReferences) {
  const auto e = ParseObjectElement(
      u"<object><param name=\"a\" value='say \"hi\" \\'>"
      u"<param name=\"b\" value=\"&quot;x&quot; &amp; &lt;y&gt; &#44;&#x2C;&#xAC00; &bogus; & end\">"
      u"<param name=\"c\" value=\"&#x1F600;\"></object>");
  ASSERT_EQ(e.params.size(), 3u);
  EXPECT_EQ(e.params[0].value, u"say \"hi\" \\");
  EXPECT_EQ(e.params[1].value, u"\"x\" & <y> ,,\uAC00 &bogus; & end");
  EXPECT_EQ(e.params[2].value, u"\U0001F600");
}

TEST(ObjectParams, MissingObjectAndUnterminatedText) {
  EXPECT_FALSE(ParseObjectElement(u"<html><param name=a value=b></html>").found);
  EXPECT_FALSE(ParseObjectElement(u"").found);
  const auto e = ParseObjectElement(u"<object><param name=\"a\" value=\"unterminated");
  ASSERT_TRUE(e.found);
  ASSERT_EQ(e.params.size(), 1u);
  EXPECT_EQ(e.params[0].value, u"unterminated");
}

TEST(ObjectParams, LookupIgnoresCaseAndTheFirstWins) {
  const std::vector<ObjectParam> params = {{u"DebugLog", u"1"}, {u"debuglog", u"2"}};
  ASSERT_NE(FindParam(params, u"DEBUGLOG"), nullptr);
  EXPECT_EQ(*FindParam(params, u"DEBUGLOG"), u"1");
  EXPECT_EQ(FindParam(params, u"ProtectAppBlackList"), nullptr);
}

}  // namespace
}  // namespace zv
