// zv_fake_shellwindows.dll: the ShellWindows stand-in as an in-process server,
// registered per user by the scenarios for CLSID_ShellWindows. Its browsers
// come from the registry (see fake_shell_windows.h).
#include <windows.h>

#include <exdisp.h>

#include "tests/win/guard/fake_shell_windows.h"

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  *out = nullptr;
  if (clsid != CLSID_ShellWindows) return CLASS_E_CLASSNOTAVAILABLE;
  IClassFactory* factory = zvtest::NewFakeShellFactory(true);
  const HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

// Never unloaded while the process runs: simpler than counting objects.
extern "C" HRESULT __stdcall DllCanUnloadNow() { return S_FALSE; }
