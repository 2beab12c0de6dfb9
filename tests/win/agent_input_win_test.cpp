// The hook procedures and their start/stop operations, in-process. Wine never
// sets LLKHF_ALTDOWN on real events, so the Alt rows are driven here with
// prepared events.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "agent/core/options.h"
#include "agent/input/input_hooks.h"
#include "common/log/log.h"
#include "tests/support/log_capture.h"

namespace zv {
namespace {

class HookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(capture_.ok());
    FILELog::ReportingLevel() = logDEBUG3;
    frame_ = CreateWindowExW(0, L"STATIC", L"hook test frame", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    view_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    orphan_ = CreateWindowExW(0, L"STATIC", L"orphan", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    TraySettings settings;
    settings.m_strProtectKeyList = u"ALT+TAB,CTRL,F4";
    BuildFilterTables(settings);
  }
  void TearDown() override {
    if (g_hKeyboardHook) ProtectKeyCheatStop();
    if (g_hMouseHook) ProtectMouseCheatStop();
    DestroyWindow(orphan_);
    DestroyWindow(frame_);
  }
  std::string Log() { return capture_.Text(); }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
  }
  LRESULT Key(UINT message, DWORD flags, DWORD vk, KBDLLHOOKSTRUCT& event) {
    event = KBDLLHOOKSTRUCT{};
    event.vkCode = vk;
    event.flags = flags;
    return KeyboardHookProc(HC_ACTION, message, reinterpret_cast<LPARAM>(&event));
  }

  test::LogCapture capture_;
  HWND frame_ = nullptr, view_ = nullptr, orphan_ = nullptr;
};

TEST_F(HookTest, KeyboardStartTwiceInstallsOneHookAndLogsOnce) {
  ProtectKeyCheatStart(view_);
  HHOOK first = g_hKeyboardHook;
  ASSERT_NE(first, nullptr);
  ProtectKeyCheatStart(view_);
  EXPECT_EQ(g_hKeyboardHook.load(), first);
  EXPECT_EQ(Count(Log(), "INFO: ProtectKeyCheatStart OK"), 1u);
  ProtectKeyCheatStop();
  EXPECT_EQ(g_hKeyboardHook.load(), nullptr);
  EXPECT_EQ(Count(Log(), "INFO: ProtectKeyCheatStop OK"), 1u);
}

TEST_F(HookTest, ViewWithoutParentStartsNoKeyboardHookAndLogsNothing) {
  ProtectKeyCheatStart(orphan_);
  EXPECT_EQ(g_hKeyboardHook.load(), nullptr);
  EXPECT_EQ(Log(), "");
  // The mouse filter reports its failure instead (capital F).
  ProtectMouseCheatStart(orphan_);
  EXPECT_EQ(g_hMouseHook.load(), nullptr);
  EXPECT_NE(Log().find("INFO: ProtectMouseCheatStart Failed"), std::string::npos);
}

TEST_F(HookTest, AltRowsWithPreparedEvents) {
  ProtectKeyCheatStart(view_);
  KBDLLHOOKSTRUCT event;
  EXPECT_EQ(Key(WM_SYSKEYDOWN, LLKHF_ALTDOWN, VK_TAB, event), 1);   // Alt+Tab down
  EXPECT_EQ(Key(WM_SYSKEYUP, LLKHF_ALTDOWN | LLKHF_UP, VK_TAB, event), 1);
  EXPECT_NE(Key(WM_KEYDOWN, 0, VK_TAB, event), 1);                 // Tab alone
  EXPECT_NE(Key(WM_SYSKEYDOWN, LLKHF_ALTDOWN, VK_LCONTROL, event), 1);  // Ctrl while Alt held
  EXPECT_EQ(Key(WM_KEYDOWN, 0, VK_LCONTROL, event), 1);
  EXPECT_EQ(Key(WM_KEYDOWN, LLKHF_INJECTED, VK_RCONTROL, event), 1);
  EXPECT_EQ(Key(WM_KEYDOWN, 0, VK_F4, event), 1);
  EXPECT_NE(Key(WM_SYSKEYDOWN, LLKHF_ALTDOWN, VK_F4, event), 1);  // ALT+F4 not listed

  const std::string log = Log();
  char expected[160];
  std::snprintf(expected, sizeof expected,
                "DEBUG: Key Event blocked : flag: 0x20, vkCode: 0x 9, (code:0, wParam:104, lParam:%llx)\n",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&event)));
  EXPECT_NE(log.find(expected), std::string::npos) << log;
  EXPECT_EQ(Count(log, "DEBUG: Key Event blocked : "), 5u) << log;
  EXPECT_EQ(Count(log, "DEBUG: ### Key Event unblocked : "), 3u) << log;
  EXPECT_NE(log.find("### Key Event unblocked : flag: 0x 0, vkCode: 0x 9, (code:0, wParam:100,"), std::string::npos);
}

