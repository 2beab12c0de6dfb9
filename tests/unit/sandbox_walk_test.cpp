// Saving a registry subtree and replaying it, on the in-memory registry; the
// round trip of random trees through the file format.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "agent/sandbox/snapshot_walk.h"
#include "common/text/text_util.h"
#include "sandbox_memory_registry.h"

namespace zv {
namespace {

using test::MemoryKey;
using test::MemoryRegistry;
using test::AsText;
using test::Bytes;
using test::Units;

constexpr char16_t kTestPath[] = u"HKEY_CURRENT_USER\\Software\\Test";

TEST(SaveSnapshot, DocumentOfATree) {
  MemoryRegistry reg;
  MemoryKey* test = reg.Find(RootKey::CurrentUser, u"Software\\Test", true);
  test->Set(u"zeta", kRegSz, Units(u"z"));
  test->Set(u"Count", kRegDword, {0x43, 0, 0, 0});
  test->Set(u"alpha", kRegExpandSz, Units(u"a&b\"<>'"));
  test->Set(u"", kRegSz, Units(u"def"));  // the default value
  test->Set(u"Bin", kRegBinary, {});
  MemoryKey* a = reg.Find(RootKey::CurrentUser, u"Software\\Test\\A", true);
  a->Set(u"Multi", kRegMultiSz, Units(std::u16string(u"a\0b\0\0", 5)));
  reg.Find(RootKey::CurrentUser, u"Software\\Test\\A\\Empty", true);
  reg.Find(RootKey::CurrentUser, u"Software\\Test\\OnlyKeys\\Leaf", true);
  reg.Find(RootKey::CurrentUser, u"Software\\Other", true)->Set(u"x", kRegSz, Units(u"not saved"));

  const std::string bytes = test::SaveToMemory(reg, kTestPath);
  EXPECT_EQ(AsText(bytes),
            u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            u" <registry>\r\n"
            u"  <k name=\"HKEY_CURRENT_USER\">\r\n"
            u"   <k name=\"Software\">\r\n"
            u"    <k name=\"Test\">\r\n"
            u"     <v name=\"(Default)\" value=\"def\"/>\r\n"
            u"     <v name=\"alpha\" value=\"a&amp;b&quot;&lt;>'\" type=\"REG_EXPAND_SZ\"/>\r\n"
            u"     <v name=\"Bin\" value=\"\" type=\"REG_BINARY\"/>\r\n"
            u"     <v name=\"Count\" value=\"0x00000043 (67)\" type=\"REG_DWORD\"/>\r\n"
            u"     <v name=\"zeta\" value=\"z\"/>\r\n"
            u"     <k name=\"A\">\r\n"
            u"      <v name=\"Multi\" value=\"a\r\nb\" type=\"REG_MULTI_SZ\"/>\r\n"
            u"      <k name=\"Empty\"/>\r\n"
            u"     </k>\r\n"
            u"     <k name=\"OnlyKeys\">\r\n"
            u"      <k name=\"Leaf\"/>\r\n"
            u"     </k>\r\n"
            u"    </k>\r\n"
            u"   </k>\r\n"
            u"  </k>\r\n"
            u" </registry>\r\n");
  EXPECT_EQ(reg.openKeys, 0);
}

TEST(SaveSnapshot, MissingKeyOrUnknownRootGivesAnEmptyRegistry) {
  for (const char16_t* path : {u"HKEY_CURRENT_USER\\Software\\Nope", u"HKCU\\Software", u"Nothing"}) {
    MemoryRegistry reg;
    EXPECT_EQ(AsText(test::SaveToMemory(reg, path)),
              u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n <registry>\r\n </registry>\r\n");
  }
}

TEST(SaveSnapshot, RootKeyAlone) {
  MemoryRegistry reg;
  reg.Find(RootKey::Users, u"", true)->Set(u"v", kRegSz, Units(u"1"));
  EXPECT_EQ(AsText(test::SaveToMemory(reg, u"HKEY_USERS")),
            u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n <registry>\r\n  <k name=\"HKEY_USERS\">\r\n"
            u"   <v name=\"v\" value=\"1\"/>\r\n  </k>\r\n </registry>\r\n");
}

TEST(SaveSnapshot, EscapeOnThePeekStopsTheSave) {
  MemoryRegistry reg;
  for (int i = 0; i < 120; ++i) {
    std::u16string name = u"K";
    for (char c : std::to_string(1000 + i)) name += static_cast<char16_t>(c);
    reg.Find(RootKey::CurrentUser, u"Software\\Test\\" + name, true)->Set(u"n", kRegSz, Units(name));
  }
  g_nSnapshotVisitedKeys = 0;
  reg.escapeAtPeek = 1;  // the second peek: the 51st key visited
  bool whole = true;
  const std::u16string text = AsText(test::SaveToMemory(reg, kTestPath, &whole));
  EXPECT_FALSE(whole);  // a stopped save is no snapshot, though its document is closed
  EXPECT_EQ(reg.peeks, 2);
  EXPECT_EQ(g_nSnapshotVisitedKeys, 51u);
  // Keys 1..49 below Test are complete; the 50th got its start tag only.
  EXPECT_NE(text.find(u"<k name=\"K1048\">"), std::u16string::npos);
  EXPECT_NE(text.find(u"value=\"K1048\""), std::u16string::npos);
  EXPECT_NE(text.find(u"<k name=\"K1049\">"), std::u16string::npos);
  EXPECT_EQ(text.find(u"value=\"K1049\""), std::u16string::npos);
  EXPECT_EQ(text.find(u"K1050"), std::u16string::npos);
  // The three path components and the root still get their end tags.
  const size_t tail = text.find(u"<k name=\"K1049\">");
  size_t ends = 0;
  for (size_t at = text.find(u"</k>", tail); at != std::u16string::npos; at = text.find(u"</k>", at + 1)) ++ends;
  EXPECT_EQ(ends, 3u);
  EXPECT_TRUE(text.ends_with(u"</registry>\r\n"));
  EXPECT_EQ(reg.openKeys, 0);
}

TEST(CollectValues, OrderAndDefault) {
  const auto names = [](const std::vector<SnapshotValue>& records) {
    std::vector<std::u16string> out;
    for (const auto& r : records) out.push_back(r.name + (r.set ? u"" : u"!"));
    return out;
  };
  const std::vector<RawValue> raw = {
      {u"b", kRegSz, Units(u"1")}, {u"A", kRegSz, Units(u"2")}, {u"!x", kRegSz, Units(u"3")},
      {u"a", kRegSz, Units(u"4")}, {u"B2", kRegSz, Units(u"5")},
  };
  EXPECT_EQ(names(CollectValues(raw)),
            (std::vector<std::u16string>{u"(Default)!", u"!x", u"A", u"a", u"b", u"B2"}));
  // A set default value is encoded by its type and placed first.
  auto withDefault = raw;
  withDefault.push_back({u"", kRegDword, {1, 0, 0, 0}});
  const auto records = CollectValues(withDefault);
  EXPECT_EQ(names(records), (std::vector<std::u16string>{u"(Default)", u"!x", u"A", u"a", u"b", u"B2"}));
  EXPECT_EQ(records[0].text, u"0x00000001 (1)");
  EXPECT_EQ(records[0].type, kRegDword);
  // A default value without data counts as not set.
  EXPECT_FALSE(CollectValues({{u"", kRegSz, {}}})[0].set);
}

TEST(RestoreSnapshot, MergesIntoTheRegistry) {
  MemoryRegistry saved;
  MemoryKey* test = saved.Find(RootKey::CurrentUser, u"Software\\Test", true);
  test->Set(u"s", kRegSz, Units(u"saved"));
  test->Set(u"d", kRegDword, {5, 0, 0, 0});
  test->Set(u"", kRegExpandSz, Units(u"%d%"));
  saved.Find(RootKey::CurrentUser, u"Software\\Test\\Empty", true);
  const std::string bytes = test::SaveToMemory(saved, kTestPath);

  MemoryRegistry reg;
  MemoryKey* now = reg.Find(RootKey::CurrentUser, u"Software\\Test", true);
  now->Set(u"s", kRegBinary, {1, 2});    // changed type and data
  now->Set(u"added", kRegSz, Units(u"x"));  // stays
  test::RestoreFromMemory(reg, bytes);

  EXPECT_TRUE(reg.messages.empty());
  EXPECT_EQ(reg.openKeys, 0);
  const std::vector<RawValue> expected = {
      {u"s", kRegSz, Units(std::u16string(u"saved\0\0", 7))},
      {u"added", kRegSz, Units(u"x")},
      {u"", kRegExpandSz, Units(std::u16string(u"%d%\0\0", 5))},
      {u"d", kRegDword, {5, 0, 0, 0}},
  };
  EXPECT_EQ(now->values, expected);
  EXPECT_EQ(now->subkeys.count(u"Empty"), 1u);
}

// Values the text form cannot carry exactly come back untouched when nobody
// changed them; a changed one is written as the snapshot says.
TEST(RestoreSnapshot, UnchangedValuesStayByteForByte) {
  MemoryRegistry reg;
  MemoryKey* test = reg.Find(RootKey::CurrentUser, u"Software\\Test", true);
  const std::vector<RawValue> original = {
      {u"none", kRegNone, Units(std::u16string(u"n\0", 2))},
      {u"be", kRegDwordBigEndian, {0, 0, 1, 2}},
      {u"link", kRegLink, Units(u"x")},
      {u"sz", kRegSz, Units(std::u16string(u"one terminator\0", 15))},
      {u"other", 12, {1, 2}},
      {u"changed", kRegDword, {7, 0, 0, 0}},
  };
  test->values = original;
  const std::string bytes = test::SaveToMemory(reg, kTestPath);
  test->FindValue(u"changed")->data = {8, 0, 0, 0};
  EXPECT_EQ(test::RestoreFromMemory(reg, bytes), RestoreOutcome::Done);
  EXPECT_EQ(test->values, original);
  EXPECT_EQ(reg.openKeys, 0);
}

TEST(RestoreSnapshot, ValueNamedDefaultIsTheDefaultValue) {
  MemoryRegistry reg;
  test::RestoreFromMemory(reg, test::Utf16Bytes(u"<k name=\"hkey_current_user\">\r\n<k name=\"T\">\r\n"
                                                 u"<v name=\"(DEFAULT)\" value=\"d\"/>\r\n"));
  const MemoryKey* t = reg.Find(RootKey::CurrentUser, u"T", false);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->values, (std::vector<RawValue>{{u"", kRegSz, Units(std::u16string(u"d\0\0", 3))}}));
  EXPECT_EQ(reg.openKeys, 0);
}

TEST(RestoreSnapshot, ParseErrorKeepsWhatWasApplied) {
  MemoryRegistry reg;
  test::RestoreFromMemory(reg, test::Utf16Bytes(u"<registry>\r\n <k name=\"HKEY_CURRENT_USER\">\r\n"
                                                 u"  <k name=\"T\">\r\n   <v name=\"a\" value=\"1\"/>\r\n"
                                                 u"   <v name=\"b\" <value=\"2\"/>\r\n"
                                                 u"   <v name=\"c\" value=\"3\"/>\r\n"));
  EXPECT_EQ(reg.messages, (std::vector<std::u16string>{u"Parse error in line 5 : (Bad '<' symbol)"}));
  const MemoryKey* t = reg.Find(RootKey::CurrentUser, u"T", false);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->values.size(), 1u);
  EXPECT_EQ(reg.openKeys, 0);
}

TEST(RestoreSnapshot, FailuresAndTheirMessages) {
  const std::u16string doc = u"<k name=\"HKEY_CURRENT_USER\">\r\n<k name=\"T\">\r\n"
                             u"<v name=\"bad\" value=\"0x12\" type=\"REG_DWORD\"/>\r\n"
                             u"<v name=\"(Default)\" value=\"zz\" type=\"REG_BINARY\"/>\r\n"
                             u"<v name=\"good\" value=\"1\"/>\r\n</k>\r\n<k name=\"U\"/>\r\n";
  {
    // Malformed data: the value is reported (by its name as read) and the replay goes on.
    MemoryRegistry reg;
    EXPECT_EQ(test::RestoreFromMemory(reg, test::Utf16Bytes(doc)), RestoreOutcome::ValueFailed);
    EXPECT_EQ(reg.messages, (std::vector<std::u16string>{u"couldn't set value bad", u"couldn't set value (Default)"}));
    EXPECT_EQ(reg.Find(RootKey::CurrentUser, u"T", false)->values.size(), 1u);
    EXPECT_NE(reg.Find(RootKey::CurrentUser, u"U", false), nullptr);
  }
  {
    MemoryRegistry reg;
    reg.failSetValue = true;
    test::RestoreFromMemory(reg, test::Utf16Bytes(doc));
    EXPECT_EQ(reg.messages.size(), 3u);
    EXPECT_EQ(reg.messages[2], u"couldn't set value good");
  }
  {
    // A key that can't be created ends the replay of the file.
    MemoryRegistry reg;
    reg.Find(RootKey::CurrentUser, u"", true);
    reg.failCreate = true;
    EXPECT_EQ(test::RestoreFromMemory(reg, test::Utf16Bytes(doc)), RestoreOutcome::KeyFailed);
    EXPECT_EQ(reg.messages, (std::vector<std::u16string>{u"couldn't create key HKEY_CURRENT_USER\\T"}));
    EXPECT_EQ(reg.openKeys, 0);
  }
  {
    // An unknown root ends it without a message.
    MemoryRegistry reg;
    test::RestoreFromMemory(reg, test::Utf16Bytes(u"<k name=\"HKCU\">\r\n<k name=\"T\"/>\r\n"));
    EXPECT_TRUE(reg.messages.empty());
    EXPECT_TRUE(reg.roots.empty());
  }
}

// A snapshot that could not read everything, or whose file could not be
// flushed, is not whole: the clean restore would take what it missed for an
// addition of the exam and delete the user's own entries.
TEST(SaveSnapshot, WhatCannotBeReadMakesItNotWhole) {
  const struct {
    const char* what;
    std::function<void(MemoryRegistry&, test::MemorySink&)> fault;
    bool whole;
  } rows[] = {
      {"nothing goes wrong", [](MemoryRegistry&, test::MemorySink&) {}, true},
      {"the saved key's values", [](MemoryRegistry& r, test::MemorySink&) { r.failValuesOf = u""; }, false},
      {"the saved key's subkeys", [](MemoryRegistry& r, test::MemorySink&) { r.failSubkeysOf = u""; }, false},
      {"a nested key's values", [](MemoryRegistry& r, test::MemorySink&) { r.failValuesOf = u"B"; }, false},
      {"a nested key's subkeys", [](MemoryRegistry& r, test::MemorySink&) { r.failSubkeysOf = u"A"; }, false},
      {"a subkey that is there but cannot be opened", [](MemoryRegistry& r, test::MemorySink&) { r.unreadableKey = u"B"; },
       false},
      {"the file cannot be flushed", [](MemoryRegistry&, test::MemorySink& sink) { sink.failClose = true; }, false},
  };
  for (const auto& row : rows) {
    MemoryRegistry reg;
    reg.Find(RootKey::CurrentUser, u"Software\\Test", true)->Set(u"t", kRegSz, Units(u"1"));
    reg.Find(RootKey::CurrentUser, u"Software\\Test\\A\\B", true)->Set(u"b", kRegSz, Units(u"2"));
    test::MemorySink sink;
    row.fault(reg, sink);
    bool whole = !row.whole;
    test::SaveToMemory(reg, kTestPath, &whole, &sink);
    EXPECT_EQ(whole, row.whole) << row.what;
    EXPECT_EQ(reg.openKeys, 0) << row.what;
  }
  // A saved key that does not exist is a whole, empty snapshot.
  MemoryRegistry empty;
  bool whole = false;
  test::SaveToMemory(empty, kTestPath, &whole);
  EXPECT_TRUE(whole);
}

TEST(SaveSnapshot, EnumerationErrors) {
  const struct {
    uint32_t error;
    EnumStep step;
  } rows[] = {{259, EnumStep::End}, {2, EnumStep::End}, {234, EnumStep::Failed}, {5, EnumStep::Failed},
              {1018, EnumStep::Failed}};
  for (const auto& row : rows) EXPECT_EQ(EnumStepOfError(row.error), row.step) << row.error;
}

// The save number goes into the registry start tag and is read back from
// the first bytes of the file.
TEST(SaveSnapshot, SaveNumber) {
  MemoryRegistry reg;
  reg.Find(RootKey::CurrentUser, u"Software\\Test", true)->Set(u"t", kRegSz, Units(u"1"));
  const std::string numbered = test::SaveToMemory(reg, kTestPath, nullptr, nullptr, 42);
  EXPECT_TRUE(AsText(numbered).starts_with(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n <registry sequence=\"42\">\r\n"));
  const struct {
    std::string head;
    uint64_t sequence;
  } rows[] = {
      {numbered, 42},
      {numbered.substr(0, 512), 42},
      {test::SaveToMemory(reg, kTestPath), 0},  // written before the number was kept
      {test::SaveToMemory(reg, kTestPath, nullptr, nullptr, 18446744073709551615u).substr(0, 200), 0},  // 20 digits
      {test::Utf16Bytes(u" <registry sequence=\"1x\">"), 0},
      {test::Utf16Bytes(u" <registry sequence=\"7\""), 0},  // the tag is cut
      {test::Utf16Bytes(u" <registry other=\"5\" sequence=\"7\">"), 7},
      {test::Utf16Bytes(u" <k name=\"x\" sequence=\"7\">"), 0},
      {"", 0},
  };
  for (const auto& row : rows) EXPECT_EQ(SnapshotSequence(row.head), row.sequence) << row.head.size();
  // A restore ignores the number.
  MemoryRegistry target;
  EXPECT_EQ(test::RestoreFromMemory(target, numbered), RestoreOutcome::Done);
  EXPECT_TRUE(target.Find(RootKey::CurrentUser, u"Software\\Test", false)->FindValue(u"t"));
}

// Whole documents end with the end tag of `registry` on a line of its own.
TEST(SnapshotRecovery, CompleteDocuments) {
  MemoryRegistry reg;
  reg.Find(RootKey::CurrentUser, u"Software\\Test\\A", true)->Set(u"v", kRegSz, Units(u"</registry>"));
  bool whole = false;
  const std::string saved = test::SaveToMemory(reg, kTestPath, &whole);
  EXPECT_TRUE(whole);
  const struct {
    std::string bytes;
    bool complete;
  } rows[] = {
      {saved, true},
      {test::Utf16Bytes(u"</registry>\r\n"), true},
      {saved.substr(0, saved.size() - 2), false},                    // no final CR LF
      {saved.substr(0, saved.size() - 1), false},                    // half a code unit
      {saved.substr(0, saved.find(test::Utf16Bytes(u" </registry>"))), false},  // cut before the end
      {test::Utf16Bytes(u"<v name=\"a\" value=\"</registry>\r\n"), false},  // end tag inside a value
      {"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsCompleteSnapshot(row.bytes), row.complete) << row.bytes.size();
  // The last bytes alone: the line break before the end tag must be in them,
  // unless they are the whole file.
  const struct {
    std::string tail;
    bool fromStart;
    bool complete;
  } tails[] = {
      {saved.substr(saved.size() - 64), false, true},
      {saved.substr(saved.size() - 28), false, false},  // " </registry>\r\n" without the line before
      {test::Utf16Bytes(u" </registry>\r\n"), true, true},
      {saved.substr(saved.size() - 63), false, false},
  };
  for (const auto& row : tails)
    EXPECT_EQ(IsCompleteSnapshotTail(row.tail, row.fromStart), row.complete) << row.tail.size();
}

// After a whole replay, only what the snapshot does not hold goes, and only
// in the places the exam writes to: below the trusted domains and ranges at
// any depth, inside the keys the user had as well.
TEST(SnapshotRecovery, CleanPlan) {
  MemoryRegistry reg;
  const std::u16string is = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  const std::u16string ext = u"Software\\Microsoft\\Windows\\CurrentVersion\\Ext";
  const Bytes two = {2, 0, 0, 0};
  reg.Find(RootKey::CurrentUser, is + u"\\Zones\\2", true)->Set(u"1A10", kRegDword, {1, 0, 0, 0});
  reg.Find(RootKey::CurrentUser, is + u"\\Zones\\2", true)->Set(u"", kRegSz, Units(u"d"));
  reg.Find(RootKey::CurrentUser, is + u"\\ZoneMap\\Domains\\user.example", true)->Set(u"http", kRegDword, two);
  reg.Find(RootKey::CurrentUser, is + u"\\ZoneMap\\Domains\\school.example", true)->Set(u"http", kRegDword, two);
  reg.Find(RootKey::CurrentUser, is + u"\\ZoneMap\\Domains\\school.example\\www", true)->Set(u"http", kRegDword, two);
  reg.Find(RootKey::CurrentUser, is + u"\\ZoneMap\\Ranges\\Range1", true)->Set(u":Range", kRegSz, Units(u"10.0.0.1"));
  reg.Find(RootKey::CurrentUser, is + u"\\ZoneMap\\Ranges\\Range1", true)->Set(u"http", kRegDword, two);
  reg.Find(RootKey::CurrentUser, ext + u"\\Settings\\{AAAA}", true)->Set(u"Flags", kRegDword, {0, 0, 0, 0});
  SnapshotContents contents, extContents, none;
  MemoryRegistry target;
  EXPECT_EQ(test::RestoreFromMemory(target, test::SaveToMemory(reg, u"HKEY_CURRENT_USER\\" + is), &contents),
            RestoreOutcome::Done);
  EXPECT_EQ(test::RestoreFromMemory(target, test::SaveToMemory(reg, u"HKEY_CURRENT_USER\\" + ext), &extContents),
            RestoreOutcome::Done);
  // A snapshot of a subtree that was missing.
  EXPECT_EQ(test::RestoreFromMemory(target, test::SaveToMemory(reg, u"HKEY_CURRENT_USER\\Nope"), &none),
            RestoreOutcome::Done);
  using Names = std::vector<std::u16string>;
  const std::u16string map = u"HKEY_CURRENT_USER\\" + is + u"\\ZoneMap";
  const std::u16string settings = u"HKEY_CURRENT_USER\\" + ext + u"\\Settings";
  const struct {
    const SnapshotContents& contents;
    size_t place;
    std::u16string path;  // "" for the place itself
    Names values, subkeys;
    Names removedValues, removedSubkeys, descend;
  } rows[] = {
      {contents, 0, u"", {u"1a10", u"", u"1001", u"CurrentLevel"}, {u"Sub"}, {u"1001", u"CurrentLevel"}, {}, {}},
      // The Domains key itself: its subkeys, not its values.
      {contents, 1, u"", {u"x"}, {u"USER.example", u"exam.example", u"school.example"}, {}, {u"exam.example"},
       {u"USER.example", u"school.example"}},
      // exam.school.example is written as school.example\exam: inside the user's key.
      {contents, 1, map + u"\\Domains\\school.example", {u"http"}, {u"www", u"exam"}, {}, {u"exam"}, {u"www"}},
      {contents, 1, map + u"\\Domains\\school.example\\www", {u"HTTP", u"https"}, {}, {u"https"}, {}, {}},
      {contents, 1, map + u"\\Domains\\user.example", {u"http"}, {}, {}, {}, {}},
      {contents, 2, u"", {}, {u"Range1", u"Range2"}, {}, {u"Range2"}, {u"Range1"}},
      {contents, 2, map + u"\\Ranges\\range1", {u":Range", u"http", u"https"}, {u"deeper"}, {u"https"}, {u"deeper"}, {}},
      // Not below the place.
      {contents, 1, map + u"\\Ranges\\Range1", {u"https"}, {u"x"}, {}, {}, {}},
      // The Ext subtree is not in this snapshot.
      {contents, 3, u"", {}, {u"{AAAA}"}, {}, {}, {}},
      {extContents, 3, u"", {u"v"}, {u"{AAAA}", u"{BBBB}"}, {}, {u"{BBBB}"}, {}},
      {extContents, 4, u"", {u"v"}, {u"{AAAA}", u"{BBBB}"}, {}, {}, {u"{AAAA}"}},
      {extContents, 4, settings + u"\\{AAAA}", {u"Flags", u"Version"}, {u"sub"}, {u"Version"}, {}, {}},
      {none, 0, u"", {u"1001"}, {}, {}, {}, {}},
      {none, 1, u"", {}, {u"exam.example"}, {}, {}, {}},
  };
  ASSERT_EQ(kCleanPlaces.size(), 5u);
  for (const auto& row : rows) {
    const CleanPlace& place = kCleanPlaces[row.place];
    const CleanStep step =
        PlanClean(row.contents, place, row.path.empty() ? std::u16string(place.path) : row.path, row.values, row.subkeys);
    const std::string where = std::to_string(row.place) + " " + ToUtf8(row.path);
    EXPECT_EQ(step.values, row.removedValues) << where;
    EXPECT_EQ(step.subkeys, row.removedSubkeys) << where;
    EXPECT_EQ(step.descend, row.descend) << where;
  }
}

TEST(SnapshotRecovery, PendingPairs) {
  const std::vector<std::u16string> files = {
      u"20261208-101500_0.xml", u"20261208-101500_1.xml", u"20261208-101500-2_0.xml", u"20261208-101500-10_1.xml",
      u"20261207-235959_1.XML", u"20261207-235959_0.xml", u"20261209-000000_loose_0.xml",
      u"_debug_20261209-000000_0.xml", u"_debug_2_20261209-000000_1.xml", u"_failed_20261209-000001_0.xml",
      u"20261209-000002_0.xml.tmp", u"notes.txt", u"_0.xml", u"20261209-000003_0.xml", u"20261209-000003_1.xml",
      u"_done_20261209-000003_1.XML",
  };
  const auto pairs = PendingSnapshotPairs(files);
  std::vector<std::u16string> seen;
  for (const auto& pair : pairs)
    seen.push_back(pair.name + u":" + (pair.files[0] ? u"0" : u"-") + (pair.files[1] ? u"1" : u"-"));
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"20261208-101500:01", u"20261208-101500-2:0-", u"20261208-101500-10:-1",
                                               u"20261207-235959:01", u"20261209-000003:0-"}));
  EXPECT_EQ(FilesMarkedDone(files), (std::vector<std::u16string>{u"20261209-000003_1.XML"}));
}

