// The snapshot reader: node sequences, line counting, errors, values that run
// over lines or hold quotes, ">" and line-break characters.
#include <gtest/gtest.h>

#include "agent/sandbox/snapshot_reader.h"
#include "common/text/text_util.h"
#include "sandbox_memory_registry.h"

namespace zv {
namespace {

using N = XmlNodeType;

struct Node {
  N type;
  std::u16string data;  // element name, "name=value", text or declaration
  bool operator==(const Node&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Node& n) {
  return os << static_cast<int>(n.type) << ":" << ToUtf8(n.data);
}

class ReaderTest : public ::testing::Test {
 protected:
  void Load(std::u16string_view text) {
    bytes_ = test::Utf16Bytes(text);
    reader_.SetLoader([this](const std::u16string& path, std::string& out) {
      paths_.push_back(path);
      out = bytes_;
      return true;
    });
    reader_.SetErrorPresenter([this](const std::u16string& text) { shown_.push_back(text); });
    reader_.SetPath(u"snap.xml");
  }
  Node Current() const {
    switch (reader_.NodeType()) {
      case N::StartElement:
      case N::EndElement: return {reader_.NodeType(), reader_.ElementName()};
      case N::Attribute: return {N::Attribute, reader_.AttributeName() + u"=" + reader_.AttributeValue()};
      case N::Text: return {N::Text, reader_.Text()};
      case N::Declaration: return {N::Declaration, reader_.DeclarationText()};
      default: return {reader_.NodeType(), u""};
    }
  }
  // Every node until Read() returns false.
  std::vector<Node> All() {
    std::vector<Node> nodes;
    for (int guard = 0; guard < 100000 && reader_.Read(); ++guard) nodes.push_back(Current());
    return nodes;
  }
  std::vector<Node> Significant() {
    std::vector<Node> nodes;
    for (auto& n : All())
      if (n.type != N::None) nodes.push_back(n);
    return nodes;
  }

