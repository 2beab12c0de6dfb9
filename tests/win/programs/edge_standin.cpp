// A stand-in for Microsoft Edge holding a page in Internet Explorer mode: two
// visible top-level windows of Edge's frame class "Chrome_WidgetWin_1" in one
// process ("zv edge 1" holds the exam, "zv edge 2" is a second window the
// candidate opened), and in the first a child "Internet Explorer_Server"
// window, the page (zaduze_container --parent puts its page beside it).
// The windows only record the WM_CLOSE they receive; they stay open.
//
//   edge_standin -record FILE [-name TITLE] [-life MS]
//     FILE gets "ready <frame 1> <frame 2> <page>" (decimal handle values),
//     then "close <title>" per WM_CLOSE and one line per command. Messages
//     to the hidden control window TITLE (default "zv edge standin"):
//       WM_CLOSE      ends the program
//       WM_USER+1     moves the page into frame 2 (a tab dragged into the
//                     other window): "moved"
//       WM_USER+2     destroys the frame that holds the page, and the page
//                     with it, and opens "zv edge 3" (the exam's window has
//                     closed, another window of the browser is open):
//                     "reopened <frame 3>"
//       WM_USER+3 N   "mark N", to tell the phases of a test apart
//   edge_standin -root HANDLE
//     prints the decimal handle of HANDLE's top-level ancestor, and exits
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tests/win/programs/window_class.h"

namespace {

constexpr wchar_t kFrameClass[] = L"Chrome_WidgetWin_1";
constexpr wchar_t kPageClass[] = L"Internet Explorer_Server";
constexpr UINT kMove = WM_USER + 1;
constexpr UINT kReopen = WM_USER + 2;
constexpr UINT kMark = WM_USER + 3;

FILE* g_record = nullptr;
HWND g_control = nullptr;
HWND g_frame2 = nullptr;
HWND g_page = nullptr;

unsigned long Value(HWND window) { return HandleToUlong(window); }

void Record(const char* line) {
  if (!g_record) return;
  std::fprintf(g_record, "%s\n", line);
  std::fflush(g_record);
}

HWND OpenFrame(const wchar_t* title, int index) {
  return CreateWindowExW(0, kFrameClass, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60 + 40 * index, 80 + 40 * index,
                         720, 500, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (hwnd == g_control && msg == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  if (hwnd == g_control && msg == kMove) {
    SetParent(g_page, g_frame2);
    Record("moved");
    return 0;
  }
  if (hwnd == g_control && msg == kReopen) {
    DestroyWindow(GetAncestor(g_page, GA_ROOT));
    char line[64];
    std::snprintf(line, sizeof line, "reopened %lu", Value(OpenFrame(L"zv edge 3", 2)));
    Record(line);
    return 0;
  }
  if (hwnd == g_control && msg == kMark) {
    char line[64];
    std::snprintf(line, sizeof line, "mark %lu", static_cast<unsigned long>(wParam));
    Record(line);
    return 0;
  }
  if (msg == WM_CLOSE) {
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    char out[600] = "close ";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out + 6, sizeof out - 6, nullptr, nullptr);
    Record(out);
    return 0;  // recorded only
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Register(const wchar_t* name) { RegisterWindowClass(name, Proc); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring controlTitle = L"zv edge standin";
  DWORD life = 60000;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == L"-record" && hasValue) {
      g_record = _wfopen(argv[++i], L"a");
    } else if (arg == L"-name" && hasValue) {
      controlTitle = argv[++i];
    } else if (arg == L"-life" && hasValue) {
      life = std::wcstoul(argv[++i], nullptr, 10);
    } else if (arg == L"-root" && hasValue) {
      const auto window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(argv[++i], nullptr, 0)));
      std::printf("%lu\n", Value(GetAncestor(window, GA_ROOT)));
      return 0;
    }
  }
  Register(kFrameClass);
  Register(kPageClass);
  Register(L"ZvEdgeControl");
  g_control = CreateWindowExW(0, L"ZvEdgeControl", controlTitle.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  const HWND frame1 = OpenFrame(L"zv edge 1", 0);
  g_frame2 = OpenFrame(L"zv edge 2", 1);
  g_page = CreateWindowExW(0, kPageClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, frame1, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!g_control || !frame1 || !g_frame2 || !g_page) return 3;
  char line[96];
  std::snprintf(line, sizeof line, "ready %lu %lu %lu", Value(frame1), Value(g_frame2), Value(g_page));
  Record(line);
  SetTimer(nullptr, 0, life, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    DispatchMessageW(&msg);
  }
  if (g_record) std::fclose(g_record);
  return 0;
}
