// The hook procedures and their start/stop operations, in-process. Wine never
// sets LLKHF_ALTDOWN on real events, so the Alt rows are driven here with
// prepared events.
#include <windows.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "agent/core/options.h"
#include "agent/input/input_hooks.h"
#include "common/log/log.h"
#include "tests/support/log_capture.h"

namespace zv {
namespace {

void InjectKey(WORD vk, bool up) {
  INPUT key{};
  key.type = INPUT_KEYBOARD;
  key.ki.wVk = vk;
  key.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &key, sizeof key);
}
void InjectKeyStroke(WORD vk) {
  InjectKey(vk, false);
  InjectKey(vk, true);
}
void InjectMouseMove() {
  INPUT move{};
  move.type = INPUT_MOUSE;
  move.mi.dx = 1;
  move.mi.dy = 1;
  move.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &move, sizeof move);
}

double Milliseconds() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A low-level keyboard hook of the test itself, installed after the agent's
// and so called before it: it passes F4 on with CallNextHookEx, which is the
// system's call of the agent's procedure on the hook thread, and times it.
struct ChainedCall {
  int calls = 0;
  int swallowed = 0;
  double longest = 0;
};
ChainedCall g_chained;
LRESULT CALLBACK TimingHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
  if (code != HC_ACTION || event->vkCode != VK_F4) return CallNextHookEx(nullptr, code, wParam, lParam);
  const double start = Milliseconds();
  const LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
  g_chained.longest = std::max(g_chained.longest, Milliseconds() - start);
  ++g_chained.calls;
  if (result != 0) ++g_chained.swallowed;
  return result;
}

