// Helpers of the in-process guard tests: windows of chosen classes and styles
// that record the WM_CLOSE they receive (and stay open), and a capture of the
// diagnostic log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/log/log.h"
#include "tests/support/log_capture.h"

namespace zvtest {

// Windows of this thread; every WM_CLOSE is recorded, in arrival order.
// Top-level windows are captionless popups shown without activation: Wine
// waits two seconds for a window manager (Xvfb has none) when it destroys an
// active or a managed (captioned, WS_EX_APPWINDOW) window.
class TestWindows {
 public:
  TestWindows() {
    for (const wchar_t* cls : {L"ZvGuardTestWindow", L"IEFrame", L"Frame Tab", L"TabWindowClass",
                               L"Shell DocObject View", L"ZvToolbar"}) {
      WNDCLASSW wc{};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = cls;
      RegisterClassW(&wc);  // already registered by an earlier test: fine
    }
    Closed().clear();
  }
  ~TestWindows() {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) DestroyWindow(*it);
    Pump();
  }
  TestWindows(const TestWindows&) = delete;
  TestWindows& operator=(const TestWindows&) = delete;

  HWND Top(const wchar_t* title, DWORD exStyle = 0, bool visible = true, HWND owner = nullptr,
           const wchar_t* cls = L"ZvGuardTestWindow") {
    HWND w = CreateWindowExW(exStyle, cls, title, WS_POPUP, 10, 10, 200, 100, owner, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (visible) ShowWindow(w, SW_SHOWNOACTIVATE);
    windows_.push_back(w);
    return w;
  }
  HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text = L"") {
    HWND w = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, parent, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    windows_.push_back(w);
    return w;
  }

  // Delivers what was posted to this thread.
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  static std::vector<HWND>& Closed() {
    static std::vector<HWND> closed;
    return closed;
  }
  static bool WasClosed(HWND w) {
    for (HWND c : Closed())
      if (c == w) return true;
    return false;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE) {
      Closed().push_back(hwnd);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  std::vector<HWND> windows_;
};

// The log, switched on at DEBUG3 and captured for the lifetime of the object.
class LogCapture {
 public:
  LogCapture() {
    g_bLogEnabled = 1;
    FILELog::ReportingLevel() = logDEBUG3;
  }

  // The lines written so far without their time stamps: "DEBUG: text".
  std::vector<std::string> Lines() const {
    const std::string text = capture_.Text();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const size_t stamp = line.find("] ");
      lines.push_back(stamp == std::string::npos ? line : line.substr(stamp + 2));
      start = end + 1;
    }
    return lines;
  }

 private:
  zv::test::LogCapture capture_;  // restores stream, level and switch
};

}  // namespace zvtest
