// RAII owners for the Windows handles the programs hold. Each owner closes its
// handle exactly once, moves but never copies, and treats the handle type's
// own "no handle" value as empty.
#pragma once

#include <windows.h>

#include <tlhelp32.h>
#include <utility>

namespace zv {

template <typename Traits>
class UniqueHandle {
 public:
  using pointer = typename Traits::pointer;

  UniqueHandle() = default;
  explicit UniqueHandle(pointer h) : h_(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  pointer get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::invalid(); }
  pointer release() { return std::exchange(h_, Traits::invalid()); }
  void reset(pointer h = Traits::invalid()) {
    if (h_ != Traits::invalid()) Traits::close(h_);
    h_ = h;
  }
  // For out-parameters: closes what is held and hands out the slot.
  pointer* put() {
    reset();
    return &h_;
  }

 private:
  pointer h_ = Traits::invalid();
};

struct KernelHandleTraits {
  using pointer = HANDLE;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile and Toolhelp snapshots report INVALID_HANDLE_VALUE
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) { ::CloseHandle(h); }
};
struct FindTraits {  // FindFirstFile reports INVALID_HANDLE_VALUE
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static void close(pointer h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using pointer = HKEY;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::RegCloseKey(h); }
};
struct GdiObjectTraits {
  using pointer = HGDIOBJ;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::DeleteObject(h); }
};
// A GDI object of one type (font, bitmap, pen), so that get() needs no cast.
template <typename Handle>
struct TypedGdiObjectTraits {
  using pointer = Handle;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::DeleteObject(h); }
};
struct MenuTraits {
  using pointer = HMENU;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::DestroyMenu(h); }
};
struct MemoryDcTraits {
  using pointer = HDC;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::DeleteDC(h); }
};
struct LocalMemoryTraits {
  using pointer = HLOCAL;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::LocalFree(h); }
};
struct LibraryTraits {
  using pointer = HMODULE;
  static pointer invalid() { return nullptr; }
  static void close(pointer h) { ::FreeLibrary(h); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueFont = UniqueHandle<TypedGdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<TypedGdiObjectTraits<HBITMAP>>;
using UniquePen = UniqueHandle<TypedGdiObjectTraits<HPEN>>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;
using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits>;
using UniqueLibrary = UniqueHandle<LibraryTraits>;

// A window's device context from GetDC, given back with ReleaseDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// An object selected into a device context for a scope: the object that was
// selected before goes back in at the end.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;
  ~ScopedSelection() { ::SelectObject(dc_, previous_); }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace zv
