// Cost of one application guard pass under Wine: opens N application windows
// in a helper process (guard_windows.exe, next to this program), then times
// CloseCheatApps, CountCheatApps and a black-list pass of five names, and
// prints ms per pass, so that the growth with the window count is visible.
//
//   guard_bench [PASSES] [N...]     defaults: 10 passes, 50, 200 and 1000 windows
#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "agent/core/options.h"
#include "agent/guard/app_guard.h"
#include "common/log/log.h"
#include "platform/handles.h"
#include "tests/win/programs/milliseconds.h"

namespace {

int Processes() {
  const zv::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int n = 0;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) ++n;
  return n;
}

struct Timing {
  double mean = 0, min = 0;
};

template <typename F>
Timing Time(int passes, F&& pass) {
  std::vector<double> ms;
  for (int i = 0; i < passes; ++i) {
    const double start = Now();
    pass();
    ms.push_back(Now() - start);
  }
  Timing t;
  for (double m : ms) t.mean += m;
  t.mean /= static_cast<double>(ms.size());
  t.min = *std::min_element(ms.begin(), ms.end());
  return t;
}

// Lets the helper's windows answer: they ignore the WM_CLOSE they are sent.
void Settle() { Sleep(200); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int passes = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 10;
  if (passes < 1) passes = 1;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::wcstol(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {50, 200, 1000};

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring helper(self);
  helper = helper.substr(0, helper.find_last_of(L"\\/")) + L"\\guard_windows.exe";

  // An empty exception list (every window of a known program is a candidate)
  // and a black list of five names that match nothing.
  zv::TraySettings settings;
  settings.m_strProtectAppBlackList = u"no1.exe,no2.exe,no3.exe,no4.exe,no5.exe";
  zv::BuildFilterTables(settings);
  FILE* devnull = std::fopen("NUL", "w");

  for (int n : sizes) {
    const std::wstring name = L"zv bench " + std::to_wstring(n);
    std::wstring line = L"\"" + helper + L"\" -keep -life 600000 -name \"" + name + L"\" -bench " + std::to_wstring(n);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(helper.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      std::printf("cannot start %ls\n", helper.c_str());
      return 1;
    }
    const zv::UniqueKernelHandle thread(pi.hThread), process(pi.hProcess);
    for (int i = 0; i < 300 && !FindWindowW(nullptr, name.c_str()); ++i) Sleep(50);
    // The control window exists before the others: wait until all are counted.
    int counted = 0;
    for (int i = 0; i < 300; ++i) {
      counted = zv::CountCheatApps();
      if (counted >= n) break;
      Sleep(50);
    }

    Output2FILE::Stream() = nullptr;  // no log: the guard's own cost
    const Timing close = Time(passes, [] { zv::CloseCheatApps(); });
    Settle();
    Output2FILE::Stream() = devnull;  // one DEBUG line per window, written and flushed
    const Timing closeLogged = Time(passes, [] { zv::CloseCheatApps(); });
    Output2FILE::Stream() = nullptr;
    Settle();
    const Timing count = Time(passes, [] { (void)zv::CountCheatApps(); });
    const Timing black = Time(passes, [] { zv::KillBlackListedApps(); });
    // One process snapshot: what a pass pays once.
    const DWORD pid = pi.dwProcessId;
    const Timing image = Time(passes * 10, [pid] { (void)zv::GetProcessImageName(pid); });

    std::printf(
        "windows %4d (counted %d, processes %d): close pass %7.2f ms (min %7.2f), with log %7.2f ms, "
        "count %7.2f ms (min %7.2f), black list of 5 %6.2f ms; %.3f ms per window; one snapshot %.3f ms\n",
        n, counted, Processes(), close.mean, close.min, closeLogged.mean, count.mean, count.min, black.mean,
        close.mean / counted, image.mean);
    std::fflush(stdout);

    PostMessageW(FindWindowW(nullptr, name.c_str()), WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.get(), 10000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
  }
  if (devnull) std::fclose(devnull);
  return 0;
}
