// The application guard in-process: windows of this test with chosen styles,
// the real process snapshot, and copies of a helper program for the black list.
#include <windows.h>

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <set>

#include "agent/core/options.h"
#include "agent/guard/app_guard.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"
#include "tests/win/guard/guard_test_support.h"

namespace zv {
namespace {

using zvtest::TestWindows;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}
std::wstring FileName(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }
std::u16string OwnImageUpper() { return zv::ToUpperAscii(zv::U16(FileName(ModulePath()))); }

void AppLists(const std::u16string& exceptions, const std::u16string& blackList = u"") {
  zv::TraySettings settings;
  settings.m_strProtectAppExceptionList = exceptions;
  settings.m_strProtectAppBlackList = blackList;
  zv::BuildFilterTables(settings);
}

// Every image name running now except this program's: the windows of other
// programs on the desktop are spared, so a pass touches only ours.
std::u16string EveryOtherImage() {
  std::u16string list;
  const zv::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (zv::ToUpperAscii(zv::U16(entry.szExeFile)) == OwnImageUpper()) continue;
    list += zv::U16(entry.szExeFile) + u",";
  }
  return list;
}

// The windows of one program: five that the rule selects, five it does not.
struct Desk {
  explicit Desk(TestWindows& w) {
    HWND owner = w.Top(L"owner", 0, false);
    cheats = {w.Top(L"cheat 1"), w.Top(L"cheat 2"), w.Top(L"cheat 3"), w.Top(L"tool app", WS_EX_TOOLWINDOW | WS_EX_APPWINDOW),
              w.Top(L"owned app", WS_EX_APPWINDOW, true, owner)};
    spared = {owner, w.Top(L"hidden", 0, false), w.Top(L"owned", 0, true, owner), w.Top(L"tool", WS_EX_TOOLWINDOW),
              w.Top(L"browser", 0, true, nullptr, L"IEFrame")};
  }
  std::vector<HWND> cheats, spared;
};

// One desk for the tests that use it: its WS_EX_APPWINDOW windows are slow to
// destroy under Wine.
class DeskTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    windows_ = new TestWindows;
    desk_ = new Desk(*windows_);
  }
  static void TearDownTestSuite() {
    delete desk_;
    delete windows_;
  }
  void SetUp() override { TestWindows::Closed().clear(); }
  static TestWindows* windows_;
  static Desk* desk_;
};
TestWindows* DeskTest::windows_ = nullptr;
Desk* DeskTest::desk_ = nullptr;

TEST(ProcessImageName, FromTheSnapshotOrEmpty) {
  EXPECT_EQ(zv::ToUpperAscii(zv::GetProcessImageName(GetCurrentProcessId())), OwnImageUpper());
  // A process id that no process has (ids are multiples of 4).
  EXPECT_EQ(zv::GetProcessImageName(0xFFFFFFF1u), u"");
}

TEST_F(DeskTest, CountsWindowsNotPrograms) {
  const std::u16string own = OwnImageUpper();
  AppLists(own);
  const int32_t others = zv::CountCheatApps();
  struct Case {
    std::u16string list;
    int32_t ours;
  };
  std::u16string lower = own;
  for (auto& c : lower)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  const Case cases[] = {
      {own, 0},               // excepted by its image name
      {lower, 0},             // written in lower case in the list
      {u"", 5},               // empty list: every candidate with a known image name
      {u" " + own, 5},        // blanks around an entry never match
      {u"C:\\" + own, 5},     // nor a path
      {u"other.exe", 5},
  };
  for (const auto& c : cases) {
    AppLists(c.list);
    EXPECT_EQ(zv::CountCheatApps(), others + c.ours) << zv::ToUtf8(c.list);
  }
  TestWindows::Pump();
  EXPECT_TRUE(TestWindows::Closed().empty());  // counting closes nothing
}

TEST_F(DeskTest, ClosePostsToCandidatesAndLogsThem) {
  AppLists(EveryOtherImage());
  zvtest::LogCapture log;
  zv::CloseCheatApps();
  TestWindows::Pump();
  std::vector<HWND> closed = TestWindows::Closed();
  std::sort(closed.begin(), closed.end());
  std::vector<HWND> expected = desk_->cheats;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(closed, expected);

  const auto logged = log.Lines();
  std::multiset<std::string> lines(logged.begin(), logged.end());
  const std::string image = LogText(OwnImageUpper());
  std::multiset<std::string> expectedLines;
  for (const char* title : {"cheat 1", "cheat 2", "cheat 3", "tool app", "owned app"})
    expectedLines.insert(std::string("DEBUG: killed app : [") + title + "] [" + image + "]");
  EXPECT_EQ(lines, expectedLines);

  // Asked again on every pass while the windows stay.
  TestWindows::Closed().clear();
  zv::CloseCheatApps();
  TestWindows::Pump();
  EXPECT_EQ(TestWindows::Closed().size(), 5u);

  // Excepted by image name: nothing is posted at all.
  AppLists(EveryOtherImage() + zv::U16(FileName(ModulePath())));
  TestWindows::Closed().clear();
  zv::CloseCheatApps();
  TestWindows::Pump();
  EXPECT_TRUE(TestWindows::Closed().empty());
}

