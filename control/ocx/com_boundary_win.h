// No C++ exception may leave the control through COM or a window procedure:
// a browser would end. Every entry point the container or a page can reach
// runs its body through ComBoundary.
#pragma once

#include <windows.h>

#include <new>

namespace zv {

// Runs `body` (which returns an HRESULT): std::bad_alloc becomes
// E_OUTOFMEMORY, any other exception E_UNEXPECTED.
template <class F>
HRESULT ComBoundary(F&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace zv
