// The few pieces of COM plumbing the control needs, without a framework: the
// module's lock count, a class factory and the embedded type library. (The
// text crossings into BSTR are in platform/com_ptr.h.)
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <string>

#include "platform/com_ptr.h"  // AllocBstr, FromBstr
#include "platform/com_ref_count.h"

namespace zv {

// Objects alive plus IClassFactory::LockServer locks; DllCanUnloadNow asks it.
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The type library embedded in this module (resource "TYPELIB" 1), loaded
// once per process; null when the module carries none (the test program).
ITypeLib* ModuleTypeLib();
// The type information of one of its entries; caller releases.
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info);

// The IUnknown of a COM object of this module that implements one interface
// I (answered under IUnknown and `iid`): it counts its own references, is
// deleted at the last one, and holds a module lock while it lives.
template <typename Derived, typename I, const IID& iid>
class ModuleObject : public I {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return QueryInterfaceFrom(riid, object, {{this, {&IID_IUnknown, &iid}}});
  }
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Increment(); }
  STDMETHODIMP_(ULONG) Release() override { return refs_.Decrement(static_cast<Derived*>(this)); }

 protected:
  ModuleObject() { LockModule(); }
  ~ModuleObject() { UnlockModule(); }

 private:
  ComRefCount refs_;
};

// A class factory for objects created by a function.
class ClassFactory final : public IClassFactory {
 public:
  using CreateFn = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);
  explicit ClassFactory(CreateFn create) : create_(create) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  CreateFn create_;
};

// The module's path as GetModuleFileNameW gives it (at most 260 characters).
std::wstring ModulePath();

}  // namespace zv