class HookTest : public ::testing::Test {
 protected:
  // Wine hands out raw input only while some window is in the foreground
  // (Windows gives it to an input sink in any case): a window of the test
  // is, for the whole suite (destroying an active window costs Wine seconds).
  static void SetUpTestSuite() {
    foreground_ = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"hook test foreground", WS_POPUP | WS_VISIBLE, 0, 0,
                                  20, 20, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  static void TearDownTestSuite() { DestroyWindow(foreground_); }
  void SetUp() override {
    SetForegroundWindow(foreground_);
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
  std::string Log() {
    WritePendingLines();
    return capture_.Text();
  }
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
  static HWND foreground_;
};
HWND HookTest::foreground_ = nullptr;

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
  SetHookWatchdogPeriod(kHookWatchdogPeriod);
}

// Each hook is judged by input of its own kind, against what had arrived by
// the previous look: neither steady mouse input nor a mouse event after each
// key keeps a dead keyboard hook from being renewed, and the live mouse hook
// is left alone. The watchdog runs at its own period.
TEST_F(HookTest, DeadKeyboardHookRenewedWhileTheMouseMoves) {
  const struct {
    const char* what;
    DWORD mouseEvery;  // 0: a mouse move right after each key
    DWORD keyEvery;
  } rows[] = {
      {"a mouse move every 50 ms, a key every 500 ms", 50, 500},
      {"a key, then a mouse move, every 400 ms", 0, 400},
  };
  for (const auto& row : rows) {
    capture_.Reset();
    ProtectKeyCheatStart(view_);
    ProtectMouseCheatStart(view_);
    const HHOOK dead = g_hKeyboardHook;
    ASSERT_TRUE(UnhookWindowsHookEx(dead));
    const DWORD start = GetTickCount();
    DWORD lastMouse = 0, lastKey = 0;
    bool renewed = false;
    while (!renewed && GetTickCount() - start < 3000) {
      const DWORD now = GetTickCount();
      if (row.mouseEvery != 0 && now - lastMouse >= row.mouseEvery) {
        InjectMouseMove();
        lastMouse = now;
      }
      if (now - lastKey >= row.keyEvery) {
        InjectKeyStroke(VK_F4);
        if (row.mouseEvery == 0) {
          Sleep(20);
          InjectMouseMove();
        }
        lastKey = now;
      }
      Sleep(10);
      renewed = Count(Log(), "INFO: ProtectKeyCheat hook renewed\n") == 1;
    }
    EXPECT_TRUE(renewed) << row.what << "\n" << Log();
    EXPECT_NE(g_hKeyboardHook.load(), dead) << row.what;
    EXPECT_EQ(Count(Log(), "ProtectMouseCheat hook renewed"), 0u) << row.what;
    // The fresh hook swallows the next F4.
    const size_t blocked = Count(Log(), "Key Event blocked : flag: 0x");
    InjectKeyStroke(VK_F4);
    for (int i = 0; i < 100 && Count(Log(), "Key Event blocked : flag: 0x") < blocked + 2; ++i) Sleep(20);
    EXPECT_EQ(Count(Log(), "Key Event blocked : flag: 0x"), blocked + 2) << row.what;
    ProtectKeyCheatStop();
    ProtectMouseCheatStop();
    EXPECT_EQ(Count(Log(), "INFO: ProtectKeyCheatStop OK\n"), 1u) << row.what;
    EXPECT_EQ(Count(Log(), "INFO: ProtectMouseCheatStop OK\n"), 1u) << row.what;
  }
}

// The log's lock is held for a second by another thread (its line goes to a
// pipe that nobody reads meanwhile, as to a stalled disk) while a listed key
// comes: the key is swallowed at once, and its line follows in order when
// the log is free again; lines beyond what the queue holds are dropped and
// counted. The proof that does not depend on timing is that
// every call returned while the lock was still held. The times are bounds,
// not measurements: the procedure needs microseconds; a call that waited for
// the log would take the rest of the second. The 30 ms bound is checked on the
// median of the direct calls (no thread switch), so that one preemption on a
// shared machine does not fail it; every call, through the system too, must
// stay under 250 ms, a quarter of the hold and below Windows' 300 ms time-out.
TEST_F(HookTest, HookProcedureNeverWaitsForTheLog) {
  ProtectKeyCheatStart(view_);
  ASSERT_NE(g_hKeyboardHook.load(), nullptr);
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 4096));
  FILE* pipe = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(writeEnd), _O_WRONLY), "w");
  ASSERT_NE(pipe, nullptr);
  FILE* const saved = Output2FILE::Stream();
  Output2FILE::Stream() = pipe;

  std::atomic<bool> holding{true};
  std::thread holder([&] {
    FILE_LOG(logINFO) << std::string(64 * 1024, 'x');
    holding = false;
  });
  DWORD queued = 0;
  for (int i = 0; i < 400 && queued < 4096; ++i) {
    Sleep(5);
    PeekNamedPipe(readEnd, nullptr, 0, nullptr, &queued, nullptr);
  }
  ASSERT_GE(queued, 4096u) << "the holder's line fills the pipe";
  std::string written;
  std::thread reader([&] {
    Sleep(1000);
    char buffer[8192];
    DWORD n = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n != 0) written.append(buffer, n);
  });

  // Through the system: F4 down and up, timed by the test's own hook. This
  // thread has not asked for messages for a while: Wine skips the low-level
  // hooks whose first one belongs to a thread it takes for hung.
  const auto pump = [] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  };
  pump();
  g_chained = ChainedCall{};
  const HHOOK timing = SetWindowsHookExW(WH_KEYBOARD_LL, TimingHook, GetModuleHandleW(nullptr), 0);
  ASSERT_NE(timing, nullptr);
  InjectKeyStroke(VK_F4);
  for (double end = Milliseconds() + 2000; g_chained.calls < 2 && Milliseconds() < end;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    pump();
  }
  UnhookWindowsHookEx(timing);
  const bool heldThroughTheSystemsCalls = holding;
  EXPECT_EQ(g_chained.calls, 2);
  EXPECT_EQ(g_chained.swallowed, 2);
  EXPECT_LT(g_chained.longest, 250.0);
  // Direct calls on this thread, timed without the thread switch.
  std::vector<double> took;
  for (int i = 0; i < 5; ++i) {
    KBDLLHOOKSTRUCT event;
    const double start = Milliseconds();
    EXPECT_EQ(Key(WM_KEYDOWN, 0, VK_F4, event), 1);
    took.push_back(Milliseconds() - start);
  }
  std::sort(took.begin(), took.end());
  EXPECT_LT(took[2], 30.0);
  EXPECT_LT(took.back(), 250.0);
  // More keys than the queue holds: the rest are dropped, not waited for.
  constexpr int kMore = 1100;
  int swallowed = 0;
  for (int i = 0; i < kMore; ++i) {
    KBDLLHOOKSTRUCT event;
    swallowed += Key(WM_KEYDOWN, 0, VK_F4, event) == 1;
  }
  EXPECT_EQ(swallowed, kMore);
  EXPECT_TRUE(heldThroughTheSystemsCalls && holding) << "the procedure returned only after the log was free";

  holder.join();
  WritePendingLines();
  Output2FILE::Stream() = saved;
  std::fclose(pipe);  // the last write end: the reader sees the end
  reader.join();
  CloseHandle(readEnd);
  // The holder's line first, then as many blocked keys as the queue holds,
  // in order, then what was dropped.
  const size_t big = written.find(std::string(64 * 1024, 'x'));
  const size_t firstKey = written.find("DEBUG: Key Event blocked : flag: 0x");
  const size_t dropped = written.find("INFO: Log queue full: ");
  EXPECT_NE(big, std::string::npos);
  EXPECT_LT(big, firstKey);
  EXPECT_EQ(Count(written, "DEBUG: Key Event blocked : flag: 0x"), 1024u);
  EXPECT_LT(written.rfind("DEBUG: Key Event blocked : flag: 0x"), dropped);
  EXPECT_NE(written.find("INFO: Log queue full: " + std::to_string(2 + 5 + kMore - 1024) + " lines dropped\n"),
            std::string::npos)
      << written.substr(written.size() > 2000 ? written.size() - 2000 : 0);
  ProtectKeyCheatStop();
}

