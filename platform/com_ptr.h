// Minimal owners for COM interface pointers and BSTRs: release exactly once,
// move but never copy. Also the text crossings into BSTR and the one way the
// objects here answer QueryInterface.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <unknwn.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "platform/wide.h"

namespace zv {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~ComPtr() { reset(); }

  // An owner of the reference `p` comes with (a new object's first one).
  static ComPtr Adopt(T* p) {
    ComPtr owner;
    owner.p_ = p;
    return owner;
  }
  // An owner of a reference of its own to `p` (p may be null).
  static ComPtr Share(T* p) {
    ComPtr owner;
    owner.share(p);
    return owner;
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  // Holds `p` with a reference of its own (p may be null); what was held
  // before is released after `p` is taken, so holding the same pointer again
  // is safe.
  void share(T* p) {
    if (p) p->AddRef();
    T* old = std::exchange(p_, p);
    if (old) old->Release();
  }
  // A new reference to what is held, for an out-parameter (null when empty).
  T* copy() const {
    if (p_) p_->AddRef();
    return p_;
  }
  // Hands the reference held over to the caller; empty afterwards.
  T* detach() { return std::exchange(p_, nullptr); }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

class UniqueBstr {
 public:
  UniqueBstr() = default;
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { SysFreeString(b_); }
  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  UINT length() const { return b_ ? SysStringLen(b_) : 0; }

 private:
  BSTR b_ = nullptr;
};

// BSTR from a text (embedded NULs kept); the caller owns it.
inline BSTR AllocBstr(std::u16string_view text) {
  return SysAllocStringLen(Wide(text).c_str(), static_cast<UINT>(text.size()));
}
// The text of a BSTR (its full length, embedded NULs kept); empty for null.
inline std::u16string FromBstr(BSTR text) { return text ? U16(text, SysStringLen(text)) : std::u16string(); }

// One interface an object offers: the pointer handed out for it (null where
// the object does not offer it now) and the IIDs it answers to.
struct ComOffer {
  IUnknown* itf;
  const IID* iids[5];
};

// QueryInterface over a table of what an object offers: the first offer
// with a matching IID is handed out with a new reference.
inline HRESULT QueryInterfaceFrom(REFIID riid, void** object, std::initializer_list<ComOffer> offers) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const ComOffer& offer : offers) {
    if (offer.itf == nullptr) continue;
    for (const IID* iid : offer.iids) {
      if (iid == nullptr || !IsEqualIID(riid, *iid)) continue;
      offer.itf->AddRef();
      *object = offer.itf;
      return S_OK;
    }
  }
  return E_NOINTERFACE;
}

}  // namespace zv
