#include <gtest/gtest.h>

#include "agent/core/command_line.h"
#include "agent/core/options.h"
#include "common/text/text_util.h"

namespace zv {
namespace {

TEST(ScanArguments, DefaultsWithoutArguments) {
  const TraySettings s = ScanCommandLine(u"");
  EXPECT_EQ(s.m_nKeepAliveMillisec, 1000);
  EXPECT_EQ(s.m_nProtectKeyCheat, 1);
  EXPECT_EQ(s.m_nProtectMouseCheat, 1);
  EXPECT_EQ(s.m_nProtectAppCheat, 1);
  EXPECT_EQ(s.m_nProtectExplorerCheat, 1);
  EXPECT_EQ(s.m_nDebugLog, 0);
  EXPECT_EQ(s.m_nDebugSandbox, 0);
  EXPECT_EQ(s.m_nQueryCheatApp, 0);
  EXPECT_EQ(s.m_nRegistrySetLoose, 0);
  EXPECT_TRUE(s.m_strProtectKeyList.empty());
  EXPECT_TRUE(s.m_strRegistryRestore.empty());
}

TEST(ScanArguments, EveryOptionNameReachesItsField) {
  size_t read = 0;
  for (const auto& option : OptionTable()) {
    TraySettings s;
    ScanArguments({option.name, u"42"}, s);
    TraySettings expected;  // -WebSandboxMode: consumed, nothing read
    if (option.integer) expected.*option.integer = 42;
    if (option.text) expected.*option.text = u"42";
    EXPECT_TRUE(s == expected) << ToUtf8(option.name);
    EXPECT_FALSE(option.integer && option.text) << ToUtf8(option.name);
    read += option.integer || option.text;
  }
  EXPECT_EQ(read, 22u);
  EXPECT_EQ(OptionTable().size(), 23u);
}

TEST(ScanArguments, NamesWithoutValues) {
  // The last argument has no value.
  EXPECT_EQ(ScanCommandLine(u"-ProtectKeyCheat 0 -DebugLog").m_nDebugLog, 0);
  // A name followed by a name is skipped; the second pair still counts.
  const TraySettings s = ScanCommandLine(u"-DebugLog -ProtectKeyCheat 0");
  EXPECT_EQ(s.m_nDebugLog, 0);
  EXPECT_EQ(s.m_nProtectKeyCheat, 0);
  // A value can never begin with "-": the default stays and -5 is a name.
  const TraySettings k = ScanCommandLine(u"-KeepAliveMillisec -5 -DebugLog 1");
  EXPECT_EQ(k.m_nKeepAliveMillisec, 1000);
  EXPECT_EQ(k.m_nDebugLog, 1);
}

TEST(ScanArguments, NamesIgnoreCaseButNotExtraHyphens) {
  EXPECT_EQ(ScanCommandLine(u"-debuglog 1").m_nDebugLog, 1);
  EXPECT_EQ(ScanCommandLine(u"-DEBUGLOG 1").m_nDebugLog, 1);
  // --DebugLog matches nothing, and its value is consumed with it.
  const TraySettings s = ScanCommandLine(u"--DebugLog 1 -ProtectKeyCheat 0");
  EXPECT_EQ(s.m_nDebugLog, 0);
  EXPECT_EQ(s.m_nProtectKeyCheat, 0);
  // Folding covers a-z only: a non-ASCII lookalike does not match.
  EXPECT_EQ(ScanCommandLine(u"-D\u0435bugLog 1").m_nDebugLog, 0);
}

TEST(ScanArguments, IntegerValuesReadLikeWtoi) {
  EXPECT_EQ(ScanCommandLine(u"-QueryCheatApp yes").m_nQueryCheatApp, 0);
  EXPECT_EQ(ScanCommandLine(u"-KeepAliveMillisec 1500ms").m_nKeepAliveMillisec, 1500);
  EXPECT_EQ(ScanCommandLine(u"-KeepAliveMillisec \" +250\"").m_nKeepAliveMillisec, 250);
  EXPECT_EQ(ScanCommandLine(u"-KeepAliveMillisec 99999999999").m_nKeepAliveMillisec, 2147483647);
  EXPECT_EQ(ScanCommandLine(u"-KeepAliveMillisec \"\"").m_nKeepAliveMillisec, 0);
}

TEST(ScanArguments, LaterOccurrenceWinsAndTextsStayVerbatim) {
  EXPECT_EQ(ScanCommandLine(u"-ProtectKeyCheat 0 -ProtectKeyCheat 1").m_nProtectKeyCheat, 1);
  EXPECT_EQ(ScanCommandLine(u"-ProtectKeyList \" alt+tab, Ctrl \"").m_strProtectKeyList, u" alt+tab, Ctrl ");
  const TraySettings empty = ScanCommandLine(u"-ProtectKeyList \"\" -DebugLog 1");
  EXPECT_EQ(empty.m_strProtectKeyList, u"");
  EXPECT_EQ(empty.m_nDebugLog, 1);
}

TEST(ScanArguments, ProgramTokenAndStrayArgumentsAreSkipped) {
  const TraySettings s = ScanCommandLine(u"C:\\zaduze\\ZedudeVeri.exe stray -DebugLog 1 other");
  EXPECT_EQ(s.m_nDebugLog, 1);
}

TEST(ScanArguments, SessionLineParsesAsWithoutItsWebSandboxModePair) {
  const SessionCommand c{.webSandboxMode = 0, .protectKeyList = u"ALT+TAB,CTRL", .protectMouseCheat = 0,
                         .protectAppExceptionList = u"iexplore.exe", .keepAliveMillisec = 3000,
                         .protectIEToolbarCheat = 0, .debugLog = 1};
  const std::u16string line = BuildSessionCommandLine(c);
  const std::u16string withoutPair = line.substr(line.find(u" -ProtectKeyCheat") + 1);
  EXPECT_TRUE(ScanCommandLine(line) == ScanCommandLine(withoutPair));
  EXPECT_EQ(ScanCommandLine(line).m_nKeepAliveMillisec, 3000);
  EXPECT_EQ(ScanCommandLine(line).m_nProtectMouseCheat, 0);
}

TEST(SplitList, TokensAreNeverTrimmedOrDropped) {
  using V = std::vector<std::u16string>;
  EXPECT_EQ(SplitList(u""), (V{u""}));
  EXPECT_EQ(SplitList(u"A"), (V{u"A"}));
  EXPECT_EQ(SplitList(u"A,,B"), (V{u"A", u"", u"B"}));
  EXPECT_EQ(SplitList(u"A,"), (V{u"A", u""}));
  EXPECT_EQ(SplitList(u",A"), (V{u"", u"A"}));
  EXPECT_EQ(SplitList(u" A , B"), (V{u" A ", u" B"}));
  EXPECT_EQ(SplitList(u",,"), (V{u"", u"", u""}));
}

class FilterTables : public ::testing::Test {
 protected:
  void Build(const std::u16string& keys, const std::u16string& apps = u"", const std::u16string& black = u"",
             const std::u16string& explorer = u"") {
    settings_.m_strProtectKeyList = keys;
    settings_.m_strProtectAppExceptionList = apps;
    settings_.m_strProtectAppBlackList = black;
    settings_.m_strProtectExplorerExceptionList = explorer;
    BuildFilterTables(settings_);
  }
  TraySettings settings_;
};

using Codes = std::set<int32_t>;
using Texts = std::set<std::u16string>;

TEST_F(FilterTables, KeyNamesFillTheirSets) {
  struct Case {
    const char16_t* list;
    Codes alt;
    Codes plain;
  } cases[] = {
      {u"alt+tab,ctrl", {0x09}, {0xA2, 0xA3}},
      {u"ALT+TAB, CTRL", {0x09}, {}},  // the blank makes " CTRL" unknown
      {u"F4,ALT+F4", {0x73}, {0x73}},
      {u"ALT+F4,ALT+D,ALT+ESC,ALT+ENTER,ALT+HOME,ALT+SPACE", {0x73, 0x44, 0x1B, 0x0D, 0x24, 0x20}, {}},
      {u"WIN,PRINT", {}, {0x5B, 0x5C, 0x2C}},
      {u"F1~F12,F5", {}, {0x70, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x7B}},
      {u"f1,F12,F13,F0", {}, {0x70, 0x7B}},
      {u"", {}, {}},
      {u"ALT,SHIFT,ALT+F5,APPS,,CTRL+C", {}, {}},
  };
  for (const auto& c : cases) {
    Build(c.list);
    EXPECT_EQ(g_setAltKeys, c.alt) << ToUtf8(c.list);
    EXPECT_EQ(g_setKeys, c.plain) << ToUtf8(c.list);
  }
}

TEST_F(FilterTables, NeverHoldsControlAppsOrAltCodes) {
  std::u16string all;
  for (const auto& entry : KeyNameTable()) all += std::u16string(entry.name) + u",";
  Build(all);
  for (int32_t forbidden : {0x11, 0x5D, 0x12, 0xA4, 0xA5}) {
    EXPECT_EQ(g_setKeys.count(forbidden), 0u) << forbidden;
    EXPECT_EQ(g_setAltKeys.count(forbidden), 0u) << forbidden;
  }
}

TEST_F(FilterTables, TextListsAreUpperCasedInPlaceWithEmptyTokensKept) {
  Build(u"alt+tab", u"calc.exe,,notepad.exe", u"Cheat.EXE", u"");
  EXPECT_EQ(g_setAppExceptions, (Texts{u"CALC.EXE", u"", u"NOTEPAD.EXE"}));
  EXPECT_EQ(g_setAppBlackList, (Texts{u"CHEAT.EXE"}));
  EXPECT_EQ(g_setExplorerExceptions, (Texts{u""}));
  EXPECT_EQ(settings_.m_strProtectKeyList, u"ALT+TAB");
  EXPECT_EQ(settings_.m_strProtectAppExceptionList, u"CALC.EXE,,NOTEPAD.EXE");
  EXPECT_EQ(settings_.m_strProtectAppBlackList, u"CHEAT.EXE");
  // Only a-z are folded.
  Build(u"", u"\u00e9t\u00e9.exe");
  EXPECT_EQ(g_setAppExceptions, (Texts{u"\u00e9T\u00e9.EXE"}));
}

TEST(WToI, Forms) {
  struct Case {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"0", 0},          {u"42", 42},     {u"-42", -42},      {u"+7", 7},
      {u"  \t12", 12},    {u"12abc", 12},  {u"abc", 0},        {u"", 0},
      {u"-", 0},          {u"- 5", 0},     {u"2147483647", 2147483647}, {u"2147483648", 2147483647},
      {u"-2147483648", -2147483647 - 1},   {u"-99999999999999999999", -2147483647 - 1},
      {u"00000000000000000001", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(WToI(c.text), c.value) << ToUtf8(c.text);
}

}  // namespace
}  // namespace zv
