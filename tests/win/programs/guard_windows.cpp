// Windows for the guard scenarios: opens top-level windows of chosen styles
// and records every WM_CLOSE they receive.
//
//   guard_windows [options] LAYOUT...
//     -record FILE   append "ready" once the windows exist, then one line
//                    "close <text>" per WM_CLOSE received (tabs too)
//     -name TITLE    title of the hidden control window (default "zv guard windows");
//                    WM_CLOSE to it ends the program
//     -life MS       end by itself after MS milliseconds (default 60000)
//     -keep          windows stay open on WM_CLOSE (only recorded)
//     -bench N       N plain visible windows titled "bench window <i>"
//     -countimage NAME   print how many processes run with that image name, and exit
//     -acp           print the system's ANSI code page, and exit
//     -children TITLE    print "<class> enabled|disabled" for each direct child of
//                        the top-level window titled TITLE, and exit
//   LAYOUT is TITLE:FLAGS[:TAB|TAB...]
//     FLAGS  v visible, a WS_EX_APPWINDOW, t WS_EX_TOOLWINDOW, o owned by the
//            control window, i class "IEFrame" (else "ZvGuardWindow")
//     TABS   a "Frame Tab" child holding one "TabWindowClass" child per text
#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/handles.h"
#include "tests/win/programs/window_class.h"

namespace {

FILE* g_record = nullptr;
bool g_keep = false;
HWND g_control = nullptr;

void Record(const wchar_t* what, HWND window) {
  if (!g_record) return;
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  char out[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
  char kind[32] = {};
  WideCharToMultiByte(CP_UTF8, 0, what, -1, kind, sizeof kind, nullptr, nullptr);
  std::fprintf(g_record, "%s %s\n", kind, out);
  std::fflush(g_record);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    RECT r;
    GetClientRect(hwnd, &r);
    DrawTextW(dc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &ps);
    return 0;
  }
  if (msg == WM_CLOSE) {
    if (hwnd == g_control) {
      PostQuitMessage(0);
      return 0;
    }
    Record(L"close", hwnd);
    if (g_keep) return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Register(const wchar_t* name) { RegisterWindowClass(name, Proc); }

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
    if (at == std::wstring::npos) return parts;
    start = at + 1;
  }
}

void Open(const std::wstring& layout, int index) {
  const auto parts = Split(layout, L':');
  const std::wstring& title = parts[0];
  const std::wstring flags = parts.size() > 1 ? parts[1] : L"";
  auto has = [&](wchar_t c) { return flags.find(c) != std::wstring::npos; };
  DWORD exStyle = 0;
  if (has(L'a')) exStyle |= WS_EX_APPWINDOW;
  if (has(L't')) exStyle |= WS_EX_TOOLWINDOW;
  const wchar_t* cls = has(L'i') ? L"IEFrame" : L"ZvGuardWindow";
  // Right of where Wine's notepad opens, so that screenshots show them.
  const int x = 960 + (index % 10) * 20, y = 80 + (index % 20) * 30;
  HWND top = CreateWindowExW(exStyle, cls, title.c_str(), WS_OVERLAPPEDWINDOW | (has(L'v') ? WS_VISIBLE : 0), x, y,
                             300, 180, has(L'o') ? g_control : nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (parts.size() > 2 && top) {
    HWND container = CreateWindowExW(0, L"Frame Tab", L"", WS_CHILD | WS_VISIBLE, 0, 0, 300, 30, top, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    int i = 0;
    for (const auto& tab : Split(parts[2], L'|'))
      CreateWindowExW(0, L"TabWindowClass", tab.c_str(), WS_CHILD | WS_VISIBLE, 100 * i++, 0, 100, 30, container,
                      nullptr, GetModuleHandleW(nullptr), nullptr);
  }
}

int CountImage(const wchar_t* name) {
  const zv::UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return -1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (_wcsicmp(entry.szExeFile, name) == 0) ++count;
  return count;
}

int PrintChildren(const wchar_t* title) {
  HWND top = FindWindowW(nullptr, title);
  if (!top) return 1;
  for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[256] = {};
    GetClassNameW(child, cls, 256);
    char out[512] = {};
    WideCharToMultiByte(CP_UTF8, 0, cls, -1, out, sizeof out, nullptr, nullptr);
    std::printf("%s %s\n", out, IsWindowEnabled(child) ? "enabled" : "disabled");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring controlTitle = L"zv guard windows";
  DWORD life = 60000;
  int bench = 0;
  std::vector<std::wstring> layouts;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"-record" && hasValue) {
      g_record = _wfopen(argv[++i], L"a");
    } else if (arg == L"-name" && hasValue) {
      controlTitle = argv[++i];
    } else if (arg == L"-life" && hasValue) {
      life = std::wcstoul(argv[++i], nullptr, 10);
    } else if (arg == L"-keep") {
      g_keep = true;
    } else if (arg == L"-bench" && hasValue) {
      bench = std::wcstol(argv[++i], nullptr, 10);
    } else if (arg == L"-acp") {
      std::printf("%u\n", GetACP());
      return 0;
    } else if (arg == L"-children" && hasValue) {
      return PrintChildren(argv[++i]);
    } else if (arg == L"-countimage" && hasValue) {
      std::printf("%d\n", CountImage(argv[++i]));
      return 0;
    } else {
      layouts.push_back(arg);
    }
  }
  for (const wchar_t* cls : {L"ZvGuardWindow", L"IEFrame", L"Frame Tab", L"TabWindowClass"}) Register(cls);
  g_control = CreateWindowExW(0, L"ZvGuardWindow", controlTitle.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!g_control) return 3;
  int index = 0;
  for (const auto& layout : layouts) Open(layout, index++);
  for (int i = 0; i < bench; ++i) Open(L"bench window " + std::to_wstring(i) + L":v", index++);
  if (g_record) {
    std::fputs("ready\n", g_record);
    std::fflush(g_record);
  }
  SetTimer(nullptr, 0, life, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    DispatchMessageW(&msg);
  }
  if (g_record) std::fclose(g_record);
  return 0;
}
