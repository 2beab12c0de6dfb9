// The portable splitter against the system's CommandLineToArgvW.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>

#include "agent/core/command_line.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace zv {
namespace {

std::vector<std::u16string> SystemSplit(const std::u16string& line) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(W(line), &count);
  const UniqueLocalMemory owner(argv);
  std::vector<std::u16string> args;
  if (argv == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(U16(argv[i]));
  return args;
}

TEST(CommandLineToArgvW, PortableSplitterAgreesOnTrickyLines) {
  const char16_t* lines[] = {
      u"-a 1",
      u"-a\t\t1\t",
      u"-ProtectKeyList \"\" -DebugLog 1",
      u"p \"a b\" c",
      u"p \"\"",
      u"p \"\" \"\" x",
      u"p a\"b c\"d",
      u"p a\\b a\\\\b a\\\\\\b",
      u"p a\\\"b",
      u"p a\\\\\"b c\"",
      u"p a\\\\\\\"b",
      u"p a\\\\\\\\\"b\"",
      u"p \"a\\\\\" b",
      u"p \"a\\\" b\"",
      u"p \"\"\"\"",
      u"p \"\"\"\"\"\"",
      u"p \"a\"\"b\"",
      u"p \"\"\"a b\"",
      u"p \"a\"\"\"b c\"",
      u"\"C:\\Program Files\\z.exe\" -x 1",
      u"\"C:\\Program Files\\z.exe\"-x 1",
      u"C:\\dir\\\"z.exe -x",
      u"C:\\a\\\\ b\\\\",
      u"\"prog\"rest x",
      u"p \"unterminated x",
      u"p \"trailing\\",
      u"p trailing\\",
      u"-RegistrySave \"name with \\\"quotes\\\"\" -DebugLog 1",
      u"-a \u00e9\uac00 \"\uac00 \u00e9\"",
      u"   leading blanks",
      u"\t-a 1",
  };
  for (const char16_t* line : lines) EXPECT_EQ(SplitCommandLine(line), SystemSplit(line)) << ToUtf8(line);
}

TEST(CommandLineToArgvW, PortableSplitterAgreesOnRandomLines) {
  static const char16_t alphabet[] = u"\"\\ \t-ab";
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> length(1, 16);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(alphabet)) - 2);
  for (int round = 0; round < 5000; ++round) {
    std::u16string line = u"p ";
    for (int n = length(rng); n > 0; --n) line += alphabet[pick(rng)];
    ASSERT_EQ(SplitCommandLine(line), SystemSplit(line)) << ToUtf8(line);
  }
}

TEST(CommandLineToArgvW, BuiltSessionLineSplitsBackIntoItsValues) {
  SessionCommand c;
  c.protectKeyList = u"a\"b\\";
  c.protectAppExceptionList = u"C:\\dir\\";
  c.protectAppBlackList = u"\" -RegistryRestore \"x";
  const std::u16string line = BuildSessionCommandLine(c);
  const auto args = SystemSplit(line);
  ASSERT_EQ(args.size(), 26u);
  EXPECT_EQ(args[5], c.protectKeyList);
  EXPECT_EQ(args[11], c.protectAppExceptionList);
  EXPECT_EQ(args[13], c.protectAppBlackList);
}

}  // namespace
}  // namespace zv
