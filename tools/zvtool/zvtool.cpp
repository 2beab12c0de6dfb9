// zvtool: what the Wine test scripts cannot do from the Linux shell.
//
//   zvtool run EXE [CMDLINE]          start EXE with exactly CMDLINE as its command line
//                                     (no program name in front, as the control does), wait,
//                                     print "exit <signed decimal> 0x<hex>"
//   zvtool findwin TITLE              print the handle of the top-level window titled TITLE
//   zvtool waitwin TITLE MS           wait up to MS for that window to exist (exit 1 if not)
//   zvtool waitgone TITLE MS          wait up to MS for it to disappear (exit 1 if not)
//   zvtool post TITLE MSG WP LP       PostMessageW to it
//   zvtool send TITLE MSG WP LP       SendMessageW to it, print the result
//   zvtool sendinput KEY|rclick|lclick  inject one key press/release (virtual-key code) or click
//   zvtool wintext TITLE              print the texts of the window's children (message boxes)
//   zvtool click TITLE CHILD_TEXT     press the child button with that text
//   zvtool traydelete TITLE ID        remove the tray icon ID of that window (as a shell restart would)
//   zvtool sendregistered TITLE NAME  send the registered message NAME (e.g. TaskbarCreated) to it
//   zvtool warmup                     create and destroy a window and a tray icon, so that
//                                     Wine starts its desktop and tray processes now
//   zvtool findclass CLASS            print the handle of a visible top-level window of CLASS
//                                     ("#32768" is an open popup menu)
//
// Numbers may be decimal or 0x-hex. Exit code 2 means a usage error.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/handles.h"
#include "platform/wide.h"
#include "platform/window.h"

namespace {

unsigned long Number(const wchar_t* text) { return std::wcstoul(text, nullptr, 0); }

HWND Find(const wchar_t* title) { return FindWindowW(nullptr, title); }

int Run(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  std::wstring line = argc > 3 ? argv[3] : L"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(argv[2], line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("error %lu\n", GetLastError());
    return 1;
  }
  const zv::UniqueKernelHandle thread(pi.hThread), process(pi.hProcess);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  std::printf("exit %ld 0x%08lX\n", static_cast<long>(static_cast<LONG>(code)), static_cast<unsigned long>(code));
  return 0;
}

bool WaitFor(const wchar_t* title, unsigned long ms, bool present) {
  const DWORD start = GetTickCount();
  for (;;) {
    if ((Find(title) != nullptr) == present) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(50);
  }
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  const std::u16string cls = zv::WindowClassName(child, 64), text = zv::WindowText(child, 1024);
  // UTF-8 so that Korean texts reach the shell intact.
  char out[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, zv::W(text), -1, out, sizeof out, nullptr, nullptr);
  char clsOut[128] = {};
  WideCharToMultiByte(CP_UTF8, 0, zv::W(cls), -1, clsOut, sizeof clsOut, nullptr, nullptr);
  std::printf("%s\t%s\n", clsOut, out);
  return TRUE;
}

struct ChildSearch {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK FindChild(HWND child, LPARAM param) {
  auto* search = reinterpret_cast<ChildSearch*>(param);
  if (zv::WindowText(child, 256) == zv::U16(search->text)) {
    search->found = child;
    return FALSE;
  }
  return TRUE;
}

int Input(const wchar_t* what) {
  INPUT in[2] = {};
  if (std::wcscmp(what, L"rclick") == 0 || std::wcscmp(what, L"lclick") == 0) {
    const bool right = what[0] == L'r';
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
  } else {
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = static_cast<WORD>(Number(what));
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  return SendInput(2, in, sizeof(INPUT)) == 2 ? 0 : 1;
}

int Warmup() {
  HWND w = CreateWindowExW(0, L"STATIC", L"zvtool warmup", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!w) return 1;
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = w;
  nid.uID = 1;
  nid.uFlags = NIF_TIP;
  Shell_NotifyIconW(NIM_ADD, &nid);
  Shell_NotifyIconW(NIM_DELETE, &nid);
  DestroyWindow(w);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"run") return Run(argc, argv);
  if (command == L"warmup") return Warmup();
  if (command == L"sendinput" && argc == 3) return Input(argv[2]);
  if (argc < 3) return 2;
  const wchar_t* title = argv[2];
  if (command == L"findclass") {
    const wchar_t* cls = argv[2];
    // "#32768" names a system class by its atom.
    HWND w = cls[0] == L'#' ? FindWindowW(MAKEINTATOM(std::wcstoul(cls + 1, nullptr, 10)), nullptr)
                            : FindWindowW(cls, nullptr);
    if (!w || !IsWindowVisible(w)) return 1;
    std::printf("0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(w)));
    return 0;
  }
  if (command == L"findwin") {
    HWND w = Find(title);
    if (!w) return 1;
    std::printf("0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(w)));
    return 0;
  }
  if (command == L"waitwin" && argc == 4) return WaitFor(title, Number(argv[3]), true) ? 0 : 1;
  if (command == L"waitgone" && argc == 4) return WaitFor(title, Number(argv[3]), false) ? 0 : 1;
  if ((command == L"post" || command == L"send") && argc == 6) {
    HWND w = Find(title);
    if (!w) return 1;
    const UINT msg = Number(argv[3]);
    const WPARAM wp = Number(argv[4]);
    const LPARAM lp = static_cast<LPARAM>(Number(argv[5]));
    if (command == L"post") return PostMessageW(w, msg, wp, lp) ? 0 : 1;
    std::printf("%lld\n", static_cast<long long>(SendMessageW(w, msg, wp, lp)));
    return 0;
  }
  if (command == L"traydelete" && argc == 4) {
    HWND w = Find(title);
    if (!w) return 1;
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = w;
    nid.uID = Number(argv[3]);
    return Shell_NotifyIconW(NIM_DELETE, &nid) ? 0 : 1;
  }
  if (command == L"sendregistered" && argc == 4) {
    HWND w = Find(title);
    if (!w) return 1;
    SendMessageW(w, RegisterWindowMessageW(argv[3]), 0, 0);
    return 0;
  }
  if (command == L"wintext") {
    HWND w = Find(title);
    if (!w) return 1;
    EnumChildWindows(w, PrintChild, 0);
    return 0;
  }
  if (command == L"click" && argc == 4) {
    HWND w = Find(title);
    if (!w) return 1;
    ChildSearch search{argv[3], nullptr};
    EnumChildWindows(w, FindChild, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return 1;
    // Sent, not posted: under Wine a modal dialog's loop does not end on a
    // command posted from another process. The time-out keeps a click that
    // opens something modal from blocking the tool.
    DWORD_PTR result = 0;
    SendMessageTimeoutW(w, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(search.found), BN_CLICKED),
                        reinterpret_cast<LPARAM>(search.found), SMTO_NORMAL, 3000, &result);
    return 0;
  }
  return 2;
}
