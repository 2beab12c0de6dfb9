// A stand-in for the agent ZedudeVeri.exe, installed under its name in a
// folder named by HKCU\SOFTWARE\Zaduze "Path": it appends its command line
// (exactly as received, UTF-8) to calls.txt beside itself, the arguments as
// CommandLineToArgvW splits them to args.txt (one "index<TAB>argument" line
// each, then an empty line), and ends with the exit code written in
// exitcode.txt (0 without that file).
//
// The agent's snapshot files, as far as the control looks at them: a save
// writes both files of the name as whole (empty) snapshots into the sandbox
// folder, a restore deletes them, a recovery deletes every pair no live
// control holds. With nosnapshot.txt beside it (or a non-zero exit code) a
// save writes nothing: a copy of the agent that found another one running
// ends like that.
//
// Started with a session command line (first option -WebSandboxMode) it
// behaves like a session agent instead: a hidden window titled "ZedudeVeri"
// that notes every keep-alive and close message in messages.txt, ends on
// the close message, and gives up by itself after 3 s without a keep-alive.
// With a file hang.txt beside it, it hangs for 30 s on the close message.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "agent/core/agent_messages.h"
#include "agent/sandbox/snapshot_pending_win.h"
#include "agent/sandbox/snapshot_walk.h"
#include "platform/shell_folders.h"
#include "platform/handles.h"
#include "platform/wide.h"

namespace {

std::wstring Beside(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L'\\') + 1);
  return dir + name;
}

void Append(const wchar_t* file, const std::wstring& line) {
  const zv::UniqueFileHandle h(CreateFileW(Beside(file).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h) return;
  const std::wstring text = line + L"\n";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int ExitCode() {
  FILE* f = _wfopen(Beside(L"exitcode.txt").c_str(), L"r");
  if (f == nullptr) return 0;
  long long code = 0;
  if (std::fscanf(f, "%lli", &code) != 1) code = 0;
  std::fclose(f);
  return static_cast<int>(static_cast<unsigned int>(code));
}

DWORD g_lastKeepAlive = 0;

LRESULT CALLBACK AgentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == zv::UM_REZUV_KEEPALIVE && zv::IsKeepAlive(wParam, lParam)) {
    g_lastKeepAlive = GetTickCount();
    Append(L"messages.txt", L"keepalive");
    return 0;
  }
  if (msg == zv::UM_REZUV_CLOSE && zv::IsCloseRequest(wParam, lParam)) {
    if (GetFileAttributesW(Beside(L"hang.txt").c_str()) != INVALID_FILE_ATTRIBUTES) {
      Append(L"messages.txt", L"close (not answered)");
      Sleep(30000);  // a hung agent
    } else {
      Append(L"messages.txt", L"close");
    }
    DestroyWindow(hwnd);
    return 0;
  }
  if (msg == WM_TIMER) {
    if (GetTickCount() - g_lastKeepAlive > 3000) {
      Append(L"messages.txt", L"timeout");
      DestroyWindow(hwnd);
    }
    return 0;
  }
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

int Session() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = AgentProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZaduzeRecorderAgent";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, zv::W(zv::kAgentWindowTitle),
                              WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  if (hwnd == nullptr) return 1;
  g_lastKeepAlive = GetTickCount();
  SetTimer(hwnd, 1, 100, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

void PlaySnapshotFiles(int count, LPWSTR* args) {
  if (count < 2) return;
  const std::u16string folder = zv::DocumentsSubfolderW(zv::kSandboxFolderW);
  if (folder.empty()) return;
  const std::wstring command = args[0];
  const std::u16string name = zv::U16(args[1]);
  if (command == L"-RegistrySave") {
    if (ExitCode() != 0 || GetFileAttributesW(Beside(L"nosnapshot.txt").c_str()) != INVALID_FILE_ATTRIBUTES) return;
    zv::CreateFolderTree(folder);
    const std::u16string text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n <registry>\r\n </registry>\r\n";
    for (int index = 0; index < 2; ++index) {
      const zv::UniqueFileHandle file(CreateFileW(zv::W(zv::SnapshotFilePath(folder, name, index)), GENERIC_WRITE, 0,
                                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
      DWORD written = 0;
      if (file) WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * 2), &written, nullptr);
    }
  } else if (command == L"-RegistryRestore") {
    for (int index = 0; index < 2; ++index) DeleteFileW(zv::W(zv::SnapshotFilePath(folder, name, index)));
  } else if (command == L"-RegistryRecover") {
    for (const auto& snapshot : zv::PendingSnapshots(folder))
      if (!snapshot.held)
        for (int index = 0; index < 2; ++index) DeleteFileW(zv::W(zv::SnapshotFilePath(folder, snapshot.name, index)));
  }
}

}  // namespace

int wmain() {
  const std::wstring line = GetCommandLineW();
  Append(L"calls.txt", line);
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(line.c_str(), &count);
  const zv::UniqueLocalMemory owner(args);
  std::wstring split;
  for (int i = 0; i < count; ++i) split += std::to_wstring(i) + L"\t" + args[i] + L"\n";
  Append(L"args.txt", split);
  if (line.rfind(L"-WebSandboxMode", 0) == 0) return Session();
  PlaySnapshotFiles(count, args);
  return ExitCode();
}
