#include "control/ocx/com_module_win.h"

#include "control/ocx/com_boundary_win.h"

#include "platform/window.h"

namespace zv {

namespace {
LONG g_locks = 0;
}

void LockModule() { InterlockedIncrement(&g_locks); }
void UnlockModule() { InterlockedDecrement(&g_locks); }
LONG ModuleLockCount() { return g_locks; }

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(path, n);
}

ITypeLib* ModuleTypeLib() {
  // Loaded once and kept for the life of the process: type information is
  // asked for often (every event sink, every browser lookup).
  static ITypeLib* lib = [] {
    ITypeLib* loaded = nullptr;
    if (FindResourceW(ThisModule(), MAKEINTRESOURCEW(1), L"TYPELIB") == nullptr) return loaded;
    const std::wstring path = ModulePath();
    if (!path.empty() && FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &loaded))) loaded = nullptr;
    return loaded;
  }();
  return lib;
}

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ITypeLib* lib = ModuleTypeLib();
  if (lib == nullptr) return TYPE_E_CANTLOADLIBRARY;
  return lib->GetTypeInfoOfGuid(guid, info);
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** object) {
  return QueryInterfaceFrom(riid, object, {{this, {&IID_IUnknown, &IID_IClassFactory}}});
}

// The factories are static objects of the module: counting them would keep
// the module loaded for ever, so they only count as locks while referenced
// from outside.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
  LockModule();
  return 2;
}
STDMETHODIMP_(ULONG) ClassFactory::Release() {
  UnlockModule();
  return 1;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return ComBoundary([&] { return create_(outer, riid, object); });
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock)
    LockModule();
  else
    UnlockModule();
  return S_OK;
}

}  // namespace zv
