// The browser window guard in-process: a ShellWindows stand-in registered for
// this thread reports browsers over windows of this test; every WM_CLOSE that
// the pass posts is recorded by the window that receives it.
#include <windows.h>

#include <exdisp.h>
#include <gtest/gtest.h>

#include "agent/core/options.h"
#include "agent/guard/explorer_guard.h"
#include "agent/guard/guard_rules.h"
#include "common/log/log.h"
#include "tests/win/guard/fake_shell_windows.h"
#include "tests/win/guard/guard_test_support.h"

namespace zv {
namespace {

using zvtest::FakeBrowser;
using zvtest::FakeCall;
using zvtest::FakeShell;
using zvtest::TestWindows;

std::string Debug(const std::u16string& text) { return "DEBUG: " + LogText(text); }
std::string Checking(const std::u16string& address, const std::u16string& entry, int position) {
  return Debug(zv::CheckingLine(address, entry, position));
}
std::string Killed(const std::u16string& title, const std::u16string& address) {
  return Debug(u"killed ie  : [" + title + u"] [" + address + u"]");
}

FakeBrowser B(const wchar_t* url, const wchar_t* title, HWND window) {
  FakeBrowser b;
  b.url = url;
  b.title = title;
  b.window = window;
  return b;
}

class ExplorerGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    factory_ = zvtest::NewFakeShellFactory(false);
    ASSERT_EQ(CoRegisterClassObject(CLSID_ShellWindows, factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_),
              S_OK);
  }
  void TearDown() override {
    CoRevokeClassObject(cookie_);
    factory_->Release();
    CoUninitialize();
  }
  static void Exceptions(const std::u16string& list) {
    zv::TraySettings settings;
    settings.m_strProtectExplorerExceptionList = list;
    zv::BuildFilterTables(settings);
  }
  // One pass; returns its log lines once the posted messages are delivered.
  static std::vector<std::string> Pass(const FakeShell& shell) {
    zvtest::SetFakeShell(shell);
    zvtest::LogCapture log;
    TestWindows::Closed().clear();
    zv::ProtectInternetExplorer();
    TestWindows::Pump();
    return log.Lines();
  }

  // The browser guard never looks at visibility: hidden windows are quicker.
  HWND Window(const wchar_t* title, const wchar_t* cls = L"ZvGuardTestWindow") {
    return windows_.Top(title, 0, false, nullptr, cls);
  }

  TestWindows windows_;
  IClassFactory* factory_ = nullptr;
  DWORD cookie_ = 0;
};