  XmlReader reader_;
  std::string bytes_;
  std::vector<std::u16string> paths_;
  std::vector<std::u16string> shown_;
};

TEST_F(ReaderTest, VLineStepByStep) {
  Load(u">\r\n     <v name=\"a\" value=\"b\"/>\r\n");
  std::vector<Node> steps;
  for (int i = 0; i < 20 && reader_.Read(); ++i) steps.push_back(Current());
  const std::vector<Node> expected = {
      {N::None, u""},  // ">" of the first line: content follows
      {N::None, u""},  // line end
      {N::Text, u"     "},
      {N::StartElement, u"v"},
      {N::None, u""}, {N::None, u""}, {N::None, u""}, {N::Attribute, u"name=a"},
      {N::None, u""}, {N::None, u""}, {N::None, u""}, {N::Attribute, u"value=b"},
      {N::EndElement, u"v"},
      {N::None, u""},  // ">"
      {N::None, u""},  // line end
  };
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(reader_.LineNumber(), 3);  // the failed fetch counts a line too
}

TEST_F(ReaderTest, DeclarationLine) {
  Load(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n");
  std::vector<Node> nodes;
  std::vector<std::u16string> elementNames;
  while (reader_.Read()) {
    nodes.push_back(Current());
    if (reader_.NodeType() == N::Attribute) elementNames.push_back(reader_.ElementName());
  }
  const std::vector<Node> expected = {
      {N::Declaration, u"?xml"},
      {N::None, u""}, {N::None, u""}, {N::None, u""}, {N::Attribute, u"version=1.0"},
      {N::None, u""}, {N::None, u""}, {N::None, u""}, {N::Attribute, u"encoding=UTF-8"},
      {N::None, u""},  // "?"
      {N::None, u""},  // ">"
      {N::None, u""},  // line end
  };
  EXPECT_EQ(nodes, expected);
  EXPECT_EQ(elementNames, (std::vector<std::u16string>{u"", u""}));
}

TEST_F(ReaderTest, WriterOutputAsNodes) {
  Load(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
       u" <registry>\r\n"
       u"  <k name=\"HKEY_CURRENT_USER\">\r\n"
       u"   <k name=\"E\"/>\r\n"
       u"  </k>\r\n"
       u" </registry>\r\n");
  const std::vector<Node> expected = {
      {N::Declaration, u"?xml"}, {N::Attribute, u"version=1.0"}, {N::Attribute, u"encoding=UTF-8"},
      {N::Text, u" "},           {N::StartElement, u"registry"},
      {N::Text, u"  "},          {N::StartElement, u"k"},       {N::Attribute, u"name=HKEY_CURRENT_USER"},
      {N::Text, u"   "},         {N::StartElement, u"k"},       {N::Attribute, u"name=E"}, {N::EndElement, u"k"},
      {N::Text, u"  "},          {N::EndElement, u"k"},
      {N::Text, u" "},           {N::EndElement, u"registry"},
  };
  EXPECT_EQ(Significant(), expected);
  EXPECT_TRUE(reader_.ErrorText().empty());
}

TEST_F(ReaderTest, BlankLineInContentAndTagSplitOverLines) {
  Load(u"<a>\r\n   \r\n<b\r\n  name=\r\n \"x\"\r\n/>\r\n");
  const std::vector<Node> expected = {
      {N::StartElement, u"a"}, {N::Text, u"   "}, {N::StartElement, u"b"}, {N::Attribute, u"name=x"},
      {N::EndElement, u"b"},
  };
  EXPECT_EQ(Significant(), expected);
}

TEST_F(ReaderTest, LastLineWithoutCrLfIsNotParsed) {
  Load(u"<a>\r\n<b/>");
  EXPECT_EQ(Significant(), (std::vector<Node>{{N::StartElement, u"a"}}));
  Load(u"<a");  // no line at all
  reader_.Close();
  EXPECT_FALSE(reader_.Read());
  EXPECT_EQ(reader_.LineNumber(), 1);
  EXPECT_TRUE(reader_.ErrorText().empty());
}

TEST_F(ReaderTest, LoneCrOrLfIsPartOfTheLine) {
  Load(u"<a\rb=\"1\"/>\r\n<c>x\ny\r<d/>\r\n");
  const std::vector<Node> expected = {
      {N::StartElement, u"a"}, {N::Attribute, u"b=1"}, {N::EndElement, u"a"}, {N::StartElement, u"c"},
      {N::Text, u"x"},         {N::Text, u"y"},        {N::StartElement, u"d"}, {N::EndElement, u"d"},
  };
  EXPECT_EQ(Significant(), expected);
  EXPECT_EQ(reader_.LineNumber(), 3);
}

TEST_F(ReaderTest, QuotedValuesEndOnlyAtTheirOwnQuote) {
  Load(u"<v a=\"it's > 'x'\" b='say \"hi\" >' c=\"l1\rl2\nl3\"/>\r\n");
  const std::vector<Node> expected = {
      {N::StartElement, u"v"},
      {N::Attribute, u"a=it's > 'x'"},
      {N::Attribute, u"b=say \"hi\" >"},
      {N::Attribute, u"c=l1\rl2\nl3"},
      {N::EndElement, u"v"},
  };
  EXPECT_EQ(Significant(), expected);
}

TEST_F(ReaderTest, ValuesOverLinesKeepEveryLineBreak) {
  // A value may begin or end with a line break and hold empty lines.
  Load(u"<v a=\"\r\n\r\nmid\r\n  \r\n\" b=\"\"/>\r\n<w c=\"x\r\n\"/>\r\n");
  const std::vector<Node> expected = {
      {N::StartElement, u"v"}, {N::Attribute, u"a=\r\n\r\nmid\r\n  \r\n"}, {N::Attribute, u"b="},
      {N::EndElement, u"v"},   {N::StartElement, u"w"},                    {N::Attribute, u"c=x\r\n"},
      {N::EndElement, u"w"},
  };
  EXPECT_EQ(Significant(), expected);
  EXPECT_EQ(reader_.LineNumber(), 8);
}

TEST_F(ReaderTest, UnquotedValueStopsAtTheTokenizerStops) {
  Load(u"<v a=x1 b=y>z\r\n");
  const std::vector<Node> expected = {
      {N::StartElement, u"v"}, {N::Attribute, u"a=x1 b=y"}, {N::Text, u"z"},
  };
  EXPECT_EQ(Significant(), expected);
}

TEST_F(ReaderTest, CommentsAndCData) {
  Load(u"<!-- one\r\ntwo\r\n--><a/><![CDATA[x\r\n]]>t\r\n");
  const std::vector<Node> expected = {
      {N::Comment, u""}, {N::Comment, u""}, {N::Comment, u""}, {N::StartElement, u"a"}, {N::EndElement, u"a"},
      {N::CData, u""},   {N::CData, u""},   {N::Text, u"t"},
  };
  EXPECT_EQ(Significant(), expected);
}

TEST_F(ReaderTest, SlashAtTheLineEndDoesNotStall) {
  Load(u"<a /\r\n>\r\n");
  EXPECT_EQ(Significant(), (std::vector<Node>{{N::StartElement, u"a"}, {N::EndElement, u"a"}}));
}

struct ErrorCase {
  std::u16string text;
  std::u16string error;
};

TEST_F(ReaderTest, ErrorsWithTheirLineNumbers) {
  const ErrorCase cases[] = {
      {u"<a>\r\n<b <c\r\n", u"Parse error in line 2 : (Bad '<' symbol)"},
      {u"<a>\r\n\r\nx<  \r\n", u"Parse error in line 3 : ('<' symbol not allowed at the end of a line)"},
      {u"<>\r\n", u"Parse error in line 1 : (Empty element name)"},
      {u"<   >\r\n", u"Parse error in line 1 : (Empty element name)"},
      {u" <a>\r\n", u"Parse error in line 1 : (Syntax error)"},
      {u"<a/>\r\n<b>\r\n</b>\r\n\r\n</a>x=1\r\n", u""},
      {u"<a>\r\n<b\r\n=\"1\"\r\n", u""},
  };
  for (const auto& c : cases) {
    shown_.clear();
    Load(c.text);
    reader_.Close();
    reader_.SetShowErrors(true);
    All();
    EXPECT_EQ(reader_.ErrorText(), c.error) << ToUtf8(c.text);
    EXPECT_EQ(shown_, c.error.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.error});
  }
}

TEST_F(ReaderTest, ErrorNotShownWithoutTheFlag) {
  Load(u"x\r\n");
  EXPECT_FALSE(reader_.Read());
  EXPECT_EQ(reader_.ErrorText(), u"Parse error in line 1 : (Syntax error)");
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ReaderTest, CloseReloadsAndCountsLinesAnew) {
  Load(u"<a>\r\n<b>\r\n");
  All();
  EXPECT_EQ(reader_.LineNumber(), 3);
  reader_.SetPath(u"ignored while opened");
  reader_.Close();
  ASSERT_TRUE(reader_.Read());
  EXPECT_EQ(reader_.LineNumber(), 1);
  EXPECT_EQ(paths_, (std::vector<std::u16string>{u"snap.xml", u"snap.xml"}));
}

TEST(XmlReaderFile, MissingFileReadsNothing) {
  XmlReader reader;
  std::vector<std::u16string> shown;
  reader.SetLoader([](const std::u16string&, std::string&) { return false; });
  reader.SetErrorPresenter([&](const std::u16string& t) { shown.push_back(t); });
  reader.SetShowErrors(true);
  EXPECT_FALSE(reader.Read());
  EXPECT_FALSE(reader.Read());
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(reader.ErrorText().empty());
}

}  // namespace
}  // namespace zv
