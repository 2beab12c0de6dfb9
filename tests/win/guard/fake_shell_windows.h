// A stand-in for the shell's ShellWindows collection (Wine's own reports
// E_NOTIMPL): browser objects whose address, title and window the test
// chooses, and failures on chosen calls.
//
// In-process tests register the class object with CoRegisterClassObject and
// set the browsers directly; the DLL build (zv_fake_shellwindows.dll, per
// user under HKCU\Software\Classes\CLSID\{9BA05972-...}) reads them from
//   HKCU\Software\ZvTest\ShellWindows
//     CountFail  REG_DWORD  HRESULT of get_Count (absent: the count of subkeys)
//     0, 1, ...  one subkey per browser, in order:
//       Url, Title  REG_SZ
//       Window      REG_SZ  title of the top-level window (found when get_HWND is read)
//       Kind        REG_SZ  "missing" (Item gives nothing) or "other" (no IWebBrowser2)
//       Fail        REG_SZ  "item", "query", "url", "title" or "hwnd": that call fails
//       FailHr      REG_DWORD  the HRESULT it fails with (default E_FAIL)
// and appends one line per property read to the file named by the value
// "Trace" (REG_SZ) of that key, when present: "url <index>".
#pragma once

#include <windows.h>

#include <objbase.h>

#include <string>
#include <vector>

namespace zvtest {

enum class FakeCall { None, Item, Query, Url, Title, Hwnd };

struct FakeBrowser {
  std::wstring url;
  std::wstring title;
  HWND window = nullptr;
  std::wstring windowTitle;  // instead of `window`: found by FindWindowW when read
  bool missing = false;      // Item succeeds without an object
  bool notBrowser = false;   // the object has no IWebBrowser2
  FakeCall fail = FakeCall::None;
  HRESULT failHr = E_FAIL;
};

struct FakeShell {
  std::vector<FakeBrowser> browsers;
  HRESULT countHr = S_OK;
  HRESULT createHr = S_OK;  // CreateInstance of the class object fails with this
};

// What the in-process class object hands out from now on.
void SetFakeShell(const FakeShell& shell);
// Indexes whose address was read, in order, since the last SetFakeShell.
std::vector<int> FakeShellAddressReads();

// The class object: serves SetFakeShell's browsers, or the registry's when
// `fromRegistry` is set (each CreateInstance reads them afresh).
IClassFactory* NewFakeShellFactory(bool fromRegistry);

FakeShell LoadFakeShellFromRegistry();

}  // namespace zvtest
