#include <gtest/gtest.h>

#include <random>

#include "agent/core/command_line.h"
#include "agent/core/options.h"
#include "common/text/text_util.h"

namespace zv {
namespace {

using Args = std::vector<std::u16string>;

TEST(SplitCommandLine, WindowsRules) {
  struct Case {
    const char16_t* line;
    Args args;
  } cases[] = {
      {u"", {u""}},
      {u"-a 1", {u"-a", u"1"}},
      {u"-a\t \t1  ", {u"-a", u"1"}},
      {u"p \"a b\" c", {u"p", u"a b", u"c"}},
      {u"p \"\"", {u"p", u""}},
      {u"p \"\" x", {u"p", u"", u"x"}},
      {u"p a\"b c\"d", {u"p", u"ab cd"}},
      {u"p a\\b", {u"p", u"a\\b"}},
      {u"p a\\\\b", {u"p", u"a\\\\b"}},
      {u"p a\\\"b", {u"p", u"a\"b"}},
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
      {u"p \"a\\\\\" b", {u"p", u"a\\", u"b"}},
      {u"p \"a\\\" b\"", {u"p", u"a\" b"}},
      {u"p \"\"\"\"", {u"p", u"\""}},
      {u"p \"a\"\"b\"", {u"p", u"a\"b"}},
      {u"p \"\"\"a b\"", {u"p", u"\"a", u"b"}},
      {u"\"C:\\Program Files\\z.exe\" -x 1", {u"C:\\Program Files\\z.exe", u"-x", u"1"}},
      {u"C:\\dir\\\"z.exe -x", {u"C:\\dir\\\"z.exe", u"-x"}},
      {u"\"prog\"rest x", {u"prog", u"rest", u"x"}},
      {u"p \"unterminated x", {u"p", u"unterminated x"}},
      {u"   leading", {u"", u"leading"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << ToUtf8(c.line);
}

TEST(QuoteArgument, PlainTextsAreOnlyWrapped) {
  EXPECT_EQ(QuoteArgument(u""), u"\"\"");
  EXPECT_EQ(QuoteArgument(u"ALT+TAB,CTRL"), u"\"ALT+TAB,CTRL\"");
  EXPECT_EQ(QuoteArgument(u"C:\\a b\\c.exe"), u"\"C:\\a b\\c.exe\"");
}

TEST(QuoteArgument, QuotesAndTrailingBackslashesAreEscaped) {
  EXPECT_EQ(QuoteArgument(u"a\"b"), u"\"a\\\"b\"");
  EXPECT_EQ(QuoteArgument(u"a\\\"b"), u"\"a\\\\\\\"b\"");
  EXPECT_EQ(QuoteArgument(u"dir\\"), u"\"dir\\\\\"");
  EXPECT_EQ(QuoteArgument(u"\" -RegistryRestore \"x"), u"\"\\\" -RegistryRestore \\\"x\"");
}

TEST(CommandLines, ExactTextsForPlainValues) {
  const SessionCommand c{.webSandboxMode = 1,
                         .protectKeyCheat = 1,
                         .protectKeyList = u"ALT+TAB,CTRL",
                         .protectMouseCheat = 1,
                         .protectAppCheat = 1,
                         .protectAppExceptionList = u"iexplore.exe,notepad.exe",
                         .protectAppBlackList = u"cheat.exe",
                         .keepAliveMillisec = 1000,
                         .protectExplorerCheat = 1,
                         .protectExplorerExceptionList = u"http://exam.example/",
                         .protectIEToolbarCheat = 1,
                         .debugLog = 0,
                         .debugSandbox = 1};
  EXPECT_EQ(BuildSessionCommandLine(c),
            u"-WebSandboxMode 1 -ProtectKeyCheat 1 -ProtectKeyList \"ALT+TAB,CTRL\" -ProtectMouseCheat 1 "
            u"-ProtectAppCheat 1 -ProtectAppExceptionList \"iexplore.exe,notepad.exe\" -ProtectAppBlackList "
            u"\"cheat.exe\" -KeepAliveMillisec 1000 -ProtectExplorerCheat 1 -ProtectExplorerExceptionList "
            u"\"http://exam.example/\" -ProtectIEToolbarCheat 1 -DebugLog 0 -DebugSandbox 1");
  EXPECT_EQ(BuildRegistrySaveCommandLine(u"20261207180102", 1), u"-RegistrySave \"20261207180102\" -DebugLog 1");
  EXPECT_EQ(BuildLooseRegistrySaveCommandLine(u"20261207180102", 0),
            u"-RegistrySave \"20261207180102_loose\" -DebugLog 0");
  EXPECT_EQ(BuildRegistrySetLooseCommandLine(1), u"-RegistrySetLoose 1 -DebugLog 1");
  EXPECT_EQ(BuildRegistryRecoverCommandLine(1, 0), u"-RegistryRecover 1 -DebugSandbox 1 -DebugLog 0");
  EXPECT_EQ(BuildRegistryRestoreCommandLine(u"n", 1, 0), u"-RegistryRestore \"n\" -DebugSandbox 1 -DebugLog 0");
  EXPECT_EQ(BuildQueryCheatAppCommandLine(u"a", u"b", u"c"),
            u"-ProtectAppExceptionList \"a\" -ProtectAppBlackList \"b\" -ProtectExplorerExceptionList \"c\" "
            u"-DebugLog 1 -QueryCheatApp 1");
  EXPECT_EQ(BuildTrustzoneAddIPCommandLine(u"10.0.0.1,10.0.0.2", 0), u"-TrustzoneAddIP \"10.0.0.1,10.0.0.2\" -DebugLog 0");
  EXPECT_EQ(BuildTrustzoneAddDomainCommandLine(u"example.org", 1), u"-TrustzoneAddDomain \"example.org\" -DebugLog 1");
  EXPECT_EQ(BuildTrustzoneQueryIPCommandLine(u"10.0.0.1", 0), u"-TrustzoneQueryIP \"10.0.0.1\" -DebugLog 0");
  EXPECT_EQ(BuildTrustzoneQueryDomainCommandLine(u"Sample.NET", 0), u"-TrustzoneQueryDomain \"Sample.NET\" -DebugLog 0");
}

// A page outside an Internet Explorer frame: today's session and count lines
// with the control's window appended, which the agent reads back whole.
TEST(CommandLines, ExamPageWindowIsAppendedOnlyWhenGiven) {
  const SessionCommand c;
  const std::u16string session = BuildSessionCommandLine(c);
  const std::u16string count = BuildQueryCheatAppCommandLine(u"a", u"b", u"c");
  EXPECT_EQ(WithExamPageWindow(session, 0), session);
  EXPECT_EQ(WithExamPageWindow(count, 0), count);
  EXPECT_EQ(WithExamPageWindow(count, 131234),
            u"-ProtectAppExceptionList \"a\" -ProtectAppBlackList \"b\" -ProtectExplorerExceptionList \"c\" "
            u"-DebugLog 1 -QueryCheatApp 1 -ExamPageWindow 131234");
  // The largest 32-bit value is not read as a name (no sign) nor saturated.
  for (const uint32_t value : {1u, 131234u, 0x7FFFFFFFu, 0x80000001u, 0xFFFFFFFFu}) {
    const TraySettings s = ScanCommandLine(WithExamPageWindow(session, value));
    EXPECT_EQ(ParseWindowValue(s.m_strExamPageWindow), value);
    TraySettings without = ScanCommandLine(session);
    without.m_strExamPageWindow = s.m_strExamPageWindow;
    EXPECT_TRUE(s == without) << value;  // nothing else changes
  }
}

TEST(ExamPageWindowOption, OnlyOutsideAnInternetExplorerFrame) {
  const struct {
    uint32_t own, root;
    const char16_t* rootClass;
    uint32_t expected;
  } cases[] = {
      {0x10, 0x20, u"Chrome_WidgetWin_1", 0x10},  // Edge's frame, another process
      {0x10, 0x20, u"MozillaWindowClass", 0x10},  // whatever other browser
      {0x10, 0x20, u"IEFrame", 0},                // spared by its class already: today's lines
      {0x10, 0x20, u"ieframe", 0x10},             // classes compare exactly
      {0x10, 0x10, u"ZaduzeCtrl", 0},             // the control is its own top-level window
      {0, 0x20, u"Chrome_WidgetWin_1", 0},        // no control window
      {0x10, 0, u"", 0},                          // no top-level window found
      {0x80000010u, 0x80000020u, u"Chrome_WidgetWin_1", 0x80000010u},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ExamPageWindowOption(c.own, c.root, c.rootClass), c.expected) << ToUtf8(c.rootClass) << " " << c.own;
}

TEST(ParseWindowValue, UnsignedDecimalsOnly) {
  const struct {
    const char16_t* text;
    uint32_t value;
  } cases[] = {
      {u"131234", 131234},  {u"0", 0},           {u"4294967295", 0xFFFFFFFFu}, {u"0000000042", 42},
      {u"4294967296", 0},   {u"99999999999", 0}, {u"", 0},                     {u"+5", 0},
      {u" 5", 0},           {u"5 ", 0},          {u"0x10", 0},                 {u"12a", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseWindowValue(c.text), c.value) << ToUtf8(c.text);
}

TEST(CommandLines, InjectionAttemptStaysInsideItsValue) {
  SessionCommand c;
  c.protectKeyList = u"\" -RegistryRestore \"x";
  c.protectAppExceptionList = u"C:\\dir\\";
  c.keepAliveMillisec = 1000;
  const TraySettings s = ScanCommandLine(BuildSessionCommandLine(c));
  EXPECT_EQ(s.m_strProtectKeyList, c.protectKeyList);
  EXPECT_EQ(s.m_strProtectAppExceptionList, c.protectAppExceptionList);
  EXPECT_TRUE(s.m_strRegistryRestore.empty());
  EXPECT_EQ(s.m_nKeepAliveMillisec, 1000);
}

// Random texts drawn from the characters that matter to the splitting rules.
std::u16string RandomText(std::mt19937& rng) {
  static const char16_t alphabet[] = u"\"\\ \t-a,Z.\u00e9\uac00";
  std::uniform_int_distribution<int> length(0, 12);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(alphabet)) - 2);
  std::u16string text;
  for (int n = length(rng); n > 0; --n) text += alphabet[pick(rng)];
  return text;
}

TEST(CommandLines, EveryTextRoundTripsThroughBuildSplitParse) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 20000; ++round) {
    SessionCommand c;
    c.protectKeyList = RandomText(rng);
    c.protectAppExceptionList = RandomText(rng);
    c.protectAppBlackList = RandomText(rng);
    c.protectExplorerExceptionList = RandomText(rng);
    c.keepAliveMillisec = 777;
    c.debugSandbox = 5;
    const std::u16string line = BuildSessionCommandLine(c);
    const TraySettings s = ScanCommandLine(line);
    // A value that begins with "-" is read as a name by the agent and lost,
    // but it can never set anything else.
    auto expect = [](const std::u16string& value) { return StartsWith(value, u"-") ? std::u16string() : value; };
    ASSERT_EQ(s.m_strProtectKeyList, expect(c.protectKeyList)) << ToUtf8(line);
    ASSERT_EQ(s.m_strProtectAppExceptionList, expect(c.protectAppExceptionList)) << ToUtf8(line);
    ASSERT_EQ(s.m_strProtectAppBlackList, expect(c.protectAppBlackList)) << ToUtf8(line);
    ASSERT_EQ(s.m_strProtectExplorerExceptionList, expect(c.protectExplorerExceptionList)) << ToUtf8(line);
    ASSERT_EQ(s.m_nKeepAliveMillisec, 777) << ToUtf8(line);
    ASSERT_EQ(s.m_nDebugSandbox, 5) << ToUtf8(line);
    ASSERT_TRUE(s.m_strRegistryRestore.empty() && s.m_strRegistrySave.empty() && s.m_nQueryCheatApp == 0 &&
                s.m_strTrustzoneAddIP.empty())
        << ToUtf8(line);

    const std::u16string name = RandomText(rng);
    const TraySettings r = ScanCommandLine(BuildRegistryRestoreCommandLine(name, 1, 1));
    ASSERT_EQ(r.m_strRegistryRestore, expect(name));
    ASSERT_EQ(r.m_nDebugLog, 1);
  }
}

}  // namespace
}  // namespace zv