// Which snapshots a recovery restores, and in which order: the order they were
// saved in, newest first, down to the first one a live page holds.
TEST(SnapshotRecovery, OrderOfRecovery) {
  using P = PendingSnapshot;
  using Names = std::vector<std::u16string>;
  const struct {
    const char* what;
    std::vector<P> pending;
    std::u16string own;
    Names order;
  } rows[] = {
      {"newest saved first, down to the oldest", {{u"a", 1}, {u"c", 3}, {u"b", 2}}, u"", {u"c", u"b", u"a"}},
      {"the save order, not the names: a clock set back", {{u"20991231-235959", 1}, {u"20200101-000000", 2}}, u"",
       {u"20200101-000000", u"20991231-235959"}},
      {"the save order, not the names: a name taken before a wait",
       {{u"20261208-100000", 2}, {u"20261208-100000-2", 1}}, u"", {u"20261208-100000", u"20261208-100000-2"}},
      {"up to the first one a live page holds", {{u"a", 1}, {u"b", 2, true}, {u"c", 3}}, u"", {u"c"}},
      {"the newest is held: nothing (a page opens while an older snapshot waits)", {{u"a", 1}, {u"b", 2, true}}, u"", {}},
      {"own closes after a newer page died: the newer one first", {{u"a", 1, true}, {u"b", 2}}, u"a", {u"b", u"a"}},
      {"own, then the older ones up to a held one", {{u"a", 1, true}, {u"b", 2}, {u"c", 3, true}, {u"d", 4}}, u"c",
       {u"d", u"c", u"b"}},
      {"own with a newer one held: left pending", {{u"a", 1, true}, {u"b", 2}, {u"c", 3, true}}, u"b", {}},
      {"own not pending: nothing", {{u"a", 1}}, u"x", {}},
      {"own only half a pair: nothing", {{u"a", 1, false, false}}, u"a", {}},
      {"halves are never restored", {{u"a", 1}, {u"b", 2, false, false}}, u"", {u"a"}},
      {"unnumbered files are older than numbered ones; among them the names tell",
       {{u"20261207-235959", 0}, {u"20200101-000000", 1}, {u"20261208-101500", 0}, {u"20261208-101500-2", 0},
        {u"20261208-101500-10", 0}},
       u"", {u"20200101-000000", u"20261208-101500-10", u"20261208-101500-2", u"20261208-101500", u"20261207-235959"}},
      {"own in other letter case", {{u"ab", 1, true}}, u"AB", {u"ab"}},
  };
  for (const auto& row : rows) EXPECT_EQ(RecoveryOrder(row.pending, row.own), row.order) << row.what;

  const struct {
    std::vector<P> pending;
    bool needed;
  } needed[] = {
      {{}, false},
      {{{u"a", 1, true}}, false},
      {{{u"a", 1}}, true},
      {{{u"a", 1}, {u"b", 2, true}}, false},
      {{{u"a", 1, true}, {u"b", 0, false, false}}, true},  // half a pair nobody holds: put aside
      {{{u"a", 1, true}, {u"b", 0, true, false}}, false},
  };
  for (const auto& row : needed) EXPECT_EQ(RecoveryNeeded(row.pending), row.needed) << row.pending.size();
}

