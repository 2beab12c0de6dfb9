// Agent launcher and supervisor: the session start and stop the page asks
// for, the one-shot runner, and the 500 ms tick that keeps the agent alive and
// starts it again when its window has gone.
#include "control/agentlink/launcher_win.h"

#include "agent/core/agent_messages.h"
#include "agent/core/command_line.h"
#include "common/log/log.h"
#include "control/agentlink/notice_popup_win.h"
#include "control/agentlink/services.h"
#include "control/ocx/zaduze_ctrl.h"
#include "control/ocx/zaduze_key_win.h"
#include "platform/handles.h"
#include "platform/wide.h"
#include "platform/window.h"

namespace zv {

namespace {
constexpr wchar_t kInstallValue[] = L"Path";
constexpr wchar_t kAgentProgram[] = L"\\ZedudeVeri.exe";
}  // namespace

namespace {

// "Path" below SOFTWARE\Zaduze of `root`: the text up to its NUL or the end of
// the data, whatever the value's type; empty on any failure. `exists` tells
// whether the value is there at all (false only when the key or the value
// is not found).
std::u16string ReadInstallValue(HKEY root, bool& exists) {
  exists = false;
  UniqueRegKey key;
  const LSTATUS open = OpenZaduzeKey(root, KEY_QUERY_VALUE, key);
  if (open != ERROR_SUCCESS) {
    exists = open != ERROR_FILE_NOT_FOUND;
    return {};
  }
  DWORD size = 0;
  const LSTATUS query = RegQueryValueExW(key.get(), kInstallValue, nullptr, nullptr, nullptr, &size);
  exists = query != ERROR_FILE_NOT_FOUND;
  if (query != ERROR_SUCCESS || size == 0) return {};
  std::u16string buffer((size + 1) / 2, u'\0');
  if (RegQueryValueExW(key.get(), kInstallValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  buffer.resize(size / 2);
  const size_t nul = buffer.find(u'\0');
  if (nul != std::u16string::npos) buffer.resize(nul);
  return buffer;
}

}  // namespace

std::u16string GetInstallFolder() {
  // The machine-wide value an installation writes comes first, in the 64-bit
  // view from both builds (the 32-bit control starts the same agent); the
  // user cannot change it. Only where it does not exist does the user's own
  // value count.
  bool exists = false;
  std::u16string machine = ReadInstallValue(HKEY_LOCAL_MACHINE, exists);
  if (exists) return machine;
  return ReadInstallValue(HKEY_CURRENT_USER, exists);
}

// The longest command line Windows passes on, its terminator included.
constexpr size_t kMaxCommandLine = 32767;

bool StartAgentProcess(const std::u16string& options, PROCESS_INFORMATION& pi) {
  // A longer one would be refused or cut, and a cut line may lose its
  // command: the agent would start a session instead.
  if (options.size() >= kMaxCommandLine) return false;
  const std::u16string folder = GetInstallFolder();
  if (folder.empty()) return false;
  std::wstring program = Wide(folder) + kAgentProgram;
  std::wstring line = Wide(options);  // CreateProcessW may write into it
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  pi = PROCESS_INFORMATION{};
  const std::wstring directory = Wide(folder);
  return CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &si,
                        &pi) != FALSE;
}

uint32_t ExamPageWindowOf(HWND controlWindow) {
  if (controlWindow == nullptr) return 0;
  // The top-level ancestor crosses process boundaries: a page in Edge's
  // Internet Explorer mode is held by the frame window of msedge.exe.
  const HWND root = GetAncestor(controlWindow, GA_ROOT);
  if (root == nullptr) return 0;
  return ExamPageWindowOption(static_cast<uint32_t>(HandleToUlong(controlWindow)),
                              static_cast<uint32_t>(HandleToUlong(root)), WindowClassName(root, 255));
}

namespace {

// One-shot runs of all controls in the logon session go one at a time: the
// agent runs once per session, and a copy started while another one runs
// ends at once with 0 without doing anything. At most 30 s of waiting.
class OneShotTurn {
 public:
  OneShotTurn() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\ZaduzeAgentOneShot")) {
    if (mutex_) {
      const DWORD wait = WaitForSingleObject(mutex_.get(), 30000);
      owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
  }
  ~OneShotTurn() {
    if (owned_) ReleaseMutex(mutex_.get());
  }
  OneShotTurn(const OneShotTurn&) = delete;
  OneShotTurn& operator=(const OneShotTurn&) = delete;

