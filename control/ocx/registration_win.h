// Self-registration of the control module and its class objects.
#pragma once

#include <windows.h>

#include <objbase.h>

namespace zv {

constexpr HRESULT kSelfRegTypeLibError = static_cast<HRESULT>(0x80040200);  // SELFREG_E_TYPELIB
constexpr HRESULT kSelfRegClassError = static_cast<HRESULT>(0x80040201);    // SELFREG_E_CLASS

// DllRegisterServer: the type library, both classes, the two component
// categories and the control's marks in them, in that order.
HRESULT RegisterServer();
// DllUnregisterServer: the type library, then both classes; the category
// marks stay.
HRESULT UnregisterServer();

// DllGetClassObject.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

}  // namespace zv
