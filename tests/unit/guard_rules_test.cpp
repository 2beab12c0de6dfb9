#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "agent/core/options.h"
#include "agent/guard/guard_rules.h"
#include "common/text/text_util.h"

namespace zv {
namespace {

// The sets as the agent builds them from its command line.
std::set<std::u16string> AppExceptions(const std::u16string& option) {
  TraySettings settings;
  settings.m_strProtectAppExceptionList = option;
  BuildFilterTables(settings);
  return g_setAppExceptions;
}
std::set<std::u16string> ExplorerExceptions(const std::u16string& option) {
  TraySettings settings;
  settings.m_strProtectExplorerExceptionList = option;
  BuildFilterTables(settings);
  return g_setExplorerExceptions;
}

TEST(CheatCandidate, StylesOwnerAndVisibility) {
  struct Case {
    const char* what;
    bool visible;
    uint32_t exStyle;
    bool owned;
    bool candidate;
  };
  const uint32_t app = kExStyleAppWindow, tool = kExStyleToolWindow;
  const Case cases[] = {
      {"plain unowned window", true, 0, false, true},
      {"notepad's styles (0x110)", true, 0x110, false, true},
      {"hidden window", false, 0, false, false},
      {"hidden app window", false, app, false, false},
      {"owned dialog", true, 0, true, false},
      {"owned dialog with WS_EX_APPWINDOW", true, app, true, true},
      {"tool window", true, tool, false, false},
      {"tool window with WS_EX_APPWINDOW", true, tool | app, false, true},
      {"owned tool window with WS_EX_APPWINDOW", true, tool | app, true, true},
      {"owned tool window", true, tool, true, false},
      {"other bits do not matter", true, 0xFFFFFFFFu & ~(app | tool), false, true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsCheatCandidate(c.visible, c.exStyle, c.owned), c.candidate) << c.what;
}

TEST(JudgeCandidate, ExceptionsAreWholeUpperCaseNames) {
  const auto exceptions = AppExceptions(u"notepad.exe,C:\\tools\\calc.exe, winword.exe ,EXPLORER.EXE");
  struct Case {
    const char16_t* cls;
    const char16_t* image;  // as the guard passes it: already upper case
    AppVerdict verdict;
  };
  const Case cases[] = {
      // Lower case in the list, upper case at run time: spared.
      {u"Notepad", u"NOTEPAD.EXE", AppVerdict::Exception},
      {u"Shell_TrayWnd", u"EXPLORER.EXE", AppVerdict::Exception},
      // An entry with a path or blanks never equals an image name.
      {u"SciCalc", u"CALC.EXE", AppVerdict::Cheat},
      {u"OpusApp", u"WINWORD.EXE", AppVerdict::Cheat},
      // No prefix or substring matches.
      {u"Notepad", u"NOTEPAD.EX", AppVerdict::Cheat},
      {u"Notepad", u"NOTEPAD.EXE2", AppVerdict::Cheat},
      // The image name is not found: empty, and the list holds no empty token.
      {u"Foreign", u"", AppVerdict::Cheat},
      // Browser frames are left alone whatever their process...
      {u"IEFrame", u"CHEAT.EXE", AppVerdict::BrowserFrame},
      {u"IEFrame", u"NOTEPAD.EXE", AppVerdict::BrowserFrame},
      // ...but only the exact class name counts.
      {u"ieframe", u"CHEAT.EXE", AppVerdict::Cheat},
      {u"IEFrame ", u"CHEAT.EXE", AppVerdict::Cheat},
  };
  for (const auto& c : cases)
    EXPECT_EQ(JudgeCandidate(c.cls, c.image, exceptions), c.verdict) << ToUtf8(c.cls) << " " << ToUtf8(c.image);
}

TEST(JudgeCandidate, EmptyTokenSparesWindowsWithoutImageName) {
  // Absent list, and a trailing comma: both hold the empty string.
  for (const auto& option : {std::u16string(), std::u16string(u"notepad.exe,")}) {
    const auto exceptions = AppExceptions(option);
    EXPECT_EQ(JudgeCandidate(u"Foreign", u"", exceptions), AppVerdict::Exception);
    EXPECT_EQ(JudgeCandidate(u"Foreign", u"CHEAT.EXE", exceptions), AppVerdict::Cheat);
  }
}

// The exam's frame is spared whatever its program and the exception list;
// an IEFrame keeps its own verdict.
TEST(JudgeCandidate, TheExamFrameIsSpared) {
  const std::set<std::u16string> exceptions{u"CALC.EXE"};
  EXPECT_EQ(JudgeCandidate(u"Chrome_WidgetWin_1", u"MSEDGE.EXE", exceptions, true), AppVerdict::ExamFrame);
  EXPECT_EQ(JudgeCandidate(u"Chrome_WidgetWin_1", u"MSEDGE.EXE", exceptions, false), AppVerdict::Cheat);
  EXPECT_EQ(JudgeCandidate(u"SciCalc", u"CALC.EXE", exceptions, true), AppVerdict::ExamFrame);
  EXPECT_EQ(JudgeCandidate(u"IEFrame", u"IEXPLORE.EXE", exceptions, true), AppVerdict::BrowserFrame);
}

// A handle names the exam page only while it names a window of the process
// and class found at start: a handle that Windows gave to another window is
// nothing.
TEST(IsSameWindow, SameProcessAndClassWhileItExists) {
  const WindowIdentity page{true, 4242, u"ZaduzeCtrlWindow"};
  const struct {
    WindowIdentity atStart, now;
    bool same;
  } cases[] = {
      {page, page, true},
      {page, {false, 0, u""}, false},                       // gone
      {page, {true, 5151, u"ZaduzeCtrlWindow"}, false},      // reused by another process
      {page, {true, 4242, u"Chrome_WidgetWin_1"}, false},    // reused in the same process
      {page, {true, 4242, u"zaduzectrlwindow"}, false},      // classes compare exactly
      {{false, 0, u""}, {false, 0, u""}, false},            // not a window at start
      {{false, 0, u""}, page, false},                       // a window appears later
  };
  for (const auto& c : cases) EXPECT_EQ(IsSameWindow(c.atStart, c.now), c.same) << c.now.pid << " " << c.now.exists;
}

TEST(ExamFrameLines, Layout) {
  EXPECT_EQ(ExamFrameLine(u"Chrome_WidgetWin_1", u"MSEDGE.EXE"), u"exam frame : [Chrome_WidgetWin_1] [MSEDGE.EXE]");
  EXPECT_EQ(NoExamFrameLine(4294967295u), u"exam frame : none, page window 4294967295 not found");
  EXPECT_EQ(KeptExamFrameLine(u"NEWS", u"HTTP://NEWS.EXAMPLE/"), u"kept exam frame : [NEWS] [HTTP://NEWS.EXAMPLE/]");
}

TEST(KilledAppLine, TitleAndImageInBrackets) {
  EXPECT_EQ(KilledAppLine(u"제목 없음 - 메모장", u"NOTEPAD.EXE"), u"killed app : [제목 없음 - 메모장] [NOTEPAD.EXE]");
  EXPECT_EQ(KilledAppLine(u"", u""), u"killed app : [] []");
}

TEST(BlackList, ImageNamesFoldedToUpperCase) {
  struct Case {
    const char16_t* exe;
    const char16_t* entry;
    bool match;
  };
  const Case cases[] = {
      {u"cheat.exe", u"CHEAT.EXE", true},
      {u"Cheat.Exe", u"CHEAT.EXE", true},
      {u"CHEAT.EXE", u"CHEAT.EXE", true},
      {u"cheat.exe", u"CHEAT", false},
      {u"cheat.exe", u"CHEAT.EXE ", false},
      {u"mycheat.exe", u"CHEAT.EXE", false},
      // Only a-z fold; the entry was folded the same way when the set was built.
      {u"é.exe", u"é.EXE", true},
      {u"é.exe", u"É.EXE", false},
      // The empty member every black list holds ends nothing.
      {u"", u"", false},
      {u"cheat.exe", u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsBlackListedImage(c.exe, c.entry), c.match) << ToUtf8(c.exe) << "|" << ToUtf8(c.entry);
}

// One snapshot serves the whole pass: the answers are those of walking it
// from the start for every window and every black-list entry.
TEST(ProcessTable, FirstEntryPerPidAndOneVictimPerBlackListEntry) {
  const ProcessTable table({{4, u"a.exe"}, {12, u"Cheat.exe"}, {7, u"cheat.exe"}, {4, u"late.exe"},
                            {9, u"tool.exe"}, {3, u"TOOL.EXE"}});
  const struct {
    uint32_t pid;
    const char16_t* image;
  } images[] = {{4, u"a.exe"}, {12, u"Cheat.exe"}, {7, u"cheat.exe"}, {3, u"TOOL.EXE"}, {5, u""}, {0, u""}};
  for (const auto& c : images) EXPECT_EQ(table.ImageName(c.pid), c.image) << c.pid;

  const struct {
    std::set<std::u16string> blackList;
    std::vector<BlackListVictim> victims;
  } lists[] = {
      {{u""}, {}},
      {{u"", u"CHEAT.EXE"}, {{12, u"CHEAT.EXE"}}},  // first copy in snapshot order
      {{u"CHEAT.EXE", u"TOOL.EXE", u"NONE"}, {{12, u"CHEAT.EXE"}, {9, u"TOOL.EXE"}}},  // set order
      {{u"A.EXE", u"LATE.EXE"}, {{4, u"A.EXE"}, {4, u"LATE.EXE"}}},
  };
  for (const auto& c : lists) EXPECT_EQ(table.BlackListVictims(c.blackList), c.victims);
  EXPECT_EQ(ProcessTable({}).ImageName(1), u"");
}

// A window of a process started after the pass's snapshot: its image name
// is looked up on demand, once, instead of standing as empty (which would
// have the window closed, or spared by an empty exception token).
TEST(ProcessTable, UnknownIdsAreLookedUpOnDemand) {
  std::vector<uint32_t> asked;
  const ProcessTable table({{4, u"a.exe"}}, [&asked](uint32_t pid) {
    asked.push_back(pid);
    return pid == 8 ? std::u16string(u"late.exe") : std::u16string();
  });
  EXPECT_EQ(table.ImageName(4), u"a.exe");
  EXPECT_EQ(table.ImageName(8), u"late.exe");
  EXPECT_EQ(table.ImageName(8), u"late.exe");
  EXPECT_EQ(table.ImageName(9), u"");  // gone meanwhile
  EXPECT_EQ(asked, (std::vector<uint32_t>{8, 9}));
}

// The black-list pass over a snapshot and, for each victim, the image read
// from the process its id names when it is opened: only a process that still
// runs the listed image is ended.
TEST(BlackList, EndsOnlyWhatStillRunsTheListedImage) {
  const ProcessTable snapshot({{12, u"cheat.exe"}, {20, u"tool.exe"}});
  const struct {
    const char* what;
    std::map<uint32_t, std::u16string> nowRunning;  // image path read from the opened process
    std::vector<uint32_t> ended;
  } rows[] = {
      {"both still run their images", {{12, u"C:\\Apps\\cheat.exe"}, {20, u"D:\\TOOL.EXE"}}, {12, 20}},
      {"id 12 now belongs to another image", {{12, u"C:\\Windows\\notepad.exe"}, {20, u"D:\\tool.exe"}}, {20}},
      {"a path with forward slashes", {{12, u"C:/Apps/Cheat.Exe"}}, {12}},
      {"a name that only ends like the listed one", {{12, u"C:\\Apps\\mycheat.exe"}}, {}},
      {"a folder named like the image", {{12, u"C:\\cheat.exe\\other.exe"}}, {}},
      {"the image cannot be read (or the id is gone)", {}, {}},
      {"a bare file name", {{12, u"cheat.exe"}}, {12}},
  };
  for (const auto& row : rows) {
    std::vector<uint32_t> ended;
    for (const auto& victim : snapshot.BlackListVictims({u"CHEAT.EXE", u"TOOL.EXE"})) {
      const auto now = row.nowRunning.find(victim.pid);
      if (StillBlackListed(victim, now == row.nowRunning.end() ? u"" : now->second)) ended.push_back(victim.pid);
    }
    EXPECT_EQ(ended, row.ended) << row.what;
  }
}

// --- browser window guard ----------------------------------------------------------

TEST(JudgeBrowser, AddressPrefixSparesAndStopsTheLines) {
  // Set order: "HTTP://EXAM.EXAMPLE/" < "HTTP://EXAM.EXAMPLE/TEST/" < "ZZZ".
  const auto exceptions = ExplorerExceptions(u"zzz,http://exam.example/test/,http://exam.example/");
  const auto j = JudgeBrowser(u"HTTP://EXAM.EXAMPLE/TEST/Q1", u"QUESTION 1", exceptions);
  EXPECT_EQ(j.verdict, BrowserVerdict::SparedByAddress);
  // The first entry already matches: the later ones are neither tested nor logged.
  ASSERT_EQ(j.lines.size(), 1u);
  EXPECT_EQ(j.lines[0], u"checking ie  : [HTTP://EXAM.EXAMPLE/TEST/Q1]에서  [HTTP://EXAM.EXAMPLE/] 검색 0");
}

TEST(JudgeBrowser, PositionAfterTheStartDoesNotSpare) {
  const auto exceptions = ExplorerExceptions(u"exam.example,other.example");
  const auto j = JudgeBrowser(u"HTTP://EXAM.EXAMPLE/", u"EXAM", exceptions);
  EXPECT_EQ(j.verdict, BrowserVerdict::Close);
  ASSERT_EQ(j.lines.size(), 2u);
  EXPECT_EQ(j.lines[0], u"checking ie  : [HTTP://EXAM.EXAMPLE/]에서  [EXAM.EXAMPLE] 검색 7");
  EXPECT_EQ(j.lines[1], u"checking ie  : [HTTP://EXAM.EXAMPLE/]에서  [OTHER.EXAMPLE] 검색 -1");
}

TEST(JudgeBrowser, TitleEntrySparesWholeTitlesOnly) {
  const auto exceptions = ExplorerExceptions(u"http://exam.example/,Online Exam");
  EXPECT_EQ(JudgeBrowser(u"HTTP://ELSEWHERE/", u"ONLINE EXAM", exceptions).verdict, BrowserVerdict::SparedByTitle);
  // Every entry was tested against the address first.
  EXPECT_EQ(JudgeBrowser(u"HTTP://ELSEWHERE/", u"ONLINE EXAM", exceptions).lines.size(), 2u);
  EXPECT_EQ(JudgeBrowser(u"HTTP://ELSEWHERE/", u"ONLINE EXAM 2", exceptions).verdict, BrowserVerdict::Close);
  EXPECT_EQ(JudgeBrowser(u"HTTP://ELSEWHERE/", u"ONLINE", exceptions).verdict, BrowserVerdict::Close);
  // A title that is an address entry spares by title even when the address differs.
  EXPECT_EQ(JudgeBrowser(u"ABOUT:BLANK", u"HTTP://EXAM.EXAMPLE/", exceptions).verdict, BrowserVerdict::SparedByTitle);
}

TEST(JudgeBrowser, EmptyTokenSparesEverything) {
  for (const auto& option : {std::u16string(), std::u16string(u"http://exam.example/,")}) {
    const auto exceptions = ExplorerExceptions(option);
    for (const char16_t* address : {u"HTTP://ANYWHERE/", u"", u"C:\\USERS\\"}) {
      const auto j = JudgeBrowser(address, u"", exceptions);
      EXPECT_EQ(j.verdict, BrowserVerdict::SparedByAddress) << ToUtf8(option);
      // The empty entry sorts first and is found at 0.
      ASSERT_EQ(j.lines.size(), 1u);
      EXPECT_EQ(j.lines[0], u"checking ie  : [" + std::u16string(address) + u"]에서  [] 검색 0");
    }
  }
}

TEST(JudgeBrowser, EntryLongerThanAddress) {
  const auto exceptions = ExplorerExceptions(u"http://exam.example/long/path");
  const auto j = JudgeBrowser(u"HTTP://EXAM.EXAMPLE/", u"EXAM", exceptions);
  EXPECT_EQ(j.verdict, BrowserVerdict::Close);
  ASSERT_EQ(j.lines.size(), 1u);
  EXPECT_EQ(j.lines[0], u"checking ie  : [HTTP://EXAM.EXAMPLE/]에서  [HTTP://EXAM.EXAMPLE/LONG/PATH] 검색 -1");
}

TEST(BrowserLines, KilledLineAndPositions) {
  EXPECT_EQ(KilledBrowserLine(u"NEWS", u"HTTP://NEWS.EXAMPLE/"), u"killed ie  : [NEWS] [HTTP://NEWS.EXAMPLE/]");
  EXPECT_EQ(FindPosition(u"ABCABC", u"C"), 2);
  EXPECT_EQ(FindPosition(u"ABC", u""), 0);
  EXPECT_EQ(FindPosition(u"", u""), 0);
  EXPECT_EQ(FindPosition(u"", u"A"), -1);
}

TEST(TabShowsPage, TextBeginsWithTheTitle) {
  EXPECT_TRUE(TabShowsPage(u"NEWS - WINDOWS INTERNET EXPLORER", u"NEWS"));
  EXPECT_TRUE(TabShowsPage(u"NEWS", u"NEWS"));
  EXPECT_FALSE(TabShowsPage(u"ONLINE EXAM", u"NEWS"));
  EXPECT_FALSE(TabShowsPage(u"THE NEWS", u"NEWS"));
  EXPECT_FALSE(TabShowsPage(u"NEW", u"NEWS"));
  // An empty title is shown by every tab: the first one is chosen.
  EXPECT_TRUE(TabShowsPage(u"ONLINE EXAM", u""));
  EXPECT_TRUE(TabShowsPage(u"", u""));
}

TEST(ComErrorText, SystemMessageOrTheTwoFallbacks) {
  struct Case {
    uint32_t hr;
    const char16_t* system;
    const char16_t* text;
  };
  const Case cases[] = {
      {0x80004005u, u"Unspecified error\r\n", u"Unspecified error"},
      {0x80004005u, u"Unspecified error\n", u"Unspecified error"},
      {0x80004005u, u"Two lines\r\nend\r\n", u"Two lines\r\nend"},
      {0x80004005u, u"no break", u"no break"},
      {0x80040200u, u"", u"IDispatch error #0"},
      {0x80040205u, u"", u"IDispatch error #5"},
      {0x8004FFFFu, u"", u"IDispatch error #65023"},
      {0x800401FFu, u"", u"Unknown error 0x800401FF"},
      {0x80050000u, u"", u"Unknown error 0x80050000"},
      {0x8000FFFFu, u"", u"Unknown error 0x8000FFFF"},
      {0x00000001u, u"", u"Unknown error 0x1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ComErrorText(static_cast<int32_t>(c.hr), c.system), c.text) << std::hex << c.hr;
  EXPECT_EQ(ExplorerErrorLine(static_cast<int32_t>(0x80040201u), u""),
            u"exception on ProtectInternetExplorer : IDispatch error #1");
}

TEST(ToolbarWalk, DirectChildrenByClass) {
  struct Case {
    const char16_t* cls;
    bool ownTab;
    ToolbarChildAction action;
  };
  using A = ToolbarChildAction;
  const Case cases[] = {
      {u"TabWindowClass", false, A::Disable}, {u"TabWindowClass", true, A::Leave},
      {u"Shell DocObject View", false, A::Leave}, {u"Frame Tab", false, A::Leave},
      {u"ReBarWindow32", false, A::Disable}, {u"msctls_statusbar32", false, A::Disable},
      {u"ZedudeVeriView", false, A::Disable}, {u"tabwindowclass", false, A::Disable},
      {u"Frame Tab ", false, A::Disable}, {u"", false, A::Disable},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassifyToolbarChild(c.cls, c.ownTab), c.action) << ToUtf8(c.cls);
}

}  // namespace
}  // namespace zv
