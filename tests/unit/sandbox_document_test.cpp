// The snapshot document: writer lines and bytes, escaping, value texts, type
// and root names.
#include <gtest/gtest.h>

#include "agent/sandbox/snapshot_document.h"
#include "common/text/text_util.h"
#include "sandbox_memory_registry.h"

namespace zv {
namespace {

using test::AsText;
using test::Bytes;
using test::Units;

struct CountingSink : test::MemorySink {
  int writes = 0;
  bool Write(const void* data, size_t size) override {
    ++writes;
    return test::MemorySink::Write(data, size);
  }
};

TEST(XmlWriter, DeclarationFirstIndentedLinesOneWriteEach) {
  CountingSink sink;
  {
    XmlWriter writer(sink);
    writer.SetPath(u"C:\\a.xml");
    XmlElement key(u"k");
    key.SetAttribute(u"name", u"Test");
    EXPECT_TRUE(writer.WriteStartElement(XmlElement(u"registry")));
    EXPECT_TRUE(writer.WriteStartElement(key));
    XmlElement value(u"v");
    value.SetAttribute(u"name", u"Count").SetAttribute(u"value", u"0x00000043 (67)").SetAttribute(u"type", u"REG_DWORD");
    EXPECT_TRUE(writer.WriteEmptyElement(value));
    EXPECT_EQ(writer.Depth(), 2);
    EXPECT_TRUE(writer.WriteEndElement(u"k"));
    EXPECT_TRUE(writer.WriteEndElement(u"registry"));
    EXPECT_EQ(writer.Depth(), 0);
  }
  EXPECT_EQ(sink.path, u"C:\\a.xml");
  EXPECT_EQ(sink.opens, 1);
  EXPECT_EQ(sink.writes, 6);  // declaration + five lines
  ASSERT_GE(sink.bytes.size(), 2u);
  EXPECT_EQ(static_cast<uint8_t>(sink.bytes[0]), 0x3C);
  EXPECT_EQ(static_cast<uint8_t>(sink.bytes[1]), 0x00);
  EXPECT_EQ(AsText(sink.bytes),
            u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            u" <registry>\r\n"
            u"  <k name=\"Test\">\r\n"
            u"   <v name=\"Count\" value=\"0x00000043 (67)\" type=\"REG_DWORD\"/>\r\n"
            u"  </k>\r\n"
            u" </registry>\r\n");
}

TEST(XmlWriter, NothingWrittenNoFile) {
  test::MemorySink sink;
  { XmlWriter writer(sink); }
  EXPECT_EQ(sink.opens, 0);
}

TEST(XmlWriter, FailedOpenWritesNothingAndIsRetried) {
  test::MemorySink sink;
  sink.failOpen = true;
  XmlWriter writer(sink);
  EXPECT_FALSE(writer.WriteStartElement(XmlElement(u"registry")));
  EXPECT_TRUE(sink.bytes.empty());
  sink.failOpen = false;
  EXPECT_TRUE(writer.WriteEndElement(u"registry"));
  // The declaration comes first in the file that finally opened.
  EXPECT_EQ(AsText(sink.bytes), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n </registry>\r\n");
}

TEST(XmlWriter, CloseResetsAndSetPathWaitsForIt) {
  test::MemorySink sink;
  XmlWriter writer(sink);
  writer.SetPath(u"one");
  writer.WriteStartElement(XmlElement(u"a"));
  writer.SetPath(u"two");  // ignored: open
  writer.WriteEndElement(u"a");
  EXPECT_EQ(sink.path, u"one");
  writer.Close();
  EXPECT_EQ(writer.Depth(), 0);
  writer.SetPath(u"two");
  writer.WriteEmptyElement(XmlElement(u"b"));
  EXPECT_EQ(sink.path, u"two");
  EXPECT_EQ(AsText(sink.bytes), u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n <b/>\r\n");
}

TEST(XmlElement, SetAttributeReplacesInPlaceCaseSensitive) {
  XmlElement e(u"v");
  e.SetAttribute(u"name", u"a").SetAttribute(u"value", u"b").SetAttribute(u"name", u"c").SetAttribute(u"Name", u"d");
  EXPECT_EQ(e.attributeNames, (std::vector<std::u16string>{u"name", u"value", u"Name"}));
  EXPECT_EQ(e.attributeValues, (std::vector<std::u16string>{u"c", u"b", u"d"}));
}

TEST(Escaping, OnlyAmpersandQuoteAndLessThan) {
  EXPECT_EQ(EscapeXmlText(u"a&b\"c<d>e'f\r\n"), u"a&amp;b&quot;c&lt;d>e'f\r\n");
  EXPECT_EQ(EscapeXmlText(u"&amp;"), u"&amp;amp;");
}

TEST(Escaping, RoundTrips) {
  const std::u16string texts[] = {u"",         u"&",        u"&amp;",    u"&lt;&quot;&amp;", u"<\"&>'",
                                  u"&&&;;;",   u"&am&lt;p;", u"\xD55C\xAE00 &", u"&quot",          u"x&lt"};
  for (const auto& text : texts) EXPECT_EQ(UnescapeXmlText(EscapeXmlText(text)), text) << ToUtf8(text);
}

TEST(Escaping, UnescapeResumesAfterEachReplacement) {
  EXPECT_EQ(UnescapeXmlText(u"&amp;lt;"), u"&lt;");
  EXPECT_EQ(UnescapeXmlText(u"&amp;quot;&lt;"), u"&quot;<");
  EXPECT_EQ(UnescapeXmlText(u"&gt;&apos;&am"), u"&gt;&apos;&am");
}

TEST(TypeNames, WrittenAndReadBack) {
  const std::pair<uint32_t, const char16_t*> written[] = {
      {0, u"REG_SZ"},         {1, u"REG_SZ"},  {2, u"REG_EXPAND_SZ"},      {3, u"REG_BINARY"},
      {4, u"REG_DWORD"},      {5, u"REG_DWORD"}, {6, u"REG_SZ"},          {7, u"REG_MULTI_SZ"},
      {8, u"REG_RESOURCE_LIST"}, {9, u""},     {10, u"REG_RESOURCE_REQUIREMENTS_LIST"}, {11, u"REG_QWORD"},
      {12, u""},              {0xFFFFFFFF, u""}};
  for (const auto& [type, name] : written) EXPECT_EQ(RegTypeName(type), name) << type;
  const std::pair<const char16_t*, uint32_t> read[] = {
      {u"REG_SZ", 1},    {u"reg_expand_sz", 2}, {u"REG_BINARY", 3}, {u"Reg_Dword", 4},
      {u"REG_MULTI_SZ", 7}, {u"REG_RESOURCE_LIST", 8}, {u"REG_RESOURCE_REQUIREMENTS_LIST", 10},
      {u"REG_QWORD", 11}, {u"", 1},          {u"REG_NONE", 1},   {u"REG_DWORD_BIG_ENDIAN", 1}, {u"REG_SZ ", 1}};
  for (const auto& [name, type] : read) EXPECT_EQ(RegTypeFromName(name), type) << ToUtf8(name);
}

TEST(RootNames, FiveRootsIgnoringCase) {
  EXPECT_EQ(RootKeyFromName(u"HKEY_CLASSES_ROOT"), RootKey::ClassesRoot);
  EXPECT_EQ(RootKeyFromName(u"hkey_current_user"), RootKey::CurrentUser);
  EXPECT_EQ(RootKeyFromName(u"HKEY_LOCAL_MACHINE"), RootKey::LocalMachine);
  EXPECT_EQ(RootKeyFromName(u"HKEY_USERS"), RootKey::Users);
  EXPECT_EQ(RootKeyFromName(u"Hkey_Current_Config"), RootKey::CurrentConfig);
  for (const char16_t* other : {u"HKCU", u"", u"HKEY_CURRENT_USER ", u"HKEY_PERFORMANCE_DATA"})
    EXPECT_EQ(RootKeyFromName(other), RootKey::None) << ToUtf8(other);
}

struct FormatCase {
  uint32_t type;
  Bytes data;
  std::u16string text;
};

TEST(FormatValueText, EveryTypeForm) {
  const FormatCase cases[] = {
      {kRegSz, Units(std::u16string(u"abc\0def", 7)), u"abc"},
      {kRegSz, Units(u"abc"), u"abc"},  // no terminator: up to the end
      {kRegSz, {'a', 0, 'b'}, u"a"},    // an odd last byte is no character
      {kRegExpandSz, Units(std::u16string(u"%TEMP%\0", 7)), u"%TEMP%"},
      {kRegNone, Units(u"x"), u"x"},
      {kRegLink, Units(u"y"), u"y"},
      {kRegMultiSz, Units(std::u16string(u"a\0b\0\0", 5)), u"a\r\nb"},
      {kRegMultiSz, Units(std::u16string(u"\0a\0\0x\0\0", 8)), u"\r\na\r\n\r\nx"},
      {kRegMultiSz, Units(std::u16string(u"\0\0", 2)), u""},
      {kRegMultiSz, {}, u""},
      {kRegBinary, {0x01, 0xAB, 0xFF}, u"01 ab ff"},
      {kRegBinary, {}, u""},
      {kRegResourceList, {0x00}, u"00"},
      {kRegResourceRequirementsList, {0x10, 0x20}, u"10 20"},
      {kRegDword, {0x00, 0x00, 0x01, 0x00}, u"0x00010000 (65536)"},
      {kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, u"0xffffffff (-1)"},
      {kRegDword, {0x43}, u"0x00000043 (67)"},  // short data: the missing bytes are zero
      {kRegDword, {}, u"0x00000000 (0)"},
      {kRegDwordBigEndian, {0x00, 0x01, 0x00, 0x00}, u"0x00010000 (65536)"},
      {kRegDwordBigEndian, {0x80, 0x00, 0x00, 0x00}, u"0x80000000 (-2147483648)"},
      {kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, u"0x0000000000000001"},
      {kRegQword, {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}, u"0x0123456789abcdef"},
      {kRegFullResourceDescriptor, Units(u"zz"), u"zz"},
      {42, Units(std::u16string(u"q\0r", 3)), u"q"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatValueText(c.type, c.data), c.text) << c.type << " " << ToUtf8(c.text);
}

struct ParseCase {
  uint32_t type;
  std::u16string text;
  std::optional<Bytes> data;
};

TEST(ParseValueText, EveryTypeForm) {
  const ParseCase cases[] = {
      {kRegSz, u"ab", Bytes{'a', 0, 'b', 0, 0, 0, 0, 0}},  // two terminating zero characters
      {kRegSz, u"", Bytes{0, 0, 0, 0}},
      {kRegExpandSz, u"%x%", Bytes{'%', 0, 'x', 0, '%', 0, 0, 0, 0, 0}},
      {kRegBinary, u"01 ab FF", Bytes{0x01, 0xAB, 0xFF}},
      {kRegBinary, u"", Bytes{0}},
      {kRegResourceList, u"7f", Bytes{0x7F}},
      {kRegResourceRequirementsList, u"00 00", Bytes{0, 0}},
      {kRegDword, u"0x00010000 (65536)", Bytes{0x00, 0x00, 0x01, 0x00}},
      {kRegDword, u"0xffffffff (-1)", Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
      {kRegDword, u"0xDEADBEEF", Bytes{0xEF, 0xBE, 0xAD, 0xDE}},
      {kRegDword, u"..0000000a whatever", Bytes{0x0A, 0, 0, 0}},  // positions 0 and 1 are not examined
      {kRegDword, u"", Bytes{0, 0, 0, 0}},
      {kRegQword, u"0x0000000000000001", Bytes{1, 0, 0, 0, 0, 0, 0, 0}},
      {kRegQword, u"0x0123456789ABCDEF", Bytes{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01}},
      {kRegQword, u"", Bytes(8, 0)},
      {kRegMultiSz, u"a\r\nb", Bytes{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {kRegMultiSz, u"a\nb", Bytes{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {kRegMultiSz, u"", Bytes{0, 0}},
      // Malformed texts give nothing.
      {kRegBinary, u"0", std::nullopt},
      {kRegBinary, u"01 a", std::nullopt},
      {kRegBinary, u"0g", std::nullopt},
      {kRegBinary, u"01-02", std::nullopt},
      {kRegBinary, u"01 02 ", std::nullopt},
      {kRegDword, u"0x1234", std::nullopt},
      {kRegDword, u"0x0000000", std::nullopt},
      {kRegDword, u"0x0000000g (0)", std::nullopt},
      {kRegDword, u"0x", std::nullopt},
      {kRegQword, u"0x00000000", std::nullopt},
      {kRegQword, u"0x000000000000000 ", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto data = ParseValueText(c.type, c.text);
    EXPECT_EQ(data, c.data) << c.type << " " << ToUtf8(c.text);
  }
}

TEST(ValueText, SavedFormsReadBack) {
  // A big-endian DWORD comes back as a DWORD holding the same number.
  const Bytes bigEndian{0x12, 0x34, 0x56, 0x78};
  const auto text = FormatValueText(kRegDwordBigEndian, bigEndian);
  EXPECT_EQ(RegTypeFromName(RegTypeName(kRegDwordBigEndian)), kRegDword);
  EXPECT_EQ(ParseValueText(kRegDword, text), (Bytes{0x78, 0x56, 0x34, 0x12}));
  // A multi-string with an empty string in front and in the middle.
  const Bytes multi = Units(std::u16string(u"\0a\0\0b\0\0", 7));
  EXPECT_EQ(ParseValueText(kRegMultiSz, FormatValueText(kRegMultiSz, multi)), multi);
  // Every byte value through the binary form.
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(ParseValueText(kRegBinary, FormatValueText(kRegBinary, all)), all);
}

}  // namespace
}  // namespace zv
