// Calls a COM server's DllRegisterServer or DllUnregisterServer and prints
// the HRESULT it returns (regsvr32 only shows success or failure):
//   control_selfreg register|unregister PATH.dll   ->  "hr 0x80040200"
#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

#include "platform/handles.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  const std::wstring what = argv[1];
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    const zv::UniqueLibrary dll(LoadLibraryW(argv[2]));
    if (!dll) {
      std::printf("load failed %lu\n", GetLastError());
      return 1;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
        GetProcAddress(dll.get(), what == L"register" ? "DllRegisterServer" : "DllUnregisterServer")));
    if (entry == nullptr) return 1;
    std::printf("hr 0x%08lX\n", static_cast<unsigned long>(entry()));
  }
  CoUninitialize();
  return 0;
}