TEST_F(HookTest, NonActionCodesAreNotLogged) {
  KBDLLHOOKSTRUCT event{};
  event.vkCode = VK_TAB;
  event.flags = LLKHF_ALTDOWN;
  KeyboardHookProc(HC_NOREMOVE, WM_KEYDOWN, reinterpret_cast<LPARAM>(&event));
  MSLLHOOKSTRUCT mouse{};
  EXPECT_NE(MouseHookProc(HC_NOREMOVE, WM_RBUTTONDOWN, reinterpret_cast<LPARAM>(&mouse)), 1);
  EXPECT_EQ(Log(), "");
}

// The system removes a hook behind the agent's back (as Windows does after
// repeated time-outs). With the watchdog, input that the dead hook missed
// brings a fresh hook that swallows the next key and a clean stop; without
// it, the stop says that the filter failed.
TEST_F(HookTest, HookRemovedBehindTheAgentsBack) {
  const auto injectF4 = [] {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_F4;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
  };
  const auto waitFor = [this](const std::string& what, size_t count, int tries = 100) {
    for (int i = 0; i < tries && Count(Log(), what) < count; ++i) Sleep(50);  // 5 s at most
    return Count(Log(), what);
  };
  // Typing goes on while the watchdog is awaited: a busy system may not have
  // counted one early key as input yet.
  const auto typeUntilRenewed = [&](int tries) {
    for (int i = 0; i < tries && Count(Log(), "INFO: ProtectKeyCheat hook renewed\n") < 1; ++i) {
      if (i % 10 == 0) injectF4();
      Sleep(50);
    }
    return Count(Log(), "INFO: ProtectKeyCheat hook renewed\n");
  };
  const struct {
    uint32_t watchdogPeriod;
    size_t renewed;
    const char* stopLine;
  } cases[] = {{100, 1, "INFO: ProtectKeyCheatStop OK\n"}, {0, 0, "INFO: ProtectKeyCheatStop failed\n"}};
  for (const auto& c : cases) {
    capture_.Reset();
    SetHookWatchdogPeriod(c.watchdogPeriod);
    ProtectKeyCheatStart(view_);
    const HHOOK first = g_hKeyboardHook;
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(UnhookWindowsHookEx(first));
    Sleep(300);  // input right at the installation is within the watchdog's slack
    // Keys missed by the dead hook.
    EXPECT_EQ(typeUntilRenewed(c.renewed ? 100 : 10), c.renewed) << c.watchdogPeriod;
    if (c.renewed) {
      EXPECT_NE(g_hKeyboardHook.load(), first);
      injectF4();
      EXPECT_GE(waitFor("Key Event blocked : flag: 0x", 2), 2u) << Log();  // its down and up
    }
    ProtectKeyCheatStop();
    EXPECT_EQ(Count(Log(), c.stopLine), 1u) << Log();
  }
  SetHookWatchdogPeriod(1000);
}

TEST_F(HookTest, MouseRightButtonSwallowedAndLogged) {
  ProtectMouseCheatStart(view_);
  ASSERT_NE(g_hMouseHook.load(), nullptr);
  MSLLHOOKSTRUCT mouse{};
  EXPECT_EQ(MouseHookProc(HC_ACTION, WM_RBUTTONDOWN, reinterpret_cast<LPARAM>(&mouse)), 1);
  mouse.flags = LLMHF_INJECTED;
  EXPECT_EQ(MouseHookProc(HC_ACTION, WM_RBUTTONUP, reinterpret_cast<LPARAM>(&mouse)), 1);
  EXPECT_NE(MouseHookProc(HC_ACTION, WM_LBUTTONDOWN, reinterpret_cast<LPARAM>(&mouse)), 1);
  EXPECT_NE(MouseHookProc(HC_ACTION, WM_MOUSEMOVE, reinterpret_cast<LPARAM>(&mouse)), 1);
  const std::string log = Log();
  EXPECT_EQ(Count(log, "INFO: ProtectMouseCheatStart OK\n"), 1u);
  EXPECT_EQ(Count(log, "DEBUG: Mouse(R) Event blocked :\n"), 2u) << log;
  ProtectMouseCheatStop();
  EXPECT_NE(Log().find("INFO: ProtectMouseCheatStop OK"), std::string::npos);
}

}  // namespace
}  // namespace zv
