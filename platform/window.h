// A thin window layer: messages of a window or dialog go to a virtual member of
// the C++ object that owns it. Nothing else: no message maps, no document or
// view machinery. The object must outlive its window (the usual case: the
// window is destroyed in, or before, the owner's destructor).
#pragma once

#include <windows.h>

#include <string>

namespace zv {

// The module this code is linked into (the exe, or the control's DLL).
HINSTANCE ThisModule();

struct WindowClass {
  const wchar_t* name = nullptr;
  UINT style = 0;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  HICON icon = nullptr;
  // Superclass an existing class (e.g. "STATIC"): its style, cursor and brush
  // are taken over and its window procedure becomes the default handling.
  const wchar_t* base = nullptr;
};

class Window {
 public:
  Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;
  virtual ~Window();

  HWND hwnd() const { return hwnd_; }

  // Registers the class once per process and module, then creates the window.
  bool Create(const WindowClass& cls, DWORD exStyle, const wchar_t* title, DWORD style, const RECT& rect,
              HWND parent, HMENU menuOrId);

  // Takes over an existing window (a dialog's control): its messages reach
  // HandleMessage, and Default() calls the window's previous procedure.
  bool Subclass(HWND hwnd);

  // Destroys the window if it still exists.
  void Destroy();

 protected:
  // Everything not handled goes to Default().
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT msg, WPARAM wParam, LPARAM lParam);
  // Called after WM_NCDESTROY, when hwnd() is already null.
  virtual void OnFinalDestroy() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
  WNDPROC base_proc_ = nullptr;  // superclass or subclassed procedure; null: DefWindowProcW
};

// Dialogs from resource templates, modal or modeless.
class Dialog {
 public:
  Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  virtual ~Dialog();

  HWND hwnd() const { return hwnd_; }

  INT_PTR DoModal(HINSTANCE module, int templateId, HWND parent);
  bool CreateModeless(HINSTANCE module, int templateId, HWND parent);
  void EndDialog(INT_PTR result);
  void Destroy();

 protected:
  // Return TRUE to let the system set the focus (as DialogProc does).
  virtual BOOL OnInitDialog() { return TRUE; }
  // IDOK and IDCANCEL end a modal dialog unless overridden.
  virtual void OnCommand(WORD id, WORD code, HWND control);
  // Return true when the message was handled; `result` is then the dialog
  // procedure's result (SetWindowLongPtr(DWLP_MSGRESULT) is the caller's job).
  virtual bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

// Runs a window's message handler: nothing may be thrown through the system's
// frames, so an exception ends as a failed creation (-1 for WM_CREATE) or as a
// message answered with 0.
template <typename Handler>
LRESULT HandleWithoutThrowing(UINT msg, Handler&& handler) noexcept {
  try {
    return handler();
  } catch (...) {
    return msg == WM_CREATE ? -1 : 0;
  }
}

// Dispatches this thread's messages until `done` holds, for `limitMs` at
// most; false when it never held.
template <typename Done>
bool PumpMessagesUntil(Done done, DWORD limitMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
      if (done()) return true;
    }
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= limitMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, limitMs - elapsed < 10 ? limitMs - elapsed : 10, QS_ALLINPUT);
  }
}
// Dispatches this thread's messages for `ms` milliseconds.
inline void PumpMessagesFor(DWORD ms) {
  PumpMessagesUntil([] { return false; }, ms);
}

// A window's text and class name as GetWindowTextW and GetClassNameW give them
// with a buffer of `capacity` code units (terminator included): a longer text
// is cut to capacity - 1 code units; empty when the call fails.
std::u16string WindowText(HWND window, int capacity);
std::u16string WindowClassName(HWND window, int capacity);

}  // namespace zv