TEST(CloseCheatApps, LongTitlesAreCutTo254Characters) {
  TestWindows w;
  const std::wstring title(300, L'x');
  w.Top(title.c_str());
  AppLists(EveryOtherImage());
  zvtest::LogCapture log;
  zv::CloseCheatApps();
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "DEBUG: killed app : [" + std::string(254, 'x') + "] [" + LogText(OwnImageUpper()) + "]");
  TestWindows::Pump();
}

TEST(AppGuardTimer, StartAndStopSetAndKillTimer1002) {
  TestWindows w;
  HWND view = w.Top(L"view", 0, false);
  zvtest::LogCapture log;
  zv::ProtectAppCheatStart(view);
  zv::ProtectAppCheatStart(view);
  EXPECT_TRUE(KillTimer(view, 1002));
  EXPECT_FALSE(KillTimer(view, 1002));
  zv::ProtectAppCheatStart(view);
  zv::ProtectAppCheatStop(view);
  EXPECT_FALSE(KillTimer(view, 1002));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INFO: ProtectAppCheatStart OK", "INFO: ProtectAppCheatStart OK",
                                                   "INFO: ProtectAppCheatStart OK", "INFO: ProtectAppCheatStop OK"}));
}

// Two running copies of a black-listed program: one ends per pass.
class BlackListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring dir = ModulePath().substr(0, ModulePath().find_last_of(L"\\/"));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    name_ = L"ZvBlack" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    copy_ = std::wstring(temp) + name_;
    ASSERT_TRUE(CopyFileW((dir + L"\\guard_windows.exe").c_str(), copy_.c_str(), FALSE))
        << "guard_windows.exe next to the test program";
    for (auto& process : processes_) {
      STARTUPINFOW si{};
      si.cb = sizeof si;
      PROCESS_INFORMATION pi{};
      std::wstring line = L"\"" + copy_ + L"\" -life 30000 -name \"zv black\"";
      ASSERT_TRUE(CreateProcessW(copy_.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
      const zv::UniqueKernelHandle thread(pi.hThread);
      process = pi.hProcess;
    }
  }
  void TearDown() override {
    for (HANDLE process : processes_) {
      if (!process) continue;
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
    DeleteFileW(copy_.c_str());
  }
  int Running() const {
    int running = 0;
    for (HANDLE process : processes_) running += WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    return running;
  }
  // Waits for a termination to arrive (or not); returns how many still run.
  int RunningAfterPass() const {
    zv::KillBlackListedApps();
    WaitForMultipleObjects(2, processes_, FALSE, 5000);
    Sleep(300);  // a second termination, if any, would show by now
    return Running();
  }

  std::wstring name_, copy_;
  HANDLE processes_[2] = {};
};

TEST_F(BlackListTest, OneCopyPerPassWithExitCodeZero) {
  // Listed in lower case, after an entry that matches nothing.
  std::u16string listed = zv::U16(name_);
  for (auto& c : listed)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  AppLists(u"", u"aaa.exe," + listed + u",");
  ASSERT_EQ(Running(), 2);
  EXPECT_EQ(RunningAfterPass(), 1);
  EXPECT_EQ(RunningAfterPass(), 0);
  for (HANDLE process : processes_) {
    DWORD code = 99;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 0u);
  }
  zv::KillBlackListedApps();  // nothing left to end
}

// Process ids are reused: the pass ends a process only when the image of the
// process it opened is still the listed one. The table's entries stand for a
// snapshot taken before the id changed hands.
TEST_F(BlackListTest, IdNowBelongingToAnotherImageEndsNothing) {
  const std::u16string ours = zv::ToUpperAscii(zv::U16(name_));
  const auto pid = static_cast<uint32_t>(GetProcessId(processes_[0]));
  zv::EndBlackListedProcesses(zv::ProcessTable({{pid, u"notepad.exe"}}), {u"NOTEPAD.EXE"});
  Sleep(300);
  EXPECT_EQ(Running(), 2);
  // The same pass with the image the id really has ends that copy.
  zv::EndBlackListedProcesses(zv::ProcessTable({{pid, zv::U16(name_)}}), {ours});
  EXPECT_EQ(WaitForSingleObject(processes_[0], 5000), WAIT_OBJECT_0);
  EXPECT_EQ(Running(), 1);
}

TEST_F(BlackListTest, UnlistedOrEmptyListEndsNothing) {
  const std::u16string name = zv::U16(name_);
  for (const std::u16string& list : std::vector<std::u16string>{u"", u",", u" " + name, name.substr(1)}) {
    AppLists(u"", list);
    zv::KillBlackListedApps();
  }
  Sleep(300);
  EXPECT_EQ(Running(), 2);
}

}  // namespace
}  // namespace zv
