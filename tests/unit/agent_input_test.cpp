#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "agent/core/options.h"
#include "agent/input/key_filter.h"
#include "common/log/log_queue.h"
#include "tests/support/log_capture.h"

namespace zv {
namespace {

constexpr uint32_t kAlt = kLlkhfAltDown;
constexpr uint32_t kInjected = 0x10;  // LLKHF_INJECTED
constexpr uint32_t kUp = 0x80;        // LLKHF_UP
constexpr uint32_t kExtended = 0x01;

// The sets a session builds from a key list.
struct Sets {
  std::set<int32_t> alt, keys;
};
Sets Build(const std::u16string& list) {
  TraySettings s;
  s.m_strProtectKeyList = list;
  BuildFilterTables(s);
  return {g_setAltKeys, g_setKeys};
}

const char16_t kAllNames[] = u"ALT+TAB,ALT+F4,ALT+D,ALT+ESC,ALT+ENTER,ALT+HOME,ALT+SPACE,CTRL,WIN,PRINT,F1~F12";

TEST(KeyDecision, WhatEachListedNameSwallowsAndLetsPass) {
  const Sets sets = Build(kAllNames);
  struct Case {
    const char* what;
    uint32_t flags;
    uint32_t vk;
    HookDecision expected;
  } cases[] = {
      {"Alt+Tab", kAlt, 0x09, HookDecision::Swallow},
      {"Alt+Tab key-up", kAlt | kUp, 0x09, HookDecision::Swallow},
      {"Tab alone", 0, 0x09, HookDecision::PassOn},
      {"Tab up after Alt released", kUp, 0x09, HookDecision::PassOn},
      {"Alt itself", kAlt, 0xA4, HookDecision::PassOn},
      {"Alt pressed (no flag yet)", 0, 0xA4, HookDecision::PassOn},
      {"Alt+F4", kAlt, 0x73, HookDecision::Swallow},
      {"F4 alone (F1~F12 listed)", 0, 0x73, HookDecision::Swallow},
      {"Alt+D", kAlt, 0x44, HookDecision::Swallow},
      {"D alone", 0, 0x44, HookDecision::PassOn},
      {"Alt+Esc", kAlt, 0x1B, HookDecision::Swallow},
      {"Esc alone", 0, 0x1B, HookDecision::PassOn},
      {"Alt+Enter", kAlt, 0x0D, HookDecision::Swallow},
      {"Enter alone", 0, 0x0D, HookDecision::PassOn},
      {"Alt+Home", kAlt | kExtended, 0x24, HookDecision::Swallow},
      {"Home alone", kExtended, 0x24, HookDecision::PassOn},
      {"Alt+Space", kAlt, 0x20, HookDecision::Swallow},
      {"Space alone", 0, 0x20, HookDecision::PassOn},
      {"left Ctrl", 0, 0xA2, HookDecision::Swallow},
      {"right Ctrl", kExtended, 0xA3, HookDecision::Swallow},
      {"Ctrl while Alt held", kAlt, 0xA2, HookDecision::PassOn},
      {"generic Control code", 0, 0x11, HookDecision::PassOn},
      {"left Win", kExtended, 0x5B, HookDecision::Swallow},
      {"right Win", kExtended, 0x5C, HookDecision::Swallow},
      {"Win while Alt held", kAlt, 0x5B, HookDecision::PassOn},
      {"Apps key", 0, 0x5D, HookDecision::PassOn},
      {"Print Screen", 0, 0x2C, HookDecision::Swallow},
      {"Alt+Print Screen", kAlt, 0x2C, HookDecision::PassOn},
      {"F1", 0, 0x70, HookDecision::Swallow},
      {"F12", 0, 0x7B, HookDecision::Swallow},
      {"Alt+F12", kAlt, 0x7B, HookDecision::PassOn},
      {"F13", 0, 0x7C, HookDecision::PassOn},
      {"injected Ctrl", kInjected, 0xA2, HookDecision::Swallow},
      {"injected Alt+Tab", kInjected | kAlt, 0x09, HookDecision::Swallow},
      {"letter A", 0, 0x41, HookDecision::PassOn},
  };
  for (const auto& c : cases) EXPECT_EQ(DecideKeyEvent(0, c.flags, c.vk, sets.alt, sets.keys), c.expected) << c.what;
}

TEST(KeyDecision, SetsFollowOnlyTheNamesListed) {
  // F4 without ALT+F4: Alt+F4 passes because the Alt set is empty.
  Sets f4 = Build(u"F4");
  EXPECT_EQ(DecideKeyEvent(0, 0, 0x73, f4.alt, f4.keys), HookDecision::Swallow);
  EXPECT_EQ(DecideKeyEvent(0, kAlt, 0x73, f4.alt, f4.keys), HookDecision::PassOn);
  // ALT+F4 without F4: F4 alone passes.
  Sets altF4 = Build(u"alt+f4");
  EXPECT_EQ(DecideKeyEvent(0, 0, 0x73, altF4.alt, altF4.keys), HookDecision::PassOn);
  EXPECT_EQ(DecideKeyEvent(0, kAlt, 0x73, altF4.alt, altF4.keys), HookDecision::Swallow);
  // A blank after the comma: only Alt+Tab is blocked.
  Sets blank = Build(u"ALT+TAB, CTRL");
  EXPECT_EQ(DecideKeyEvent(0, 0, 0xA2, blank.alt, blank.keys), HookDecision::PassOn);
  EXPECT_EQ(DecideKeyEvent(0, kAlt, 0x09, blank.alt, blank.keys), HookDecision::Swallow);
  // Empty list: everything passes (and is logged as unblocked).
  Sets none = Build(u"");
  for (uint32_t vk = 0; vk < 256; ++vk) {
    EXPECT_EQ(DecideKeyEvent(0, 0, vk, none.alt, none.keys), HookDecision::PassOn);
    EXPECT_EQ(DecideKeyEvent(0, kAlt, vk, none.alt, none.keys), HookDecision::PassOn);
  }
}

TEST(KeyDecision, NonActionCodesPassSilently) {
  const Sets sets = Build(kAllNames);
  for (int code : {1, 3, -1}) EXPECT_EQ(DecideKeyEvent(code, kAlt, 0x09, sets.alt, sets.keys), HookDecision::PassOnSilently);
}

TEST(MouseDecision, OnlyTheRightButtonIsSwallowed) {
  EXPECT_EQ(DecideMouseEvent(0, 0x0204), HookDecision::Swallow);  // WM_RBUTTONDOWN
  EXPECT_EQ(DecideMouseEvent(0, 0x0205), HookDecision::Swallow);  // WM_RBUTTONUP
  for (uintptr_t other : {0x0200u, 0x0201u, 0x0202u, 0x0203u, 0x0206u, 0x0207u, 0x0208u, 0x020Au, 0x020Bu, 0x020Cu,
                          0x020Eu})
    EXPECT_EQ(DecideMouseEvent(0, other), HookDecision::PassOnSilently) << other;
  EXPECT_EQ(DecideMouseEvent(1, 0x0204), HookDecision::PassOnSilently);
}

TEST(KeyEventText, PrintfLayout) {
  EXPECT_EQ(FormatKeyEventText(0x20, 0x09, 0x104, 0x12fe40),
            "flag: 0x20, vkCode: 0x 9, (code:0, wParam:104, lParam:12fe40)");
  EXPECT_EQ(FormatKeyEventText(0, 0xA2, 0x100, 0xABCDEF),
            "flag: 0x 0, vkCode: 0xa2, (code:0, wParam:100, lParam:abcdef)");
  EXPECT_EQ(FormatKeyEventText(0x81, 0x5B, 0x101, 0), "flag: 0x81, vkCode: 0x5b, (code:0, wParam:101, lParam:0)");
  // Wider values than the padding, a 64-bit pointer.
  EXPECT_EQ(FormatKeyEventText(0x1234, 0xFFFFFFFFu, 0x104, static_cast<uintptr_t>(UINT64_C(0x7ffe12345678))),
            "flag: 0x1234, vkCode: 0xffffffff, (code:0, wParam:104, lParam:7ffe12345678)");
}

// What the hook procedure writes into its record: the prefix and the text,
// cut to the buffer and always terminated.
TEST(KeyEventText, LineIntoAFixedBuffer) {
  char line[kQueuedLineText];
  const size_t n = FormatKeyEventLine(line, sizeof line, "Key Event blocked : ", 0x20, 0x09, 0x104, 0x12fe40);
  EXPECT_EQ(std::string(line, n), "Key Event blocked : flag: 0x20, vkCode: 0x 9, (code:0, wParam:104, lParam:12fe40)");
  EXPECT_EQ(std::string(line), std::string(line, n));
  char small[12];
  EXPECT_EQ(FormatKeyEventLine(small, sizeof small, "Key Event blocked : ", 0, 0, 0, 0), 11u);
  EXPECT_STREQ(small, "Key Event b");
  EXPECT_EQ(FormatKeyEventLine(small, 0, "x", 0, 0, 0, 0), 0u);
}

// --- hook watchdog ------------------------------------------------------------------
//
// Each row is four looks at one hook (oldest first): its procedure's calls and
// the input of its kind. The input of the other device never reaches these
// counters.
TEST(HookWatchdog, MissedInputOfItsOwnKind) {
  const struct {
    const char* what;
    HookCounts looks[4];
    bool missed;
  } rows[] = {
      {"dead, input all the time (a held key, steady injection)", {{10, 5}, {10, 6}, {10, 7}, {10, 8}}, true},
      {"alive, input all the time", {{10, 5}, {11, 6}, {12, 7}, {13, 8}}, false},
      {"no input of its kind (the other device moves)", {{10, 5}, {10, 5}, {10, 5}, {10, 5}}, false},
      {"dead, one event between the middle looks", {{10, 5}, {10, 5}, {10, 6}, {10, 6}}, true},
      {"called right before a look, its input counted right after", {{10, 5}, {11, 5}, {11, 6}, {11, 6}}, false},
      {"timed out by the system: called after its input", {{10, 5}, {10, 5}, {10, 6}, {11, 6}}, false},
      {"dead, input only since the previous look: judged next time", {{10, 5}, {10, 5}, {10, 5}, {10, 6}}, false},
      {"input before the second look was judged the look before", {{10, 5}, {10, 6}, {10, 6}, {10, 6}}, false},
      {"counters wrapped", {{0xFFFFFFFFu, 0xFFFFFFFFu}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 1}, {0xFFFFFFFFu, 2}}, true},
  };
  for (const auto& row : rows) EXPECT_EQ(MissedInput(row.looks), row.missed) << row.what;
}

// A hook followed from look to look (its installation is the first look):
// when it is renewed, and how renewals that did not help are spaced out.
TEST(HookWatchdog, LooksRenewalsAndTheirPace) {
  constexpr uint32_t kPeriod = 500;
  struct Step {
    uint32_t calls, input;
    bool renew;
  };
  using Steps = std::vector<Step>;
  // A dead hook under steady input, renewed without effect (input it cannot
  // see): renewed at 1500, 3000 (wait 500), 4500 (wait 1000), 6500 (wait 2000);
  // each renewal starts the looks over. Now the wait is 4000.
  const Steps unhelped = {{0, 1, false},  {0, 2, false},  {0, 3, true},  {0, 4, false},  {0, 5, false},
                          {0, 6, true},   {0, 7, false},  {0, 8, false}, {0, 9, true},   {0, 10, false},
                          {0, 11, false}, {0, 12, false}, {0, 13, true}};
  const auto then = [&unhelped](Steps more) {
    Steps all = unhelped;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const struct {
    const char* what;
    Steps steps;  // one look per period; a renewal is carried out at once
  } rows[] = {
      {"dead from the start, steady input: the third look renews", {{0, 0, false}, {0, 3, false}, {0, 6, true}}},
      {"dead after a while: renewed three looks after its last call",
       {{5, 3, false}, {9, 6, false}, {9, 9, false}, {9, 12, false}, {9, 15, true}}},
      {"alive: never", {{3, 3, false}, {6, 6, false}, {9, 9, false}, {12, 12, false}, {15, 15, false}}},
      {"renewals that did not help wait twice as long each time",
       then({{0, 14, false}, {0, 15, false}, {0, 16, false}, {0, 17, false}, {0, 18, false}, {0, 19, false},
             {0, 20, false}, {0, 21, true}})},  // 10500: 4000 after the last renewal
      {"called once right after its renewal (within the same tick): renewed when it misses again, without the wait",
       then({{1, 14, false}, {1, 15, false}, {1, 16, false}, {1, 17, true}})},
  };
  for (const auto& row : rows) {
    HookWatch watch;
    watch.Start({0, 0});
    uint32_t tick = 0;
    for (size_t i = 0; i < row.steps.size(); ++i) {
      tick += kPeriod;
      const HookCounts now{row.steps[i].calls, row.steps[i].input};
      const bool renew = watch.Look(now, tick);
      EXPECT_EQ(renew, row.steps[i].renew) << row.what << ", look " << i + 1;
      if (renew) watch.Renewed(now, tick, kPeriod);
    }
  }
}

TEST(HookWatchdog, RenewalsThatDidNotHelpBackOff) {
  // Each row: the hook's call counter and the time of a watchdog look; a due
  // renewal is carried out.
  const struct {
    uint32_t calls, now;
    bool due;
    uint32_t waitAfter;
  } steps[] = {
      {7, 2000, true, 1000},   // first renewal
      {7, 2500, false, 1000},  // not called since, 500 < 1000
      {7, 3000, true, 2000},   // 1000 elapsed: renewed, twice the wait
      {7, 4000, false, 2000},
      {7, 5000, true, 4000},
      {8, 5010, true, 1000},   // called since its renewal, in the same tick: at once, wait starts over
      {9, 5020, true, 1000},
  };
  RenewalPace pace;
  for (const auto& s : steps) {
    EXPECT_EQ(RenewalDue(pace, s.calls, s.now), s.due) << s.now;
    if (s.due) NoteRenewal(pace, s.calls, s.now, 1000);
    EXPECT_EQ(pace.wait, s.waitAfter) << s.now;
  }
  for (int i = 0; i < 20; ++i) NoteRenewal(pace, pace.callsAtRenewal, pace.renewedAt + pace.wait, 1000);
  EXPECT_EQ(pace.wait, kMaxRenewalWait);
}

TEST(HookWatchdog, HeartbeatReportedOncePerStall) {
  const struct {
    uint32_t lastBeat, now;
    HeartbeatNews news;
  } looks[] = {
      {1000, 2500, HeartbeatNews::None},
      {1000, 3000, HeartbeatNews::None},  // exactly the limit
      {1000, 3001, HeartbeatNews::Stalled},
      {1000, 4000, HeartbeatNews::None},  // said once
      {4100, 4200, HeartbeatNews::Running},
      {4100, 4300, HeartbeatNews::None},
      {0xFFFFFF00u, 0x00000700u, HeartbeatNews::Stalled},  // 2048 ms across the wrap
      {0x00000710u, 0x00000800u, HeartbeatNews::Running},
  };
  bool stalled = false;
  for (const auto& look : looks)
    EXPECT_EQ(LookAtHeartbeat(look.lastBeat, look.now, 2000, stalled), look.news) << look.now;
}

// --- the hook procedures' log queue ------------------------------------------------

std::string Text(const QueuedLine& line) { return std::string(line.text, line.length); }

TEST(HookLogQueue, LinesComeOutInOrderWithTheirMoment) {
  LineQueue<4> queue;
  QueuedLine line;
  EXPECT_FALSE(queue.Pop(line));
  // Round after round through the ring: order and contents stay.
  for (uint32_t round = 0; round < 10; ++round) {
    for (uint32_t i = 0; i < 3; ++i)
      ASSERT_TRUE(queue.Push({round, round * 10 + i}, i ? logDEBUG : logINFO, "line " + std::to_string(i)));
    for (uint32_t i = 0; i < 3; ++i) {
      ASSERT_TRUE(queue.Pop(line));
      EXPECT_EQ(Text(line), "line " + std::to_string(i));
      EXPECT_EQ(line.at.clock, round);
      EXPECT_EQ(line.at.ticks, round * 10 + i);
      EXPECT_EQ(line.level, i ? logDEBUG : logINFO);
      EXPECT_EQ(line.droppedBefore, 0u);
    }
    EXPECT_FALSE(queue.Pop(line));
  }
  // A message longer than a record is cut.
  ASSERT_TRUE(queue.Push({}, logDEBUG, std::string(kQueuedLineText + 10, 'x')));
  ASSERT_TRUE(queue.Pop(line));
  EXPECT_EQ(Text(line), std::string(kQueuedLineText, 'x'));
}

TEST(HookLogQueue, AFullQueueDropsAndCountsWithoutWaiting) {
  LineQueue<4> queue;
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(queue.Push({}, logDEBUG, "kept"));
  EXPECT_FALSE(queue.Push({}, logDEBUG, "lost 1"));
  EXPECT_FALSE(queue.Push({}, logDEBUG, "lost 2"));
  QueuedLine line;
  ASSERT_TRUE(queue.Pop(line));
  EXPECT_EQ(line.droppedBefore, 0u);
  ASSERT_TRUE(queue.Push({}, logDEBUG, "after the loss"));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(queue.Pop(line));
  ASSERT_TRUE(queue.Pop(line));
  EXPECT_EQ(Text(line), "after the loss");
  EXPECT_EQ(line.droppedBefore, 2u) << "the loss is told where it happened";
  EXPECT_EQ(queue.TakeDropped(), 0u);
  // A loss that no line follows is left for the writer to tell.
  for (int i = 0; i < 5; ++i) queue.Push({}, logDEBUG, "x");
  EXPECT_EQ(queue.TakeDropped(), 1u);
  EXPECT_EQ(queue.TakeDropped(), 0u);
}

// The hook thread is the producer, but a test may call a procedure directly
// meanwhile: two producers and a consumer lose nothing and keep each
// producer's order.
TEST(HookLogQueue, TwoProducersOneConsumer) {
  static LineQueue<64> queue;
  constexpr int kLines = 5000;
  const auto produce = [](char who) {
    for (int i = 0; i < kLines;) {
      const std::string text = who + std::to_string(i);
      if (queue.Push({}, logDEBUG, text)) ++i;
    }
  };
  std::thread a(produce, 'a'), b(produce, 'b');
  int next[2] = {0, 0};
  QueuedLine line;
  while (next[0] < kLines || next[1] < kLines) {
    if (!queue.Pop(line)) continue;
    const std::string text = Text(line);
    const int who = text[0] == 'a' ? 0 : 1;
    ASSERT_EQ(text.substr(1), std::to_string(next[who])) << text;
    ++next[who];
  }
  a.join();
  b.join();
  EXPECT_FALSE(queue.Pop(line));
  EXPECT_EQ(queue.TakeDropped(), 0u) << "every failed push was followed by one that got in and took the count";
}

// A queued line reads exactly like a line FILE_LOG writes, and lines that
// wait in the queue are written before the next direct line.
LineQueue<8> g_waiting;
void WriteWaiting(FILE* stream) {
  QueuedLine line;
  while (g_waiting.Pop(line))
    std::fputs(FormatQueuedLine("[12:00:00.000]", line.level, std::string_view(line.text, line.length)).c_str(), stream);
}

TEST(HookLogQueue, SameLayoutAndOrderAsDirectLines) {
  test::LogCapture capture;
  ASSERT_TRUE(capture.ok());
  FILELog::ReportingLevel() = logDEBUG4;
  for (TLogLevel level : {logINFO, logDEBUG, logDEBUG2}) {
    capture.Reset();
    FILE_LOG(level) << "same text";
    const std::string direct = capture.TextAfterStamp();
    const std::string queued = FormatQueuedLine("[12:00:00.000]", level, "same text");
    EXPECT_EQ(queued.substr(queued.find("] ") + 2), direct);
  }
  capture.Reset();
  SetPendingLinesWriter(WriteWaiting);
  g_waiting.Push({}, logDEBUG, "made first");
  FILE_LOG(logINFO) << "made second";
  g_waiting.Push({}, logDEBUG, "made third");
  WritePendingLines();
  SetPendingLinesWriter(nullptr);
  const std::string text = capture.Text();
  EXPECT_LT(text.find("DEBUG: made first"), text.find("INFO: made second"));
  EXPECT_LT(text.find("INFO: made second"), text.find("DEBUG: made third"));
  EXPECT_NE(text.find("DEBUG: made third\n"), std::string::npos);
  EXPECT_EQ(DroppedLinesText(3), "Log queue full: 3 lines dropped");
}

}  // namespace
}  // namespace zv