// The hook thread stops turning (here: suspended; on Windows, whatever holds
// it is also what makes the system remove its hooks). The user-interface
// thread's look at its heartbeat logs it once, and once more when it runs
// again; a stop meanwhile does not wait for it without end: it removes the
// hook itself and says that the stop failed.
TEST_F(HookTest, StalledHookThreadIsReportedAndTheStopDoesNotWaitForIt) {
  ProtectKeyCheatStart(view_);
  ASSERT_NE(HookThreadId(), 0u);
  HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_QUERY_INFORMATION | SYNCHRONIZE, FALSE, HookThreadId());
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_HIGHEST);
  const auto watchUntil = [this](const char* what) {
    for (int i = 0; i < 60 && Count(Log(), what) == 0; ++i) {  // 6 s at most
      WatchHookThread();
      Sleep(100);
    }
    return Count(Log(), what);
  };
  WatchHookThread();
  EXPECT_EQ(Count(Log(), "Input hook thread"), 0u) << Log();
  SuspendThread(thread);
  EXPECT_EQ(watchUntil("INFO: Input hook thread stalled: no heartbeat for "), 1u) << Log();
  WatchHookThread();
  EXPECT_EQ(Count(Log(), "Input hook thread stalled"), 1u) << "once per stall";
  ResumeThread(thread);
  EXPECT_EQ(watchUntil("INFO: Input hook thread running again\n"), 1u) << Log();

  SuspendThread(thread);
  std::atomic<bool> stopped{false};
  std::thread stop([&] {
    ProtectKeyCheatStop();
    stopped = true;
  });
  for (int i = 0; i < 50 && !stopped; ++i) Sleep(100);  // 5 s at most
  EXPECT_TRUE(stopped) << "the stop waits for a stalled hook thread";
  ResumeThread(thread);
  stop.join();
  EXPECT_EQ(g_hKeyboardHook.load(), nullptr);
  EXPECT_EQ(Count(Log(), "INFO: ProtectKeyCheatStop failed\n"), 1u) << Log();
  EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0) << "the thread ends once it runs again";
  CloseHandle(thread);
  // A new start after that works as ever.
  ProtectKeyCheatStart(view_);
  EXPECT_NE(g_hKeyboardHook.load(), nullptr);
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
