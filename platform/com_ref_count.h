// The reference count of a COM object that deletes itself when the last
// reference goes. Starts at 1: the creator holds the first reference.
#pragma once

#include <windows.h>

namespace zv {

class ComRefCount {
 public:
  ULONG Increment() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

  // `owner` is the object this count belongs to; it is deleted at zero.
  template <typename T>
  ULONG Decrement(T* owner) {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete owner;
    return static_cast<ULONG>(refs);
  }

 private:
  LONG refs_ = 1;
};

}  // namespace zv
