#include "control/popup/alert_style.h"

#include "control/popup/alert_math.h"

namespace zv {

namespace {

// The window rectangle in the window's own client coordinates.
RECT FrameRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void Outline(HDC dc, const RECT& r) {
  MoveToEx(dc, r.left, r.top, nullptr);
  LineTo(dc, r.right - 1, r.top);
  LineTo(dc, r.right - 1, r.bottom - 1);
  LineTo(dc, r.left, r.bottom - 1);
  LineTo(dc, r.left, r.top);
}

}  // namespace

CAlertStyleFirefox::CAlertStyleFirefox()
    : m_hPen(CreatePen(PS_SOLID, 1, kFrameColor)), m_hBrush(GetSysColorBrush(COLOR_3DFACE)) {}

CAlertStyleFirefox::~CAlertStyleFirefox() = default;

void CAlertStyleFirefox::DrawFrame(HWND window, HDC dc) {
  RECT rect = FrameRect(window);
  const ScopedSelection pen(dc, m_hPen.get());
  for (int line = 0; line < m_nFrameWidth; ++line) {
    Outline(dc, rect);
    InflateRect(&rect, -1, -1);
  }
}

BOOL CAlertStyleFirefox::EraseBackground(HWND window, HDC dc) {
  RECT rect = FrameRect(window);
  InflateRect(&rect, -1, -1);
  FillRect(dc, &rect, m_hBrush);
  return TRUE;
}

void CAlertStyleFirefox::OnAttach(HWND) {}

void CAlertStyleFirefox::OnDpiChanged(HWND, unsigned dpi) { m_nFrameWidth = ScaleForDpi(kAlertFrameWidth, dpi); }

}  // namespace zv
