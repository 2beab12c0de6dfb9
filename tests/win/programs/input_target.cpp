// A visible window that records the keys and mouse buttons it receives, one
// line per message, into the file named by its first argument:
//   key <vk hex>   for WM_KEYDOWN / WM_SYSKEYDOWN
//   rbutton        for WM_RBUTTONDOWN, lbutton for WM_LBUTTONDOWN
// Title: "zv input target". Ends on WM_CLOSE.
#include <windows.h>

#include <cstdio>

static FILE* g_out = nullptr;

static void Record(const char* text) {
  std::fputs(text, g_out);
  std::fputc('\n', g_out);
  std::fflush(g_out);
}

static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  char line[64];
  switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      std::snprintf(line, sizeof line, "key %02x", static_cast<unsigned>(wParam));
      Record(line);
      return 0;
    case WM_RBUTTONDOWN:
      Record("rbutton");
      return 0;
    case WM_LBUTTONDOWN:
      Record("lbutton");
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  g_out = _wfopen(argv[1], L"w");
  if (!g_out) return 3;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZvInputTarget";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"zv input target", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                              400, 300, nullptr, nullptr, wc.hInstance, nullptr);
  if (!hwnd) return 4;
  Record("ready");
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  std::fclose(g_out);
  return 0;
}
