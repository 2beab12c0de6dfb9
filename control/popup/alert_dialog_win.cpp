#include "control/popup/alert_dialog.h"

#include <commctrl.h>

#include "control/popup/alert_math.h"

namespace zv {

namespace {

AlertRect ToAlertRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

AlertRect PrimaryWorkArea() {
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return ToAlertRect(work);
}

AlertRect NearestMonitorWorkArea(const AlertRect& r) {
  const RECT rect{r.left, r.top, r.right, r.bottom};
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info)) return PrimaryWorkArea();
  return ToAlertRect(info.rcWork);
}

POINT PointOf(LPARAM lParam) { return {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))}; }

// A dialog procedure answers most messages through DWLP_MSGRESULT.
bool Answer(HWND hwnd, LRESULT value, INT_PTR& result) {
  SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, value);
  result = TRUE;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// CAlertDialog

CAlertDialog::CAlertDialog(int templateId, HWND parent) : m_nTemplateId(templateId), m_hParent(parent) {}

CAlertDialog::~CAlertDialog() { Destroy(); }

bool CAlertDialog::Create(HWND parent) {
  if (hwnd() != nullptr) return false;
  if (parent != nullptr) m_hParent = parent;
  return CreateModeless(ThisModule(), m_nTemplateId, m_hParent);
}

void CAlertDialog::SetAlertStyle(CAlertStyle* style) {
  m_pStyle = style;
  if (hwnd() == nullptr) return;
  if (m_pStyle != nullptr) m_pStyle->OnAttach(hwnd());
  InvalidateRect(hwnd(), nullptr, TRUE);
}

BOOL CAlertDialog::OnInitDialog() {
  SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) | WS_EX_LAYERED);
  // No focus: the notice must never take the activation from the page.
  return FALSE;
}

void CAlertDialog::OnCommand(WORD id, WORD, HWND) {
  // Escape or a close request hides the notice; its window stays for the
  // next one.
  if (id == IDOK || id == IDCANCEL) HideAlert();
}

UINT_PTR CAlertDialog::StartTimer(UINT_PTR id, unsigned ms) { return SetTimer(hwnd(), id, ms, nullptr); }

void CAlertDialog::StopTimer(UINT_PTR& id) {
  if (id != 0) KillTimer(hwnd(), id);
  id = 0;
}

void CAlertDialog::ApplyAlpha() { SetLayeredWindowAttributes(hwnd(), 0, m_nAlpha, LWA_ALPHA); }

