#include <gtest/gtest.h>

#include "common/text/text_util.h"
#include "agent/core/command_line.h"
#include "control/agentlink/services.h"

namespace zv {
namespace {

std::string Bytes(std::u16string_view text) { return EncodeTextForFile(text); }

TEST(TextFile, EncodingIsUtf16LeUpToTheFirstNul) {
  EXPECT_EQ(Bytes(u"A\uac00"), std::string("A\0\x00\xac", 4));
  EXPECT_EQ(Bytes(std::u16string(u"ab\0cd", 5)), std::string("a\0b\0", 4));
  EXPECT_EQ(Bytes(u""), "");
}

TEST(TextFile, LineRulesOfLoading) {
  struct Case {
    std::u16string file;
    std::u16string loaded;
  } cases[] = {
      {u"x\ny", u"x\ny"},
      {u"x\r\ny\r\n", u"x\ny"},
      {u"\nx", u"x"},
      {u"\n\n\nx\n\ny", u"x\n\ny"},
      {u"x\n", u"x"},
      {u"x\n\n", u"x\n"},
      {u"x\ry", u"x"},          // the CR takes the y with it
      {u"x\r\r\ny", u"x\n\ny"},  // CR + CR, then LF ends an empty line
      {u"x\r", u"x"},
      {u"", u""},
      {u"\r\n", u""},
      {u"\ufeffbom\nx", u"\ufeffbom\nx"},  // a byte-order mark is text
      {u"\uac00\ub098", u"\uac00\ub098"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeTextFromFile(Bytes(c.file)), c.loaded) << ToUtf8(c.file);
}

TEST(TextFile, SingleTrailingByteIsIgnored) {
  EXPECT_EQ(DecodeTextFromFile(std::string("a\0b", 3)), u"a");
  EXPECT_EQ(DecodeTextFromFile(std::string("a", 1)), u"");
}

TEST(TextFile, RoundTripHoldsForLfTextsNotStartingWithAnEmptyLine) {
  for (const std::u16string text : {u"x\ny", u"one\n\nthree", u"\uac00\n\ub098 \t"})
    EXPECT_EQ(DecodeTextFromFile(Bytes(text)), text);
}

TEST(DocPath, PlainNamesAndSubfoldersAreAccepted) {
  for (const char16_t* name : {u"a.txt", u"answers", u"sub\\a.txt", u"sub/a.txt", u"x\\y\\z.dat", u".hidden",
                               u"a..b", u"\uac00\ub098.txt", u"cone.d\\x", u"COM10", u"LPT", u"nul_x"})
    EXPECT_TRUE(IsConfinedDocPath(name)) << ToUtf8(name);
}

TEST(DocPath, EscapesAreRefused) {
  for (const char16_t* name :
       {u"", u"..", u"..\\x", u"../x", u"a\\..\\..\\x", u"a/../../x", u"a\\..", u"...", u"...\\x", u". .\\x",
        u"\\x", u"/x", u"\\\\server\\share\\x", u"\\\\?\\C:\\x", u"C:x", u"C:\\x", u"c:/x", u"a.txt:stream",
        u"a.txt::$DATA", u"CON", u"con.txt", u"NUL", u"nul .txt", u"sub\\aux", u"COM1", u"lpt9.log", u"CONIN$",
        u"a\\\\b", u"a\\", u"a.", u"a ", u"a*", u"a?", u"a<b", u"a>b", u"a|b", u"a\"b", u"a\tb", u"a\nb"})
    EXPECT_FALSE(IsConfinedDocPath(name)) << ToUtf8(name);
}

TEST(DocPath, FullPathIsLimitedTo259Characters) {
  const std::u16string docs = u"C:\\users\\me\\Documents";  // 21 units; "\zaduze\doc\" adds 12
  EXPECT_EQ(DocFilePath(docs, u"a.txt"), u"C:\\users\\me\\Documents\\zaduze\\doc\\a.txt");
  EXPECT_EQ(DocFilePath(docs, std::u16string(259 - 33, u'n')).size(), 259u);
  EXPECT_TRUE(DocFilePath(docs, std::u16string(260 - 33, u'n')).empty());
}

TEST(Versions, OsNamesAndFormats) {
  struct Case {
    uint32_t major, minor;
    const char16_t* name;
  } cases[] = {{5, 0, u"Windows 2000"}, {5, 1, u"Windows XP"},   {5, 2, u"Windows Server 2003"},
               {6, 0, u"Windows Vista"}, {6, 1, u"Windows 7"},   {6, 2, u"OS Unknown"},
               {10, 0, u"OS Unknown"},   {4, 0, u"OS Unknown"}, {5, 3, u"OS Unknown"}};
  for (const auto& c : cases) EXPECT_EQ(OsVersionName(c.major, c.minor), c.name);
  EXPECT_EQ(FormatVersion2(u"1.4.4.0", u"Nov 28 2013", u"13:03:34"), u"1.4.4.0 (Nov 28 2013,13:03:34)");
  EXPECT_EQ(VersionStringPath(0x0409, 0x04E4, u"FileVersion"), u"\\StringFileInfo\\040904e4\\FileVersion");
}

TEST(Versions, ExitCodesBecomeSignedShorts) {
  EXPECT_EQ(ExitCodeToShort(0), 0);
  EXPECT_EQ(ExitCodeToShort(3), 3);
  EXPECT_EQ(ExitCodeToShort(0xFFFFFFFF), -1);
  EXPECT_EQ(ExitCodeToShort(0x12345), 0x2345);
  EXPECT_EQ(ExitCodeToShort(0x18000), -32768);
  EXPECT_EQ(ExitCodeToShort(0xC0000005), 5);
}

}  // namespace
}  // namespace zv

namespace zv {
namespace {

// What may go to the agent as a one-shot command: a page's value for the
// trusted-site methods, and the option text actually handed over.
TEST(OneShotCommand, ValuesAndOptionTextsThatLeaveTheAgentWithoutACommandAreRefused) {
  using namespace std::literals;
  struct Case {
    std::u16string_view value;
    bool accepted;
  } cases[] = {
      {u"exam.example"sv, true}, {u"10.0.0.1,10.0.0.2"sv, true}, {u"a-b"sv, true}, {u" -x"sv, true},
      {u""sv, false},           {u"-x"sv, false},               {u"-"sv, false},  {u"a\0b"sv, false},
      {u"\0"sv, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsOneShotValue(c.value), c.accepted) << ToUtf8(c.value);
    // The builder's text carries the command exactly when the value is accepted.
    EXPECT_EQ(CarriesOneShotCommand(BuildTrustzoneAddDomainCommandLine(c.value, 0)), c.accepted) << ToUtf8(c.value);
  }
  EXPECT_TRUE(CarriesOneShotCommand(BuildRegistrySetLooseCommandLine(0)));
  EXPECT_TRUE(CarriesOneShotCommand(BuildQueryCheatAppCommandLine(u"-a", u"-b", u"-c")));
  EXPECT_TRUE(CarriesOneShotCommand(BuildRegistryRestoreCommandLine(u"20261208-101010", 0, 0)));
  EXPECT_TRUE(CarriesOneShotCommand(BuildRegistryRecoverCommandLine(0, 0)));
  EXPECT_FALSE(CarriesOneShotCommand(BuildRegistryRestoreCommandLine(u"", 0, 0)));
  EXPECT_FALSE(CarriesOneShotCommand(BuildRegistrySaveCommandLine(u"-x", 0)));
  EXPECT_EQ(UpToNul(u"calc.exe\0-RegistrySetLoose"sv), u"calc.exe");
}

}  // namespace
}  // namespace zv
