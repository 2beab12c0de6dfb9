// Browser window guard: once a second the shell's collection of browser and
// folder windows is walked and every one whose address and title are not
// excepted is closed (its tab when it has one); and the toolbar walk that the
// session runs once at its start.
#include <windows.h>

#include <exdisp.h>
#include <ole2.h>

#include <vector>

#include "agent/core/options.h"
#include "platform/com_ptr.h"
#include "agent/guard/exam_window.h"
#include "agent/guard/explorer_guard.h"
#include "agent/guard/guard_rules.h"
#include "agent/guard/guard_timer_win.h"
#include "common/log/log.h"
#include "common/text/text_util.h"
#include "platform/handles.h"
#include "platform/wide.h"
#include "platform/window.h"

namespace zv {

namespace {

std::u16string UpperText(const UniqueBstr& text) { return ToUpperAscii(U16(text.get(), text.length())); }

// The tab of `top` that shows the page: the first "TabWindowClass" child of
// a "Frame Tab" child whose text begins with the title. Null when none does.
HWND FindPageTab(HWND top, const std::u16string& upperTitle) {
  if (!top) return nullptr;  // a null parent would search the desktop's windows
  for (HWND container = FindWindowExW(top, nullptr, W(kTabContainerClass), nullptr); container;
       container = FindWindowExW(top, container, W(kTabContainerClass), nullptr)) {
    for (HWND tab = FindWindowExW(container, nullptr, W(kTabWindowClass), nullptr); tab;
         tab = FindWindowExW(container, tab, W(kTabWindowClass), nullptr)) {
      if (TabShowsPage(ToUpperAscii(WindowText(tab, 255)), upperTitle)) return tab;
    }
  }
  return nullptr;
}

// Returned when the session ended during the walk.
constexpr HRESULT kSessionEnded = S_FALSE;

// Walks the collection and appends the windows to close. Returns the first
// failure, which ends the walk; what is in the list by then is still closed.
// Every call that may pump messages is followed by a look at the session.
HRESULT ChooseForeignBrowsers(std::vector<HWND>& closeList, const std::function<bool()>& running) {
  const auto ended = [&running] { return running && !running(); };
#define ZV_CHECKED(call)                  \
  hr = (call);                            \
  if (ended()) return kSessionEnded;      \
  if (FAILED(hr)) return hr
  ComPtr<IUnknown> unknown;
  HRESULT hr = S_OK;
  ZV_CHECKED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()));
  ZV_CHECKED(OleRun(unknown.get()));
  ComPtr<IShellWindows> windows;
  ZV_CHECKED(unknown->QueryInterface(IID_IShellWindows, windows.put_void()));

  // A browser shown in the exam's frame (a page in Internet Explorer mode
  // reports the frame of the browser that holds it) is closed by its tab
  // only: its whole window is the exam's.
  const HWND examFrame = ExamFrame();
  LONG count = 0;
  ZV_CHECKED(windows->get_Count(&count));
  for (LONG i = 0; i < count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = i;
    ComPtr<IDispatch> item;
    ZV_CHECKED(windows->Item(index, item.put()));
    if (!item) continue;
    ComPtr<IWebBrowser2> browser;
    hr = item->QueryInterface(IID_IWebBrowser2, browser.put_void());
    if (ended()) return kSessionEnded;
    if (hr == E_NOINTERFACE) continue;
    if (FAILED(hr)) return hr;
    if (!browser) continue;

    UniqueBstr url, name;
    ZV_CHECKED(browser->get_LocationURL(url.put()));
    ZV_CHECKED(browser->get_LocationName(name.put()));
    const std::u16string address = UpperText(url);
    const std::u16string title = UpperText(name);

    const BrowserJudgement judgement = JudgeBrowser(address, title, g_setExplorerExceptions);
    for (const auto& line : judgement.lines) FILE_LOG(logDEBUG) << LogText(line);
    if (judgement.verdict != BrowserVerdict::Close) continue;

    SHANDLE_PTR top = 0;
    ZV_CHECKED(browser->get_HWND(&top));
    HWND target = FindPageTab(reinterpret_cast<HWND>(top), title);
    if (!target) {
      ZV_CHECKED(browser->get_HWND(&top));
      target = reinterpret_cast<HWND>(top);
    }
    if (examFrame != nullptr && target == examFrame) {
      FILE_LOG(logDEBUG) << LogText(KeptExamFrameLine(title, address));
      continue;
    }
    closeList.push_back(target);
    FILE_LOG(logDEBUG) << LogText(KilledBrowserLine(title, address));
  }
  return S_OK;
#undef ZV_CHECKED
}

std::u16string SystemMessage(HRESULT hr) {
  wchar_t* buffer = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(hr), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  UniqueLocalMemory owner(buffer);
  return length > 0 && buffer ? U16(buffer, length) : std::u16string();
}

}  // namespace

void ProtectExplorerCheatStart(HWND view) {
  StartGuardTimer(view, ID_TIMER_EXPLORERGUARD, "ProtectExplorerCheat");
}

void ProtectExplorerCheatStop(HWND view) { StopGuardTimer(view, ID_TIMER_EXPLORERGUARD, "ProtectExplorerCheat"); }

void ProtectInternetExplorer(const std::function<bool()>& sessionRunning) {
  std::vector<HWND> closeList;
  try {
    const HRESULT hr = ChooseForeignBrowsers(closeList, sessionRunning);
    if (hr == kSessionEnded) return;  // the stop sequence ran inside a call: leave everything
    if (FAILED(hr)) {
      FILE_LOG(logDEBUG) << LogText(ExplorerErrorLine(hr, SystemMessage(hr)));
    }
  } catch (...) {
    // Out of memory: close what was chosen so far; the next tick starts afresh.
  }
  if (sessionRunning && !sessionRunning()) return;
  for (HWND window : closeList) {
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);  // null would reach our own thread
  }
}

void DisableBrowserToolbars(HWND start) {
  constexpr int kClassBuffer = 60;
  HWND ownTab = nullptr;
  for (HWND w = GetParent(start); w; w = GetParent(w)) {
    if (WindowClassName(w, kClassBuffer) == kTabWindowClass) {
      ownTab = w;
      break;
    }
  }
  HWND top = nullptr;
  for (HWND w = GetParent(start); w; w = GetParent(w)) top = w;
  if (!top) return;
  for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassifyToolbarChild(WindowClassName(child, kClassBuffer), child == ownTab) == ToolbarChildAction::Disable)
      EnableWindow(child, FALSE);
  }
}

}  // namespace zv
