#include "control/popup/alert_dialog.h"

#include <commctrl.h>

#include <iterator>

#include "control/popup/alert_math.h"

namespace zv {

namespace {

// --- DPI functions of newer systems, bound at run time ----------------------

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif
constexpr UINT kWmDpiChanged = 0x02E0;
constexpr int kDpiAwarenessPerMonitor = 2;         // DPI_AWARENESS_PER_MONITOR_AWARE
constexpr int kProcessPerMonitorDpiAware = 2;      // PROCESS_PER_MONITOR_DPI_AWARE
constexpr int kMdtEffectiveDpi = 0;                // MDT_EFFECTIVE_DPI
constexpr int kDdcDisableAll = 0x0001 | 0x0002 | 0x0004;  // DDC_DISABLE_ALL | _RESIZE | _CONTROL_RELAYOUT
constexpr int kDcdcDisableAll = 0x0001 | 0x0002;          // DCDC_DISABLE_FONT_UPDATE | _RELAYOUT

template <class Fn>
void BindTo(Fn& fn, HMODULE module, const char* name) {
  fn = module != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

struct User32Dpi {
  UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;                        // Windows 10 1607
  HANDLE(WINAPI* getWindowDpiAwarenessContext)(HWND) = nullptr;         // 1607
  int(WINAPI* getAwarenessFromDpiAwarenessContext)(HANDLE) = nullptr;   // 1607
  BOOL(WINAPI* setDialogDpiChangeBehavior)(HWND, int, int) = nullptr;  // 1703
  BOOL(WINAPI* setDialogControlDpiChangeBehavior)(HWND, int, int) = nullptr;
};

const User32Dpi& User32Functions() {
  static const User32Dpi functions = [] {
    User32Dpi f;
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    BindTo(f.getDpiForWindow, user32, "GetDpiForWindow");
    BindTo(f.getWindowDpiAwarenessContext, user32, "GetWindowDpiAwarenessContext");
    BindTo(f.getAwarenessFromDpiAwarenessContext, user32, "GetAwarenessFromDpiAwarenessContext");
    BindTo(f.setDialogDpiChangeBehavior, user32, "SetDialogDpiChangeBehavior");
    BindTo(f.setDialogControlDpiChangeBehavior, user32, "SetDialogControlDpiChangeBehavior");
    return f;
  }();
  return functions;
}

// The shell's scaling library (Windows 8.1 and later) answers a monitor's
// DPI. It is loaded from the system folder only when a per-monitor answer is
// wanted, and stays loaded for the life of the process: a system library,
// and freeing it while the control's library goes would happen under the
// loader lock.
struct ShcoreDpi {
  HRESULT(WINAPI* getDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
  HRESULT(WINAPI* getProcessDpiAwareness)(HANDLE, int*) = nullptr;
};

const ShcoreDpi& ShcoreFunctions() {
  static const ShcoreDpi functions = [] {
    ShcoreDpi f;
    HMODULE shcore = GetModuleHandleW(L"shcore.dll");
    if (shcore == nullptr) shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    BindTo(f.getDpiForMonitor, shcore, "GetDpiForMonitor");
    BindTo(f.getProcessDpiAwareness, shcore, "GetProcessDpiAwareness");
    return f;
  }();
  return functions;
}

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

void Place(HWND window, const AlertRect& r) {
  SetWindowPos(window, nullptr, r.left, r.top, r.Width(), r.Height(),
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
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
// DPI

unsigned PopupDpiFor(HWND window, HMONITOR monitor) {
  const User32Dpi& user32 = User32Functions();
  DpiFacts facts;
  if (user32.getWindowDpiAwarenessContext != nullptr && user32.getAwarenessFromDpiAwarenessContext != nullptr) {
    const int awareness = window != nullptr
                              ? user32.getAwarenessFromDpiAwarenessContext(user32.getWindowDpiAwarenessContext(window))
                              : -1;
    if (awareness >= 0) facts.perMonitorAware = awareness == kDpiAwarenessPerMonitor;
  } else if (const ShcoreDpi& shcore = ShcoreFunctions(); shcore.getProcessDpiAwareness != nullptr) {
    int awareness = 0;
    if (SUCCEEDED(shcore.getProcessDpiAwareness(nullptr, &awareness)))
      facts.perMonitorAware = awareness == kProcessPerMonitorDpiAware;
  }
  if (user32.getDpiForWindow != nullptr && window != nullptr) facts.windowDpi = user32.getDpiForWindow(window);
  if (facts.perMonitorAware.value_or(false) && monitor != nullptr) {
    const ShcoreDpi& shcore = ShcoreFunctions();
    UINT x = 0, y = 0;
    if (shcore.getDpiForMonitor != nullptr && SUCCEEDED(shcore.getDpiForMonitor(monitor, kMdtEffectiveDpi, &x, &y)))
      facts.monitorDpi = x;
  }
  const WindowDc screen(nullptr);
  if (screen) facts.screenDpi = static_cast<unsigned>(GetDeviceCaps(screen.get(), LOGPIXELSX));
  return ChoosePopupDpi(facts);
}

AlertBaseUnits MeasureDialogBaseUnits(HFONT font) {
  static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const WindowDc screen(nullptr);
  if (!screen || font == nullptr) return {};
  const ScopedSelection selected(screen.get(), font);
  TEXTMETRICW metrics{};
  SIZE extent{};
  if (!GetTextMetricsW(screen.get(), &metrics) ||
      !GetTextExtentPoint32W(screen.get(), kAlphabet, static_cast<int>(std::size(kAlphabet) - 1), &extent))
    return {};
  return DialogBaseUnits(extent.cx, metrics.tmHeight);
}

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
  if (m_pStyle != nullptr) {
    m_pStyle->OnAttach(hwnd());
    m_pStyle->OnDpiChanged(hwnd(), m_nDpi);
  }
  InvalidateRect(hwnd(), nullptr, TRUE);
}

BOOL CAlertDialog::OnInitDialog() {
  SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, GetWindowLongPtrW(hwnd(), GWL_EXSTYLE) | WS_EX_LAYERED);
  // The notice lays itself out for each DPI: the dialog manager of a
  // per-monitor (v2) process must not scale it and its controls on top.
  const User32Dpi& user32 = User32Functions();
  if (user32.setDialogDpiChangeBehavior != nullptr)
    user32.setDialogDpiChangeBehavior(hwnd(), kDdcDisableAll, kDdcDisableAll);
  if (user32.setDialogControlDpiChangeBehavior != nullptr) {
    for (HWND child = GetWindow(hwnd(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
      user32.setDialogControlDpiChangeBehavior(child, kDcdcDisableAll, kDcdcDisableAll);
  }
  // No focus: the notice must never take the activation from the page.
  return FALSE;
}

void CAlertDialog::ApplyDpi(unsigned dpi) {
  m_nDpi = dpi;
  if (hwnd() == nullptr) return;
  if (m_pStyle != nullptr) m_pStyle->OnDpiChanged(hwnd(), dpi);
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
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

  // Laid out for the monitor it appears on: the primary one, whose work
  // area it rests on.
  const AlertRect work = PrimaryWorkArea();
  const RECT workRect{work.left, work.top, work.right, work.bottom};
  const unsigned dpi = PopupDpiFor(hwnd(), MonitorFromRect(&workRect, MONITOR_DEFAULTTOPRIMARY));
  if (dpi != m_nDpi) ApplyDpi(dpi);

  RECT window{};
  GetWindowRect(hwnd(), &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const AlertPoint at = AlertPosition(work, width, height, ScaleForDpi(kAlertRightGap, m_nDpi));

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
    case kWmDpiChanged: {
      // A per-monitor aware notice moved (dragged) onto a monitor of another
      // DPI: laid out anew, at the place the system suggests.
      const unsigned dpi = LOWORD(wParam);
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      if (dpi != 0 && dpi != m_nDpi) {
        ApplyDpi(dpi);
        if (suggested != nullptr)
          SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
      }
      return Answer(hwnd(), 0, result);
    }
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

  // The template's font as the dialog manager made it (face, weight,
  // character set); its height is set for each DPI.
  const auto titleFont = reinterpret_cast<HFONT>(SendDlgItemMessageW(hwnd(), IDC_ALERT_TITLE, WM_GETFONT, 0, 0));
  if (GetObjectW(titleFont != nullptr ? titleFont : GetStockObject(DEFAULT_GUI_FONT), sizeof m_lfFont, &m_lfFont) == 0)
    m_lfFont = LOGFONTW{};
  m_lfFont.lfWidth = 0;
  LOGFONTW at96 = m_lfFont;
  at96.lfHeight = FontHeightForDpi(kAlertTemplate.pointSize, kDefaultDpi);
  const UniqueFont font96(CreateFontIndirectW(&at96));
  m_base96 = MeasureDialogBaseUnits(font96.get());
  if (m_base96.x <= 0 || m_base96.y <= 0) {
    RECT units{0, 0, 4, 8};
    MapDialogRect(hwnd(), &units);
    m_base96 = {units.right, units.bottom};
  }

  m_wndLink.SetUnderline(true, true, false);
  m_wndLink.SetLinkColors(RGB(0, 0, 255), RGB(0, 0, 255), false);
  ApplyDpi(PopupDpiFor(hwnd(), MonitorFromWindow(hwnd(), MONITOR_DEFAULTTONEAREST)));
  m_wndPicture.SetTransparentColor(RGB(236, 233, 216), false);
  return result;
}

void CFirefoxAlert::ApplyDpi(unsigned dpi) {
  const AlertLayout layout = AlertLayoutForDpi(m_base96, dpi);

  // Fonts: the message in the template's weight, the title bold. The old
  // ones go once the controls hold the new ones.
  LOGFONTW font = m_lfFont;
  font.lfHeight = layout.fontHeight;
  UniqueFont regular(CreateFontIndirectW(&font));
  font.lfWeight = FW_BOLD;
  UniqueFont bold(CreateFontIndirectW(&font));
  if (bold) {
    SendDlgItemMessageW(hwnd(), IDC_ALERT_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(bold.get()), FALSE);
    m_hBoldFont = std::move(bold);
  }
  if (regular) {
    SendDlgItemMessageW(hwnd(), IDC_ALERT_LINK, WM_SETFONT, reinterpret_cast<WPARAM>(regular.get()), FALSE);
    m_hFont = std::move(regular);
  }

  SetWindowPos(hwnd(), nullptr, 0, 0, layout.width, layout.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  Place(GetDlgItem(hwnd(), IDC_ALERT_TITLE), layout.title);
  Place(GetDlgItem(hwnd(), IDC_ALERT_LINK), layout.link);

  // The picture drawn for the size nearest above, scaled to the pixel.
  static constexpr int kSizes[] = {kAlertPictureSize, 72, 96};
  static constexpr int kIds[] = {IDB_ALERT_PICTURE, IDB_ALERT_PICTURE_72, IDB_ALERT_PICTURE_96};
  const int size = layout.picture.Width();
  const int pick = PickPictureVariant(size, kSizes);
  if (pick < 0 || !m_wndPicture.SetBitmap(kIds[pick], false, size))
    m_wndPicture.SetBitmap(IDB_ALERT_PICTURE, false, size);
  Place(GetDlgItem(hwnd(), IDC_ALERT_PICTURE), layout.picture);

  // What the labels saved of the background lay under their old rectangles.
  m_wndTitle.ForgetBackground();
  m_wndLink.ForgetBackground();
  m_wndPicture.ForgetBackground();
  CAlertDialog::ApplyDpi(dpi);
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
