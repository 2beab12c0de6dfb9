// How long a keystroke waits on its way to a window: opens a visible window
// ("zv key latency"), makes it the foreground window and injects COUNT key
// presses ('A') with SendInput, one every INTERVAL ms; the wait of each is
// the time from just before SendInput to its WM_KEYDOWN in the window. Any
// low-level hook on the desktop (the agent's) is on that path. Prints
//   keys <sent> received <n>: longest <ms> ms, median <ms> ms, 99th percentile <ms> ms
//
//   key_latency [COUNT] [INTERVAL]     defaults: 100 keys, 20 ms
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "tests/win/programs/milliseconds.h"

namespace {

double g_arrived = 0;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_KEYDOWN && wParam == 'A') {
    g_arrived = Now();
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Inject(WORD vk) {
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = vk;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int count = argc > 1 ? std::max(1L, std::wcstol(argv[1], nullptr, 10)) : 100;
  const int interval = argc > 2 ? std::max(0L, std::wcstol(argv[2], nullptr, 10)) : 20;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZvKeyLatency";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"zv key latency", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300,
                              200, nullptr, nullptr, wc.hInstance, nullptr);
  if (!hwnd) return 4;

  std::vector<double> waits;
  MSG msg;
  for (int i = 0; i < count; ++i) {
    if (GetForegroundWindow() != hwnd) SetForegroundWindow(hwnd);
    SetFocus(hwnd);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    g_arrived = 0;
    const double sent = Now();
    Inject('A');
    // Wait for the key (2 s at most: a lost key counts as not received).
    while (g_arrived == 0 && Now() - sent < 2000) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    if (g_arrived != 0) waits.push_back(g_arrived - sent);
    Sleep(static_cast<DWORD>(interval));
  }
  DestroyWindow(hwnd);

  double longest = 0, median = 0, p99 = 0;
  if (!waits.empty()) {
    std::sort(waits.begin(), waits.end());
    longest = waits.back();
    median = waits[waits.size() / 2];
    p99 = waits[waits.size() * 99 / 100];
  }
  std::printf("keys %d received %d: longest %.1f ms, median %.1f ms, 99th percentile %.1f ms\n", count,
              static_cast<int>(waits.size()), longest, median, p99);
  return 0;
}
