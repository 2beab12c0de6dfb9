#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "agent/core/command_line.h"
#include "agent/core/options.h"
#include "common/text/text_util.h"
#include "control/ocx/control_properties.h"

namespace zv {
namespace {

// The type library's source, which the build compiles but nothing generates.
const std::string& TypeLibrarySource() {
  static const std::string text = [] {
    std::ifstream file(ZV_SOURCE_DIR "/control/ocx/zaduze.idl", std::ios::binary);
    std::ostringstream out;
    out << file.rdbuf();
    return out.str();
  }();
  return text;
}

bool TypeLibraryHas(const std::string& pattern) {
  return std::regex_search(TypeLibrarySource(), std::regex(pattern));
}

TEST(ControlProperties, ResetEmptiesTheListsAndKeepsTheSwitches) {
  ControlProperties p;
  for (const auto& s : StoredPropertiesInExchangeOrder()) {
    if (s.shortField) p.*s.shortField = 7;
    else p.*s.textField = u"x";
  }
  p.Reset();
  for (const auto& s : StoredPropertiesInExchangeOrder()) {
    if (s.shortField) EXPECT_EQ(p.*s.shortField, 7) << ToUtf8(s.name);
    else EXPECT_TRUE((p.*s.textField).empty()) << ToUtf8(s.name);
  }
}

// One row a stored property, in exchange order: what script, persistence,
// the agent's command line and a page without parameters see of it.
TEST(ControlProperties, EachPropertyAgreesAcrossTheTables) {
  struct Row {
    const char16_t* name;
    int32_t dispid;
    const char16_t* persisted;
    const char16_t* option;  // on the session command line; none: the control's own
    int16_t shortDefault;    // -1: a list, empty by default
  } rows[] = {
      {u"AppNotification", 46, u"AppNotification", nullptr, 1},
      {u"WebSandboxMode", 31, u"WebSandboxMode", u"-WebSandboxMode", 1},
      {u"ProtectKeyCheat", 32, u"ProtectKeyCheat", u"-ProtectKeyCheat", 1},
      {u"ProtectKeyList", 29, u"ProtectKeyList", u"-ProtectKeyList", -1},
      {u"ProtectMouseCheat", 33, u"ProtectMouseCheat", u"-ProtectMouseCheat", 1},
      {u"ProtectAppCheat", 34, u"ProtectAppCheat", u"-ProtectAppCheat", 1},
      {u"ProtectAppExceptionList", 35, u"ProtectAppExceptionList", u"-ProtectAppExceptionList", -1},
      {u"ProtectAppBlackList", 47, u"m_ProtectAppBlackList", u"-ProtectAppBlackList", -1},
      {u"KeepAliveMillisec", 36, u"KeepAliveMillisec", u"-KeepAliveMillisec", 1000},
      {u"ProtectExplorerCheat", 37, u"ProtectExplorerCheat", u"-ProtectExplorerCheat", 1},
      {u"ProtectExplorerExceptionList", 38, u"ProtectExplorerExceptionList", u"-ProtectExplorerExceptionList", -1},
      {u"ProtectIEToolbarCheat", 48, u"ProtectIEToolbarCheat", u"-ProtectIEToolbarCheat", 1},
      {u"DebugLog", 30, u"DebugLog", u"-DebugLog", 0},
      {u"DebugSandbox", 39, u"DebugSandbox", u"-DebugSandbox", 0},
  };
  const auto& stored = StoredPropertiesInExchangeOrder();
  ASSERT_EQ(stored.size(), std::size(rows));
  const ControlProperties page;
  const TraySettings agent;
  for (size_t i = 0; i < stored.size(); ++i) {
    const Row& row = rows[i];
    const StoredProperty& p = stored[i];
    SCOPED_TRACE(ToUtf8(row.name));
    EXPECT_EQ(std::u16string(p.name), row.name);
    EXPECT_EQ(p.dispid, row.dispid);
    EXPECT_EQ(std::u16string(p.persistedName), row.persisted);
    // The type library's pair, under its own name.
    const std::string id = R"(\[id\()" + std::to_string(row.dispid) + R"(\), )";
    const std::string type = row.shortDefault < 0 ? "BSTR" : "short";
    const std::string tlName = ToUtf8(p.typeLibName);
    EXPECT_TRUE(TypeLibraryHas(id + R"(propget[^\]]*\] )" + type + " " + tlName + R"(\(\);)"));
    EXPECT_TRUE(TypeLibraryHas(id + R"(propput[^\]]*\] void )" + tlName + R"(\(\[in\] )" + type + R"( value\);)"));
    ASSERT_NE(p.shortField == nullptr, p.textField == nullptr);
    EXPECT_EQ(p.type(), row.shortDefault < 0 ? ValueType::String : ValueType::Short);
    // A read/write property of the dispatch table, of the same name and type.
    const DispatchMember* m = FindDispatchMember(row.dispid);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(std::u16string(m->name), row.name);
    EXPECT_EQ(m->kind, MemberKind::Property);
    EXPECT_EQ(m->result, p.type());
    // The default of a page without parameters.
    if (p.shortField) EXPECT_EQ(page.*p.shortField, row.shortDefault);
    else EXPECT_TRUE((page.*p.textField).empty());
    // The option that carries it to the agent, whose own default is the same.
    const OptionSpec* option = nullptr;
    for (const auto& o : OptionTable()) {
      const int16_t ControlProperties::*shortField = o.sessionInteger;
      const std::u16string ControlProperties::*textField = o.sessionText;
      if ((p.shortField && shortField == p.shortField) || (p.textField && textField == p.textField)) option = &o;
    }
    if (row.option == nullptr) {
      EXPECT_EQ(option, nullptr);
      continue;
    }
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(std::u16string(option->name), row.option);
    if (option->integer) EXPECT_EQ(agent.*option->integer, row.shortDefault);
    if (option->text) EXPECT_TRUE((agent.*option->text).empty());
  }
}

TEST(DispatchTable, SlotOrderDispidsAndKinds) {
  const auto& t = DispatchTable();
  ASSERT_EQ(t.size(), 29u);
  const int32_t expected[] = {1, -552, 8, 9, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39,
                              40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53};
  for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(t[i].dispid, expected[i]) << i;
  // Every method stands in the type library with its DISPID, result and name.
  for (const auto& m : t) {
    if (m.kind != MemberKind::Method) continue;
    const char* result = m.result == ValueType::None ? "void" : m.result == ValueType::Short ? "short" : "BSTR";
    EXPECT_TRUE(TypeLibraryHas(R"(\[id\()" + std::to_string(m.dispid) + R"(\)[^\]]*\] )" + result + " " +
                               ToUtf8(m.name) + R"(\()"))
        << ToUtf8(m.name);
  }
  EXPECT_EQ(FindDispatchMember(43)->params.size(), 2u);
  EXPECT_EQ(FindDispatchMember(44)->result, ValueType::String);
  EXPECT_EQ(FindDispatchMember(kDispidAboutBox)->result, ValueType::None);
}

TEST(DispatchTable, UnusedDispidsAreUnknown) {
  for (int32_t id : {0, 2, 3, 7, 10, 20, 28, 54, -1, -517}) EXPECT_EQ(FindDispatchMember(id), nullptr) << id;
}

TEST(DispatchTable, NameLookupIgnoresCaseAndKnowsOnlyTheDispatchNames) {
  struct Case {
    const char16_t* name;
    std::optional<int32_t> id;
  } cases[] = {
      {u"KeepAliveMillisec", 36}, {u"keepalivemillisec", 36}, {u"KEEPALIVEMILLISEC", 36},
      {u"KeepAliveTime", std::nullopt}, {u"ProtectWebCheat", std::nullopt},
      {u"ProtectWebExceptionList", std::nullopt}, {u"ProtectExplorerCheat", 37},
      {u"ProtectExplorerExceptionList", 38}, {u"ProtectAppBlackList", 47},
      {u"m_ProtectAppBlackList", std::nullopt}, {u"aboutbox", -552}, {u"text", 1},
      {u"StartZaduzeApp", 40}, {u"TrustzoneQueryDomain", 53}, {u"", std::nullopt},
      {u"KeepAliveMillise", std::nullopt}, {u"KeepAliveMillisecX", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FindDispatchId(c.name), c.id) << ToUtf8(c.name);
}

TEST(PersistedState, StreamRoundTripKeepsEveryValue) {
  PersistedState s;
  s.extentX = 2646;
  s.extentY = -1;
  s.text = u"Zaduze";
  s.props.protectKeyList = u"ALT+TAB,\"quoted\\\",\uac00";
  s.props.keepAliveMillisec = -32768;
  s.props.debugSandbox = 32767;
  s.props.protectAppBlackList = std::u16string(u"a\0b", 3);
  s.props.protectIEToolbarCheat = 0;
  const auto bytes = SerializeState(s);
  EXPECT_EQ(bytes.size(), SerializedSize(s));
  PersistedState back;
  ASSERT_TRUE(DeserializeState(bytes.data(), bytes.size(), back));
  EXPECT_TRUE(back == s);
}

TEST(PersistedState, DamagedStreamsLeaveTheStateAlone) {
  PersistedState s;
  s.props.protectKeyList = u"CTRL";
  const auto bytes = SerializeState(s);
  PersistedState target;
  target.text = u"kept";
  // Every truncation fails.
  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(DeserializeState(bytes.data(), n, target)) << n;
    EXPECT_EQ(target.text, u"kept");
  }
  // Another major version fails; a later minor version loads.
  auto other = bytes;
  other[2] = 2;
  EXPECT_FALSE(DeserializeState(other.data(), other.size(), target));
  auto minor = bytes;
  minor[0] = 5;
  EXPECT_TRUE(DeserializeState(minor.data(), minor.size(), target));
  // A text length beyond the data fails rather than reading past the end.
  auto huge = bytes;
  huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
  EXPECT_FALSE(DeserializeState(huge.data(), huge.size(), target));
}

TEST(SessionCommand, PropertiesFillTheSessionLineInOrder) {
  ControlProperties p;
  p.webSandboxMode = 0;
  p.protectKeyList = u"ALT+TAB,CTRL";
  p.protectAppExceptionList = std::u16string(u"calc.exe\0-RegistrySetLoose", 26);  // cut at the NUL
  p.protectAppBlackList = u"say \"hi\"\\";
  p.keepAliveMillisec = -5;
  p.protectExplorerExceptionList = u"http://exam/";
  p.protectIEToolbarCheat = 0;
  p.debugLog = 1;
  p.debugSandbox = 1;
  p.appNotification = 0;
  const std::u16string line = BuildSessionCommandLine(SessionCommandOf(p));
  EXPECT_EQ(ToUtf8(line),
            "-WebSandboxMode 0 -ProtectKeyCheat 1 -ProtectKeyList \"ALT+TAB,CTRL\" -ProtectMouseCheat 1 "
            "-ProtectAppCheat 1 -ProtectAppExceptionList \"calc.exe\" -ProtectAppBlackList \"say \\\"hi\\\"\\\\\" "
            "-KeepAliveMillisec -5 -ProtectExplorerCheat 1 -ProtectExplorerExceptionList \"http://exam/\" "
            "-ProtectIEToolbarCheat 0 -DebugLog 1 -DebugSandbox 1");
  // The agent reads back exactly what the page set.
  TraySettings s;
  ScanArguments(SplitCommandLine(u"ZedudeVeri.exe " + line), s);
  EXPECT_EQ(s.m_strProtectAppBlackList, p.protectAppBlackList);
  EXPECT_EQ(s.m_strProtectKeyList, p.protectKeyList);
  EXPECT_EQ(s.m_nProtectIEToolbarCheat, 0);
  EXPECT_EQ(s.m_nDebugSandbox, 1);
}

}  // namespace
}  // namespace zv