TEST_F(ExplorerGuardTest, ExceptionPrefixSparesAndLaterPositionsDoNot) {
  Exceptions(u"http://exam.example/,exam.example");  // set order: EXAM.EXAMPLE, HTTP://EXAM.EXAMPLE/
  HWND exam = Window(L"exam");
  HWND news = Window(L"news");
  FakeShell shell;
  shell.browsers = {B(L"http://exam.example/test", L"Online Exam", exam),
                    B(L"http://news.example/?q=exam.example", L"News", news)};
  const auto lines = Pass(shell);
  const std::vector<std::string> expected = {
      Checking(u"HTTP://EXAM.EXAMPLE/TEST", u"EXAM.EXAMPLE", 7),
      Checking(u"HTTP://EXAM.EXAMPLE/TEST", u"HTTP://EXAM.EXAMPLE/", 0),
      Checking(u"HTTP://NEWS.EXAMPLE/?Q=EXAM.EXAMPLE", u"EXAM.EXAMPLE", 23),
      Checking(u"HTTP://NEWS.EXAMPLE/?Q=EXAM.EXAMPLE", u"HTTP://EXAM.EXAMPLE/", -1),
      Killed(u"NEWS", u"HTTP://NEWS.EXAMPLE/?Q=EXAM.EXAMPLE"),
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(TestWindows::Closed(), std::vector<HWND>{news});
}

TEST_F(ExplorerGuardTest, TitleEntrySparesWholeTitle) {
  Exceptions(u"http://exam.example/,Online Exam");
  HWND a = Window(L"a"), b = Window(L"b");
  FakeShell shell;
  shell.browsers = {B(L"http://mirror.example/", L"online exam", a), B(L"http://mirror.example/", L"Online Exam 2", b)};
  const auto lines = Pass(shell);
  EXPECT_EQ(TestWindows::Closed(), std::vector<HWND>{b});
  ASSERT_EQ(lines.size(), 5u);  // two entries tested per browser, one kill
  EXPECT_EQ(lines[4], Killed(u"ONLINE EXAM 2", u"HTTP://MIRROR.EXAMPLE/"));
}

TEST_F(ExplorerGuardTest, ForeignTabIsClosedAsTab) {
  Exceptions(u"http://exam.example/");
  // One browser window, two tab containers; both pages report the same window.
  HWND top = Window(L"Windows Internet Explorer", L"IEFrame");
  HWND first = windows_.Child(top, L"Frame Tab");
  HWND examTab = windows_.Child(first, L"TabWindowClass", L"Online Exam - Windows Internet Explorer");
  HWND newsTab = windows_.Child(first, L"TabWindowClass", L"news - Windows Internet Explorer");
  HWND second = windows_.Child(top, L"Frame Tab");
  HWND laterNewsTab = windows_.Child(second, L"TabWindowClass", L"News");
  FakeShell shell;
  shell.browsers = {B(L"http://exam.example/", L"Online Exam", top), B(L"http://news.example/", L"News", top)};
  Pass(shell);
  EXPECT_EQ(TestWindows::Closed(), std::vector<HWND>{newsTab});
  EXPECT_FALSE(TestWindows::WasClosed(examTab));
  EXPECT_FALSE(TestWindows::WasClosed(laterNewsTab));
  EXPECT_FALSE(TestWindows::WasClosed(top));
}

TEST_F(ExplorerGuardTest, ForeignWindowIsClosedWhole) {
  Exceptions(u"http://exam.example/");
  // Tabs that do not show the page, a tab outside any container, no tabs at all.
  HWND tabbed = Window(L"tabbed");
  HWND container = windows_.Child(tabbed, L"Frame Tab");
  HWND otherTab = windows_.Child(container, L"TabWindowClass", L"The News");
  HWND loose = Window(L"loose");
  HWND looseTab = windows_.Child(loose, L"TabWindowClass", L"News");
  HWND folder = Window(L"folder");
  FakeShell shell;
  shell.browsers = {B(L"http://news.example/", L"News", tabbed), B(L"http://news.example/", L"News", loose),
                    B(L"file:///C:/users/", L"users", folder)};
  Pass(shell);
  EXPECT_EQ(TestWindows::Closed(), (std::vector<HWND>{tabbed, loose, folder}));
  EXPECT_FALSE(TestWindows::WasClosed(otherTab));
  EXPECT_FALSE(TestWindows::WasClosed(looseTab));
}

TEST_F(ExplorerGuardTest, BrowserWithoutWindowClosesNothingElse) {
  Exceptions(u"http://exam.example/");
  // A top-level tab container elsewhere on the desktop must not be searched.
  HWND stray = Window(L"", L"Frame Tab");
  HWND strayTab = windows_.Child(stray, L"TabWindowClass", L"News");
  FakeShell shell;
  shell.browsers = {B(L"http://news.example/", L"News", nullptr)};
  const auto lines = Pass(shell);
  EXPECT_TRUE(TestWindows::Closed().empty());
  EXPECT_FALSE(TestWindows::WasClosed(strayTab));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), Killed(u"NEWS", u"HTTP://NEWS.EXAMPLE/"));
}

TEST_F(ExplorerGuardTest, EmptyTitleChoosesTheFirstTab) {
  Exceptions(u"http://exam.example/");
  HWND top = Window(L"browser");
  HWND container = windows_.Child(top, L"Frame Tab");
  HWND firstTab = windows_.Child(container, L"TabWindowClass", L"Online Exam");
  windows_.Child(container, L"TabWindowClass", L"");
  FakeShell shell;
  shell.browsers = {B(L"about:blank", L"", top)};
  Pass(shell);
  EXPECT_EQ(TestWindows::Closed(), std::vector<HWND>{firstTab});
}

