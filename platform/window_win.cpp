#include "platform/window.h"

#include <set>
#include <string>

#include "platform/wide.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zv {

HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

namespace {

// The base procedures of superclassed windows, by class name.
struct RegisteredClass {
  std::wstring name;
  WNDPROC base;
  bool operator<(const RegisteredClass& other) const { return name < other.name; }
};
std::set<RegisteredClass>& Registered() {
  static std::set<RegisteredClass> classes;
  return classes;
}

constexpr wchar_t kObjectProp[] = L"zv.Window";

}  // namespace

std::u16string WindowText(HWND window, int capacity) {
  std::u16string text(static_cast<size_t>(capacity > 0 ? capacity : 1), u'\0');
  const int length = GetWindowTextW(window, W(text), capacity);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

std::u16string WindowClassName(HWND window, int capacity) {
  std::u16string name(static_cast<size_t>(capacity > 0 ? capacity : 1), u'\0');
  const int length = GetClassNameW(window, W(name), capacity);
  name.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return name;
}

Window::~Window() { Destroy(); }

bool Window::Create(const WindowClass& cls, DWORD exStyle, const wchar_t* title, DWORD style, const RECT& rect,
                    HWND parent, HMENU menuOrId) {
  auto& classes = Registered();
  auto found = classes.find(RegisteredClass{cls.name, nullptr});
  if (found == classes.end()) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    WNDPROC base = nullptr;
    if (cls.base != nullptr) {
      if (!GetClassInfoExW(nullptr, cls.base, &wc)) return false;
      base = wc.lpfnWndProc;
      wc.cbSize = sizeof wc;
    } else {
      wc.style = cls.style;
      wc.hCursor = cls.cursor;
      wc.hbrBackground = cls.background;
      wc.hIcon = cls.icon;
    }
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = cls.name;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    found = classes.insert(RegisteredClass{cls.name, base}).first;
  }
  base_proc_ = found->base;
  const HWND hwnd = CreateWindowExW(exStyle, cls.name, title, style, rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, parent, menuOrId, ThisModule(), this);
  return hwnd != nullptr;
}

bool Window::Subclass(HWND hwnd) {
  if (hwnd == nullptr || hwnd_ != nullptr) return false;
  hwnd_ = hwnd;
  SetPropW(hwnd, kObjectProp, this);
  base_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
  return base_proc_ != nullptr;
}

void Window::Destroy() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

LRESULT Window::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) { return Default(msg, wParam, lParam); }

LRESULT Window::Default(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (base_proc_ != nullptr) return CallWindowProcW(base_proc_, hwnd_, msg, wParam, lParam);
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

LRESULT Window::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  const LRESULT result = HandleMessage(msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    RemovePropW(hwnd_, kObjectProp);
    hwnd_ = nullptr;
    OnFinalDestroy();
  }
  return result;
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<Window*>(GetPropW(hwnd, kObjectProp));
  if (self == nullptr && msg == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (self != nullptr) {
      self->hwnd_ = hwnd;
      SetPropW(hwnd, kObjectProp, self);
    }
  }
  if (self == nullptr) {
    // A window of one of our classes created by somebody else (a dialog
    // template naming the class): plain default handling.
    auto found = Registered().find(RegisteredClass{Wide(WindowClassName(hwnd, 256)), nullptr});
    if (found != Registered().end() && found->base != nullptr)
      return CallWindowProcW(found->base, hwnd, msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  return self->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK Window::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<Window*>(GetPropW(hwnd, kObjectProp));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    // Put the original procedure back before the window goes.
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->base_proc_));
  }
  return self->Dispatch(msg, wParam, lParam);
}

Dialog::~Dialog() { Destroy(); }

INT_PTR Dialog::DoModal(HINSTANCE module, int templateId, HWND parent) {
  modal_ = true;
  return DialogBoxParamW(module, MAKEINTRESOURCEW(templateId), parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::CreateModeless(HINSTANCE module, int templateId, HWND parent) {
  modal_ = false;
  return CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), parent, DialogProc,
                            reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
  if (hwnd_ == nullptr) return;
  if (modal_)
    ::EndDialog(hwnd_, result);
  else
    DestroyWindow(hwnd_);
}

void Dialog::Destroy() {
  if (hwnd_ != nullptr && !modal_) DestroyWindow(hwnd_);
}

void Dialog::OnCommand(WORD id, WORD, HWND) {
  if (id == IDOK || id == IDCANCEL) EndDialog(id);
}

bool Dialog::HandleMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (msg == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    self->hwnd_ = hwnd;
  }
  if (self == nullptr) return FALSE;
  INT_PTR result = 0;
  if (self->HandleMessage(msg, wParam, lParam, result)) return result;
  switch (msg) {
    case WM_INITDIALOG:
      return self->OnInitDialog();
    case WM_COMMAND:
      self->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return TRUE;
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      self->hwnd_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace zv
