// The property page object's creation function (for its class factory).
#pragma once

#include <windows.h>

#include <ocidl.h>

namespace zv {
HRESULT CreatePropPage(IUnknown* outer, REFIID riid, void** object);
}