TEST_F(ExplorerGuardTest, EmptyListOrEmptyTokenSparesEverything) {
  for (const std::u16string list : {u"", u"http://exam.example/,"}) {
    Exceptions(list);
    HWND a = Window(L"a");
    FakeShell shell;
    shell.browsers = {B(L"http://news.example/", L"News", a), B(L"", L"", a)};
    const auto lines = Pass(shell);
    EXPECT_TRUE(TestWindows::Closed().empty());
    EXPECT_EQ(lines, (std::vector<std::string>{Checking(u"HTTP://NEWS.EXAMPLE/", u"", 0), Checking(u"", u"", 0)}));
  }
}

TEST_F(ExplorerGuardTest, MissingItemsAndOtherObjectsAreSkipped) {
  Exceptions(u"http://exam.example/");
  HWND a = Window(L"a");
  FakeShell shell;
  FakeBrowser missing, other, query;
  missing.missing = true;
  other.notBrowser = true;
  shell.browsers = {missing, other, B(L"http://news.example/", L"News", a)};
  const auto lines = Pass(shell);
  EXPECT_EQ(TestWindows::Closed(), std::vector<HWND>{a});
  EXPECT_EQ(zvtest::FakeShellAddressReads(), std::vector<int>{2});
  EXPECT_EQ(lines.size(), 2u);
}

TEST_F(ExplorerGuardTest, FailureOnTheThirdBrowserStillClosesTheFirstTwo) {
  Exceptions(u"http://exam.example/");
  // An HRESULT of the dispatch range without a system message.
  const HRESULT failure = static_cast<HRESULT>(0x8004FF00);
  for (FakeCall call : {FakeCall::Item, FakeCall::Query, FakeCall::Url, FakeCall::Title, FakeCall::Hwnd}) {
    HWND a = Window(L"a"), b = Window(L"b"), c = Window(L"c"), d = Window(L"d");
    FakeShell shell;
    shell.browsers = {B(L"http://one.example/", L"One", a), B(L"http://two.example/", L"Two", b),
                      B(L"http://three.example/", L"Three", c), B(L"http://four.example/", L"Four", d)};
    shell.browsers[2].fail = call;
    shell.browsers[2].failHr = failure;
    const auto lines = Pass(shell);
    const int call_no = static_cast<int>(call);
    EXPECT_EQ(TestWindows::Closed(), (std::vector<HWND>{a, b})) << call_no;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "DEBUG: exception on ProtectInternetExplorer : IDispatch error #64768") << call_no;
    // The fourth browser is not looked at in this pass.
    const auto reads = zvtest::FakeShellAddressReads();
    EXPECT_TRUE(reads.size() <= 3 && (reads.empty() || reads.back() <= 2)) << call_no;
  }
}

// The session ends inside a cross-process call of the pass (its modal loop
// dispatched the close): nothing chosen so far is closed, nothing more logged.
TEST_F(ExplorerGuardTest, SessionEndedDuringThePassClosesAndLogsNothingMore) {
  Exceptions(u"http://exam.example/");
  for (size_t endsAtRead : {1u, 2u, 3u}) {
    HWND a = Window(L"a"), b = Window(L"b"), c = Window(L"c");
    FakeShell shell;
    shell.browsers = {B(L"http://one.example/", L"One", a), B(L"http://two.example/", L"Two", b),
                      B(L"http://three.example/", L"Three", c)};
    zvtest::SetFakeShell(shell);
    zvtest::LogCapture log;
    TestWindows::Closed().clear();
    zv::ProtectInternetExplorer([endsAtRead] { return zvtest::FakeShellAddressReads().size() < endsAtRead; });
    TestWindows::Pump();
    EXPECT_TRUE(TestWindows::Closed().empty()) << endsAtRead;
    // Each browser judged before the end wrote its "checking" and "killed" lines.
    EXPECT_EQ(log.Lines().size(), 2 * (endsAtRead - 1)) << endsAtRead;
  }
}

