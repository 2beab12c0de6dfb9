#include <gtest/gtest.h>

#include "agent/core/options.h"
#include "agent/input/key_filter.h"

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
}

TEST(HookWatchdog, RenewsOnlyHooksThatMissedInputNoLiveHookSaw) {
  constexpr uint32_t kSlack = 100;
  const WatchedHook off{};
  const struct {
    const char* what;
    WatchedHook keyboard, mouse;
    uint32_t lastInput, now;
    HookRenewal renew;
  } cases[] = {
      {"keyboard saw the input", {true, 5000}, off, 5000, 9000, {}},
      {"no input since", {true, 5000}, off, 4000, 9000, {}},
      {"keyboard missed it", {true, 5000}, off, 6000, 9000, {true, false}},
      {"too recent to judge", {true, 5000}, off, 8950, 9000, {}},
      {"within the slack", {true, 5000}, off, 5080, 9000, {}},
      {"mouse saw it: keyboard kept", {true, 5000}, {true, 6000}, 6000, 9000, {}},
      {"neither saw it: both renewed", {true, 5000}, {true, 5500}, 6000, 9000, {true, true}},
      {"keyboard saw it: mouse kept", {true, 6000}, {true, 5000}, 6000, 9000, {}},
      {"mouse only, missed", off, {true, 5000}, 6000, 9000, {false, true}},
      {"nothing installed", off, off, 6000, 9000, {}},
      {"tick counter wrapped", {true, 0xFFFFFF00u}, off, 0x00000100u, 0x00001000u, {true, false}},
  };
  for (const auto& c : cases) EXPECT_EQ(HooksToRenew(c.keyboard, c.mouse, c.lastInput, c.now, kSlack), c.renew) << c.what;
}

TEST(HookWatchdog, RenewalsThatDidNotHelpBackOff) {
  // Each row: the hook's last call and the time of a watchdog look; a due
  // renewal is carried out (the hook's tick becomes the renewal's).
  const struct {
    uint32_t lastCall, now;
    bool due;
    uint32_t waitAfter;
  } steps[] = {
      {1000, 2000, true, 1000},    // first renewal
      {2000, 2500, false, 1000},   // not called since, 500 < 1000
      {2000, 3000, true, 2000},    // 1000 elapsed: renewed, twice the wait
      {3000, 4000, false, 2000},
      {3000, 5000, true, 4000},
      {5100, 5200, true, 1000},    // called since its renewal: at once, wait starts over
      {5200, 5300, true, 1000},    // called within the tick of its renewal: also at once
  };
  RenewalPace pace;
  for (const auto& s : steps) {
    EXPECT_EQ(RenewalDue(pace, s.lastCall, s.now), s.due) << s.now;
    if (s.due) NoteRenewal(pace, s.lastCall, s.now, 1000);
    EXPECT_EQ(pace.wait, s.waitAfter) << s.now;
  }
  for (int i = 0; i < 20; ++i) NoteRenewal(pace, pace.renewedAt, pace.renewedAt + pace.wait, 1000);
  EXPECT_EQ(pace.wait, kMaxRenewalWait);
}

}  // namespace
}  // namespace zv