bool CAlertDialog::ShowAlert(unsigned fadeMs, unsigned displayMs, uint8_t maxAlpha, BOOL pauseOnHover) {
  const std::optional<unsigned> period = FadeStepPeriod(fadeMs, maxAlpha);
  if (hwnd() == nullptr || !period) return false;
  // A notice still running would otherwise fade the new one out early.
  StopTimer(m_nFadeInTimer);
  StopTimer(m_nDisplayTimer);
  StopTimer(m_nFadeOutTimer);

  RECT window{};
  GetWindowRect(hwnd(), &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const AlertPoint at = AlertPosition(PrimaryWorkArea(), width, height);

  m_nAlpha = 0;
  m_nMaxAlpha = maxAlpha;
  ApplyAlpha();
  ShowWindow(hwnd(), SW_SHOWNA);
  SetWindowPos(hwnd(), HWND_TOPMOST, at.x, at.y, width, height, SWP_NOACTIVATE | SWP_NOOWNERZORDER);

  m_nFadeTime = fadeMs;
  m_nDisplayTime = displayMs;
  m_bPauseOnHover = pauseOnHover;
  m_nFadeInTimer = StartTimer(kFadeInTimer, *period);
  return true;
}

void CAlertDialog::HideAlert() {
  if (hwnd() == nullptr) return;
  StopTimer(m_nFadeInTimer);
  StopTimer(m_nFadeOutTimer);
  StopTimer(m_nDisplayTimer);
  m_bMouseInside = false;
  ShowWindow(hwnd(), SW_HIDE);
}

void CAlertDialog::OnTimer(UINT_PTR id) {
  if (m_nFadeInTimer != 0 && id == m_nFadeInTimer) {
    const FadeStep step = FadeInStep(m_nAlpha, m_nMaxAlpha);
    m_nAlpha = step.alpha;
    ApplyAlpha();
    if (step.finished) {
      StopTimer(m_nFadeInTimer);
      m_nDisplayTimer = StartTimer(kDisplayTimer, m_nDisplayTime);
    }
  } else if (m_nDisplayTimer != 0 && id == m_nDisplayTimer) {
    StopTimer(m_nDisplayTimer);
    m_nFadeOutTimer = StartTimer(kFadeOutTimer, FadeStepPeriod(m_nFadeTime, m_nMaxAlpha).value_or(0));
  } else if (m_nFadeOutTimer != 0) {
    const FadeStep step = FadeOutStep(m_nAlpha);
    m_nAlpha = step.alpha;
    ApplyAlpha();
    if (step.finished) {
      StopTimer(m_nFadeOutTimer);
      HideAlert();
    }
  }
}

void CAlertDialog::OnMouseMove(POINT point) {
  if (m_bDragging) {
    RECT window{};
    GetWindowRect(hwnd(), &window);
    OffsetRect(&window, point.x - m_ptDragStart.x, point.y - m_ptDragStart.y);
    const AlertRect kept = KeepInWorkArea(ToAlertRect(window), PrimaryWorkArea(), NearestMonitorWorkArea);
    MoveWindow(hwnd(), kept.left, kept.top, kept.Width(), kept.Height(), TRUE);
    return;
  }
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_HOVER | TME_LEAVE;
  track.hwndTrack = hwnd();
  track.dwHoverTime = 1;
  _TrackMouseEvent(&track);
}

void CAlertDialog::OnMouseHover() {
  if (!m_bPauseOnHover || m_bMouseInside) return;
  m_bMouseInside = true;
  if (m_nFadeInTimer != 0)
    StopTimer(m_nFadeInTimer);
  else if (m_nDisplayTimer != 0)
    StopTimer(m_nDisplayTimer);
  else if (m_nFadeOutTimer != 0)
    StopTimer(m_nFadeOutTimer);
  m_nAlpha = 255;
  ApplyAlpha();
}

void CAlertDialog::OnMouseLeave() {
  if (!m_bPauseOnHover || !m_bMouseInside) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  RECT window{};
  GetWindowRect(hwnd(), &window);
  if (PtInRect(&window, cursor)) return;
  m_bMouseInside = false;
  m_nAlpha = m_nMaxAlpha;
  ApplyAlpha();
  m_nDisplayTimer = StartTimer(kDisplayTimer, m_nDisplayTime);
}

void CAlertDialog::Paint() {
  PAINTSTRUCT ps{};
  const HDC dc = BeginPaint(hwnd(), &ps);
  if (dc != nullptr) m_pStyle->DrawFrame(hwnd(), dc);
  EndPaint(hwnd(), &ps);
}

bool CAlertDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (msg) {
    case WM_CTLCOLORSTATIC: {
      // Hand the colour request to the control it is about; the answer (a
      // brush) is the dialog procedure's result itself.
      const LRESULT brush = SendMessageW(reinterpret_cast<HWND>(lParam), kReflectedCtlColorStatic, wParam, lParam);
      if (brush == 0) return false;
      result = brush;
      return true;
    }
    case WM_ERASEBKGND: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      if (m_pStyle == nullptr || !m_pStyle->EraseBackground(hwnd(), dc)) return false;
      // The fill covers the frame's inner outline, and an erase may come
      // without a paint after it (Wine sends one after WM_NCPAINT): draw the
      // frame again so that it is never lost.
      m_pStyle->DrawFrame(hwnd(), dc);
      return Answer(hwnd(), TRUE, result);
    }
    case WM_NCPAINT:
    case WM_PAINT:
      // The window has no non-client area: its frame lies in the client
      // area and is drawn by the style in a paint context (the erase comes
      // with it), whichever of the two messages comes first.
      if (m_pStyle == nullptr) return false;
      Paint();
      return Answer(hwnd(), 0, result);
    case WM_TIMER:
      OnTimer(wParam);
      return Answer(hwnd(), 0, result);
    case WM_LBUTTONDOWN:
      if (!m_bDragging) {
        m_ptDragStart = PointOf(lParam);
        SetCapture(hwnd());
        m_bDragging = true;
      }
      return Answer(hwnd(), 0, result);
    case WM_MOUSEMOVE:
      OnMouseMove(PointOf(lParam));
      return Answer(hwnd(), 0, result);
    case WM_LBUTTONUP:
      if (m_bDragging) {
        m_bDragging = false;
        ReleaseCapture();
      }
      return Answer(hwnd(), 0, result);
    case WM_CAPTURECHANGED:
      // Capture taken away mid-drag (another window, the notice hidden).
      if (reinterpret_cast<HWND>(lParam) != hwnd()) m_bDragging = false;
      return false;
    case WM_MOUSEHOVER:
      OnMouseHover();
      return Answer(hwnd(), 0, result);
    case WM_MOUSELEAVE:
      OnMouseLeave();
      return Answer(hwnd(), 0, result);
    default:
      return false;
  }
}

// ---------------------------------------------------------------------------
// CFirefoxAlert

CFirefoxAlert::CFirefoxAlert(HWND parent) : CAlertDialog(IDD_ALERT, parent) {}

CFirefoxAlert::~CFirefoxAlert() {
  // The controls and the title's font go after the window.
  Destroy();
}

bool CFirefoxAlert::SetMessageText(const wchar_t* text) {
  return hwnd() != nullptr && SetDlgItemTextW(hwnd(), IDC_ALERT_LINK, text) != FALSE;
}

BOOL CFirefoxAlert::OnInitDialog() {
  const BOOL result = CAlertDialog::OnInitDialog();
  m_wndTitle.Attach(hwnd(), IDC_ALERT_TITLE);
  m_wndLink.Attach(hwnd(), IDC_ALERT_LINK);
  m_wndPicture.Attach(hwnd(), IDC_ALERT_PICTURE);

  LOGFONTW font{};
  const auto titleFont = reinterpret_cast<HFONT>(SendDlgItemMessageW(hwnd(), IDC_ALERT_TITLE, WM_GETFONT, 0, 0));
  if (GetObjectW(titleFont != nullptr ? titleFont : GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) != 0) {
    font.lfWeight = FW_BOLD;
    m_hBoldFont.reset(CreateFontIndirectW(&font));
    if (m_hBoldFont)
      SendDlgItemMessageW(hwnd(), IDC_ALERT_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_hBoldFont.get()), TRUE);
  }
  m_wndLink.SetUnderline(true, true, false);
  m_wndLink.SetLinkColors(RGB(0, 0, 255), RGB(0, 0, 255), false);
  m_wndPicture.SetBitmap(IDB_ALERT_PICTURE, false);
  m_wndPicture.SetTransparentColor(RGB(236, 233, 216), false);
  return result;
}

bool CFirefoxAlert::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (msg == WM_ALERT_LINK_CLICKED) {
    HideAlert();
    result = TRUE;
    return true;
  }
  return CAlertDialog::HandleMessage(msg, wParam, lParam, result);
}

}  // namespace zv
