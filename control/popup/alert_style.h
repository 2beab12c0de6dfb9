// Exchangeable drawing styles of the notification popup: a style draws the
// popup's frame and erases its background.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace zv {

class CAlertStyle {
 public:
  virtual ~CAlertStyle() = default;
  // Draws the frame inside the window's rectangle (client coordinates).
  virtual void DrawFrame(HWND window, HDC dc) = 0;
  // Returns non-zero when it has erased the background.
  virtual BOOL EraseBackground(HWND window, HDC dc) = 0;
  // Called when the style is set on a window.
  virtual void OnAttach(HWND window) = 0;
  // Called when the window is laid out for another DPI (and when the style
  // is set); lengths designed at 96 DPI scale by dpi / 96.
  virtual void OnDpiChanged(HWND window, unsigned dpi) {
    (void)window;
    (void)dpi;
  }
};

// A frame two pixels wide at 96 DPI (as many one-pixel outlines as the DPI
// makes of two pixels) in RGB(123, 150, 156) around a COLOR_3DFACE
// background.
class CAlertStyleFirefox : public CAlertStyle {
 public:
  static constexpr COLORREF kFrameColor = RGB(123, 150, 156);

  CAlertStyleFirefox();
  ~CAlertStyleFirefox() override;
  CAlertStyleFirefox(const CAlertStyleFirefox&) = delete;
  CAlertStyleFirefox& operator=(const CAlertStyleFirefox&) = delete;

  void DrawFrame(HWND window, HDC dc) override;
  BOOL EraseBackground(HWND window, HDC dc) override;
  void OnAttach(HWND window) override;
  void OnDpiChanged(HWND window, unsigned dpi) override;

  int FrameWidth() const { return m_nFrameWidth; }

 private:
  int m_nFrameWidth = 2;
  UniquePen m_hPen;
  HBRUSH m_hBrush;  // system colour brush: never deleted
};

}  // namespace zv