TEST_F(ExplorerGuardTest, FailuresWithSystemMessagesAndOfTheCollection) {
  Exceptions(u"http://exam.example/");
  HWND a = Window(L"a");
  FakeShell shell;
  shell.browsers = {B(L"http://news.example/", L"News", a)};
  shell.countHr = E_ACCESSDENIED;
  auto lines = Pass(shell);
  EXPECT_TRUE(TestWindows::Closed().empty());
  ASSERT_EQ(lines.size(), 1u);
  const std::string prefix = "DEBUG: exception on ProtectInternetExplorer : ";
  ASSERT_EQ(lines[0].compare(0, prefix.size(), prefix), 0) << lines[0];
  const std::string message = lines[0].substr(prefix.size());
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message.find("Unknown error"), std::string::npos) << message;  // the system has a text for it
  EXPECT_NE(message.back(), '\n');
  EXPECT_NE(message.back(), '\r');

  // The collection itself cannot be created: the same line, nothing else.
  shell.countHr = S_OK;
  shell.createHr = static_cast<HRESULT>(0x80041234);
  lines = Pass(shell);
  EXPECT_EQ(lines, std::vector<std::string>{"DEBUG: exception on ProtectInternetExplorer : IDispatch error #4148"});
  EXPECT_TRUE(TestWindows::Closed().empty());
}

TEST_F(ExplorerGuardTest, StartAndStopSetAndKillTimer1003) {
  HWND view = windows_.Top(L"view", 0, false);
  zvtest::LogCapture log;
  zv::ProtectExplorerCheatStart(view);
  zv::ProtectExplorerCheatStart(view);
  EXPECT_TRUE(KillTimer(view, 1003));   // the timer was set...
  EXPECT_FALSE(KillTimer(view, 1003));  // ...once
  zv::ProtectExplorerCheatStart(view);
  zv::ProtectExplorerCheatStop(view);
  EXPECT_FALSE(KillTimer(view, 1003));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INFO: ProtectExplorerCheatStart OK", "INFO: ProtectExplorerCheatStart OK",
                                                   "INFO: ProtectExplorerCheatStart OK", "INFO: ProtectExplorerCheatStop OK"}));
}

// --- the toolbar walk ----------------------------------------------------------------

TEST(BrowserToolbars, DisablesDirectChildrenExceptOwnTabViewsAndContainers) {
  TestWindows windows;
  HWND top = windows.Top(L"browser", 0, true, nullptr, L"IEFrame");
  HWND toolbar = windows.Child(top, L"ZvToolbar");
  HWND grandchild = windows.Child(toolbar, L"ZvToolbar");
  HWND ownTab = windows.Child(top, L"TabWindowClass");
  HWND docView = windows.Child(ownTab, L"Shell DocObject View");
  HWND start = windows.Child(docView, L"ZvGuardTestWindow");
  HWND otherTab = windows.Child(top, L"TabWindowClass");
  HWND otherTabView = windows.Child(otherTab, L"Shell DocObject View");
  HWND container = windows.Child(top, L"Frame Tab");
  HWND topView = windows.Child(top, L"Shell DocObject View");
  zv::DisableBrowserToolbars(start);
  EXPECT_FALSE(IsWindowEnabled(toolbar));
  EXPECT_FALSE(IsWindowEnabled(otherTab));
  EXPECT_TRUE(IsWindowEnabled(ownTab));
  EXPECT_TRUE(IsWindowEnabled(container));
  EXPECT_TRUE(IsWindowEnabled(topView));
  // Grandchildren and the top window itself are not visited.
  EXPECT_TRUE(IsWindowEnabled(grandchild));
  EXPECT_TRUE(IsWindowEnabled(otherTabView));
  EXPECT_TRUE(IsWindowEnabled(docView));
  EXPECT_TRUE(IsWindowEnabled(start));
  EXPECT_TRUE(IsWindowEnabled(top));
}

TEST(BrowserToolbars, AgentFrameDisablesItsOwnViewAndNothingWithoutParent) {
  TestWindows windows;
  HWND frame = windows.Top(L"frame", 0, false);
  HWND view = windows.Child(frame, L"ZvGuardTestWindow");
  HWND bar = windows.Child(frame, L"ZvToolbar");
  zv::DisableBrowserToolbars(view);
  EXPECT_FALSE(IsWindowEnabled(view));
  EXPECT_FALSE(IsWindowEnabled(bar));
  EXPECT_TRUE(IsWindowEnabled(frame));

  // A window without a parent: there is no top window and nothing changes.
  HWND lone = windows.Top(L"lone");
  HWND child = windows.Child(lone, L"ZvToolbar");
  zv::DisableBrowserToolbars(lone);
  EXPECT_TRUE(IsWindowEnabled(child));
  EXPECT_TRUE(IsWindowEnabled(lone));
}

}  // namespace
}  // namespace zv