 private:
  UniqueKernelHandle mutex_;
  bool owned_ = false;
};

}  // namespace

int RunAgentProcess(const std::u16string& options) {
  OneShotTurn turn;
  PROCESS_INFORMATION pi;
  if (!StartAgentProcess(options, pi)) return -1;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) return -1;
  return static_cast<int>(code);
}

// Every agent start of the control passes here or through LaunchAgent: a page
// the site lock refuses starts none (the restore of an allowed page's
// snapshot aside).
int CZaduzeCtrl::RunAgentCommand(const std::u16string& options) {
  if ((!PageAllowed() && !m_bRestoring) || m_bTearDownPending) return -1;
  // Whatever a page passed, the agent gets a command or is not started.
  if (!CarriesOneShotCommand(options)) return -1;
  return RunAgentProcess(options);
}

int CZaduzeCtrl::LaunchAgent() {
  // A refused page, a control being torn down or closed starts no session:
  // nothing would keep it alive or stop it.
  if (!PageAllowed() || m_bTearDownPending || m_bClosed) return -1;
  PROCESS_INFORMATION pi;
  const std::u16string options =
      WithExamPageWindow(BuildSessionCommandLine(SessionCommandOf(m_props)), ExamPageWindowOf(m_wnd.hwnd()));
  if (!StartAgentProcess(options, pi)) return -1;
  const UniqueKernelHandle thread(pi.hThread);  // not needed
  m_hAgentWnd = FindWindowW(nullptr, W(kAgentWindowTitle));
  m_hAgentProcess.reset(pi.hProcess);
  return 0;
}

short CZaduzeCtrl::StartZaduzeApp() {
  if (LaunchAgent() != 0) {
    FILE_LOG(logINFO) << "StartZaduzeApp : failed";
    return -1;
  }
  FILE_LOG(logINFO) << "StartZaduzeApp : ok";
  if (m_wnd.hwnd() != nullptr) SetTimer(m_wnd.hwnd(), ID_TIMER_SUPERVISE, kSupervisePeriodMs, nullptr);
  if (m_props.appNotification != 0 && m_pAlert) m_pAlert->Show(u"Zaduze 감시가 시작되었습니다.");
  return 0;
}

namespace {

// How long the stop waits for the agent to handle its close message. The
// agent's own stop waits at most a couple of seconds for its hook thread; an
// agent that has not asked for messages for five seconds is given up at once.
constexpr UINT kCloseTimeoutMs = 10000;

// An agent that did not handle the close message (hung, or its window gone
// while it runs on) is ended when it is the process this control started:
// with the keep-alives stopped nothing else would end a hung agent, and its
// hooks would hold up every keystroke of the desktop.
void EndUnansweringAgent(HWND window, HANDLE started) {
  if (started == nullptr || WaitForSingleObject(started, 0) != WAIT_TIMEOUT) return;  // none, or gone
  DWORD windowPid = 0;
  GetWindowThreadProcessId(window, &windowPid);
  if (windowPid != 0 && windowPid != GetProcessId(started)) {
    FILE_LOG(logINFO) << "StopZaduzeApp : agent not answering, not started here";
    return;
  }
  const bool ended = TerminateProcess(started, 0) != FALSE;
  FILE_LOG(logINFO) << "StopZaduzeApp : agent not answering, " << (ended ? "ended" : "could not be ended");
}

}  // namespace

short CZaduzeCtrl::StopZaduzeApp() {
  if (m_wnd.hwnd() != nullptr) KillTimer(m_wnd.hwnd(), ID_TIMER_SUPERVISE);
  if (m_hAgentWnd != nullptr) {
    // The browser's thread is not held by a hung agent: the send gives up.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(m_hAgentWnd, UM_REZUV_CLOSE, kCloseWParam, kCloseLParam, SMTO_ABORTIFHUNG,
                             kCloseTimeoutMs, &result))
      EndUnansweringAgent(m_hAgentWnd, m_hAgentProcess.get());
  } else if (m_hAgentProcess) {
    TerminateProcess(m_hAgentProcess.get(), 0);
    m_hAgentProcess.reset();
  }
  m_hAgentWnd = nullptr;
  FILE_LOG(logINFO) << "StopZaduzeApp : ok";
  if (m_props.appNotification != 0 && m_pAlert) m_pAlert->Show(u"Zaduze 감시가 종료되었습니다.");
  return 0;
}

void CZaduzeCtrl::OnSuperviseTimer() {
  if (m_hAgentWnd == nullptr) m_hAgentWnd = FindWindowW(nullptr, W(kAgentWindowTitle));
  if (m_hAgentWnd == nullptr) {
    FILE_LOG(logINFO) << "failed to find tray app : trying to restart ZaduzeApp";
    if (LaunchAgent() == 0) {
      FILE_LOG(logINFO) << "StartZaduzeApp : ok";
    }
  }
  if (m_hAgentWnd != nullptr) {
    if (!PostMessageW(m_hAgentWnd, UM_REZUV_KEEPALIVE, kKeepAliveWParam, kKeepAliveLParam)) m_hAgentWnd = nullptr;
    FILE_LOG(logINFO) << "SENT keep alive";
  }
}

}  // namespace zv
