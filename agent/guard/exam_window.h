// The exam page's window that the control names with -ExamPageWindow (its
// own window, when the page is not held by an Internet Explorer frame), and
// the top-level window that holds it: the exam's frame, which the guards
// never close or count, whatever browser it belongs to.
//
// The handle is a hint, not a trust boundary. It is looked up once at start,
// with its process and class; every pass looks again, and a window that is
// gone, or whose handle now names a window of another process or class,
// spares nothing. The frame is the named window's top-level ancestor at the
// moment of the pass, so a page that moves to another frame (a tab dragged
// out of its window) takes the sparing with it, and the old frame is a
// window like any other.
#pragma once

#include <windows.h>

#include <cstdint>

namespace zv {

// Called once at start with the value of -ExamPageWindow (0: none named;
// nothing is remembered or logged). Logs the frame that holds the page, or
// that the window was not found.
void RememberExamPageWindow(uint32_t pageWindow);

// The top-level window that holds the exam page now, or null.
HWND ExamFrame();

}  // namespace zv