TEST(SnapshotRecovery, UniqueNames) {
  const struct {
    std::vector<std::u16string> taken;
    std::u16string expected;
  } rows[] = {
      {{}, u"20261208-101500"},
      {{u"20261208-101500"}, u"20261208-101500-2"},
      {{u"20261208-101500", u"20261208-101500-2"}, u"20261208-101500-3"},
  };
  for (const auto& row : rows) {
    const auto taken = [&](const std::u16string& n) {
      return std::find(row.taken.begin(), row.taken.end(), n) != row.taken.end();
    };
    EXPECT_EQ(UniqueSnapshotName(u"20261208-101500", taken), row.expected);
  }
  EXPECT_EQ(UniqueSnapshotName(u"s", [](const std::u16string&) { return true; }), u"");
  EXPECT_EQ(FailedSnapshotPath(u"C:\\s\\n_0.xml"), u"C:\\s\\_failed_n_0.xml");
  EXPECT_EQ(DoneSnapshotPath(u"C:\\s\\n_0.xml"), u"C:\\s\\_done_n_0.xml");
  EXPECT_EQ(RecoverRunCommand(u"C:\\a b\\ZedudeVeri.exe"), u"\"C:\\a b\\ZedudeVeri.exe\" -RegistryRecover 1");
}

TEST(SnapshotFiles, Paths) {
  EXPECT_EQ(SnapshotFilePath(u"C:\\d\\zaduze\\sandbox", u"20261207-180102", 1),
            u"C:\\d\\zaduze\\sandbox\\20261207-180102_1.xml");
  EXPECT_EQ(DebugSnapshotPath(u"C:\\d\\sandbox\\n_0.xml"), u"C:\\d\\sandbox\\_debug_n_0.xml");
  EXPECT_EQ(DebugSnapshotPath(u"n_0.xml"), u"_debug_n_0.xml");
  EXPECT_EQ(DebugSnapshotPath(u"C:\\d\\n_0.xml", 2), u"C:\\d\\_debug_2_n_0.xml");
}

