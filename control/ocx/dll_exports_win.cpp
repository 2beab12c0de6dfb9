// The entry points of Zaduze.dll: an in-process COM server's four exports.
#include <windows.h>

#include <objbase.h>

#include "control/ocx/com_module_win.h"
#include "control/ocx/registration_win.h"
#include "control/ocx/zaduze_ctrl.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH) zv::UnregisterControlWindowClass(instance);
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
  return zv::GetClassObject(clsid, riid, object);
}

STDAPI DllCanUnloadNow() { return zv::ModuleLockCount() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return zv::RegisterServer(); }

STDAPI DllUnregisterServer() { return zv::UnregisterServer(); }

}