// ---------------------------------------------------------------------------
// Property: a random tree saved and restored into an empty registry comes
// back as the same tree, each value in the form its type restores to.

class TreeGenerator {
 public:
  explicit TreeGenerator(uint32_t seed) : rng_(seed) {}

  std::u16string Text(size_t maxLength, bool allowLineBreaks) {
    static const std::u16string alphabet = u"abcXYZ09 &\"<>'=/!?-;\\\xD55C\xAE00\x00E9\xFFFD";
    std::u16string out;
    const size_t length = Pick(maxLength + 1);
    for (size_t i = 0; i < length; ++i) {
      const size_t r = Pick(alphabet.size() + (allowLineBreaks ? 4 : 0) + 1);
      if (r < alphabet.size())
        out += alphabet[r];
      else if (r == alphabet.size())
        out += u"\xD83D\xDE00";  // a surrogate pair
      else
        out += std::u16string(u"\r\n\r\n").substr(r - alphabet.size() - 1, 1 + Pick(2));
    }
    return out;
  }

  std::u16string Name(bool allowLineBreaks) {
    std::u16string name;
    while (name.empty()) name = Text(8, allowLineBreaks);
    return name;
  }

  RawValue Value(std::u16string name) {
    static const uint32_t types[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    RawValue v{std::move(name), types[Pick(std::size(types))], {}};
    switch (v.type) {
      case kRegDword:
      case kRegDwordBigEndian: v.data = RandomBytes(4); break;
      case kRegQword: v.data = RandomBytes(8); break;
      case kRegBinary:
      case kRegResourceList:
      case kRegResourceRequirementsList: v.data = RandomBytes(Pick(12)); break;
      case kRegMultiSz: {
        // Strings without line breaks (they separate the strings in the text).
        const size_t count = Pick(4);
        for (size_t i = 0; i < count; ++i) {
          const auto s = Units(Text(6, false));
          v.data.insert(v.data.end(), s.begin(), s.end());
          v.data.push_back(0);
          v.data.push_back(0);
        }
        v.data.push_back(0);
        v.data.push_back(0);
        break;
      }
      default: {
        v.data = Units(Text(20, true));
        if (Pick(2)) v.data.insert(v.data.end(), {0, 0});
      }
    }
    return v;
  }

  void Fill(MemoryKey& key, int depth) {
    const size_t values = Pick(5);
    for (size_t i = 0; i < values; ++i) {
      std::u16string name = i == 0 && Pick(3) == 0 ? std::u16string() : Name(true);
      if (name == kDefaultValueName || (!name.empty() && key.FindValue(name))) continue;
      if (name.empty() && key.FindValue(name)) continue;
      key.values.push_back(Value(std::move(name)));
    }
    if (depth >= 4) return;
    const size_t subkeys = Pick(depth == 0 ? 5 : 3);
    for (size_t i = 0; i < subkeys; ++i) {
      std::u16string name = Name(true);
      std::replace(name.begin(), name.end(), u'\\', u'_');  // no backslash in a key name
      Fill(key.subkeys[name], depth + 1);
    }
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
  Bytes RandomBytes(size_t n) {
    Bytes out(n);
    for (auto& b : out) b = static_cast<uint8_t>(Pick(256));
    return out;
  }
  std::mt19937 rng_;
};

// What a saved value restores to.
std::optional<RawValue> Restored(const RawValue& v) {
  RawValue out{v.name, v.type, {}};
  const auto text = FormatValueText(v.type, v.data);
  switch (v.type) {
    case kRegDword: out.data = v.data; break;
    case kRegDwordBigEndian:
      out.type = kRegDword;
      out.data = {v.data[3], v.data[2], v.data[1], v.data[0]};
      break;
    case kRegQword:
    case kRegBinary:
    case kRegResourceList:
    case kRegResourceRequirementsList:
      out.data = v.data.empty() ? Bytes{0} : v.data;
      break;
    case kRegMultiSz: {
      out.data = v.data;
      while (out.data.size() >= 2 && out.data[out.data.size() - 1] == 0 && out.data[out.data.size() - 2] == 0)
        out.data.resize(out.data.size() - 2);
      out.data.insert(out.data.end(), {0, 0, 0, 0});
      if (out.data.size() == 4) out.data = {0, 0};
      break;
    }
    default:
      if (v.type != kRegExpandSz) out.type = kRegSz;
      out.data = Units(text + std::u16string(2, u'\0'));
  }
  if (v.name.empty() && v.data.empty()) return std::nullopt;  // an unset default value
  return out;
}

void Normalize(const MemoryKey& in, MemoryKey& out) {
  for (const auto& v : in.values)
    if (auto r = Restored(v)) out.values.push_back(*r);
  for (const auto& [name, sub] : in.subkeys) Normalize(sub, out.subkeys[name]);
}

// Values in name order, so that the comparison ignores enumeration order.
void SortValues(MemoryKey& key) {
  std::sort(key.values.begin(), key.values.end(),
            [](const RawValue& a, const RawValue& b) { return a.name < b.name; });
  for (auto& [name, sub] : key.subkeys) SortValues(sub);
}

TEST(SnapshotProperty, RandomTreesRoundTrip) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    TreeGenerator gen(seed);
    MemoryRegistry source;
    MemoryKey& root = *source.Find(RootKey::CurrentUser, u"Software\\Test", true);
    gen.Fill(root, 0);

    const std::string bytes = test::SaveToMemory(source, kTestPath);
    MemoryRegistry target;
    test::RestoreFromMemory(target, bytes);

    ASSERT_TRUE(target.messages.empty()) << "seed " << seed << ": " << ToUtf8(target.messages[0]);
    MemoryKey expected;
    Normalize(root, expected);
    SortValues(expected);
    const MemoryKey* restored = target.Find(RootKey::CurrentUser, u"Software\\Test", false);
    ASSERT_NE(restored, nullptr) << "seed " << seed;
    MemoryKey actual = *restored;
    SortValues(actual);
    ASSERT_TRUE(actual == expected) << "seed " << seed << "\n" << ToUtf8(AsText(bytes));
    EXPECT_EQ(target.openKeys, 0);
  }
}

}  // namespace
}  // namespace zv
