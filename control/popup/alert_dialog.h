// The notification popup: a borderless layered notice that fades in above the
// bottom-right corner of the primary work area, stays, fades out and hides.
// It stays on top without taking the activation; it can be dragged, and a
// click on its message hides it at once. It is laid out for the DPI of the
// monitor it appears on (see ChoosePopupDpi): its sizes, margins, fonts and
// picture are those of 96 DPI scaled by dpi / 96.
//
// Use (the owner keeps both objects for its whole life; the style must
// outlive the popup's window and be set before the first ShowAlert):
//
//   CAlertStyleFirefox style;
//   CFirefoxAlert alert(ownerWindow);
//   alert.Create(ownerWindow);                 // modeless, from template 206
//   alert.SetAlertStyle(&style);
//   SetDlgItemTextW(alert.hwnd(), IDC_ALERT_LINK, L"...");   // the message
//   alert.ShowAlert(1000, 2000, 255, FALSE);
//
// The resources (dialog 206, bitmap 207) must be in the module this code is
// linked into (control/res/popup.rc).
#pragma once

#include <windows.h>

#include <cstdint>

#include "control/popup/alert_controls.h"
#include "control/popup/alert_math.h"
#include "control/popup/alert_style.h"
#include "control/res/popup_resource.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace zv {

// The DPI to lay `window` out for when it is shown on `monitor`: the facts
// the system offers (functions bound at run time: GetDpiForWindow and the
// window's awareness on Windows 10, the shell scaling library's monitor DPI,
// the screen's LOGPIXELSX everywhere) decided by ChoosePopupDpi.
unsigned PopupDpiFor(HWND window, HMONITOR monitor);

// Dialog base units of `font` as the dialog manager measures them.
AlertBaseUnits MeasureDialogBaseUnits(HFONT font);

class CAlertDialog : public Dialog {
 public:
  static constexpr UINT_PTR kDisplayTimer = 444;
  static constexpr UINT_PTR kFadeInTimer = 445;
  static constexpr UINT_PTR kFadeOutTimer = 446;

  CAlertDialog(int templateId, HWND parent);
  ~CAlertDialog() override;

  // Creates the (hidden) window modelessly from the template, owned by `parent`.
  bool Create(HWND parent);

  // Sets the drawing style (not owned, may be null) and repaints.
  void SetAlertStyle(CAlertStyle* style);

  // Lays the notice out for the DPI of the primary monitor, places it, makes
  // it topmost without activating it and starts the
  // fade-in: one alpha step of 5 every fadeMs / (maxAlpha / 5) ms, then
  // displayMs fully shown, then the fade-out at the same pace and hidden.
  // Timers of an earlier cycle are stopped first. Refused (false, nothing
  // shown) without a window or with maxAlpha below 5, which has no step.
  bool ShowAlert(unsigned fadeMs, unsigned displayMs, uint8_t maxAlpha, BOOL pauseOnHover);

  // Stops every timer and hides the window (it can be shown again).
  void HideAlert();

  // State, for the owner and for tests.
  uint8_t Alpha() const { return m_nAlpha; }
  uint8_t MaxAlpha() const { return m_nMaxAlpha; }
  UINT_PTR DisplayTimer() const { return m_nDisplayTimer; }
  UINT_PTR FadeInTimer() const { return m_nFadeInTimer; }
  UINT_PTR FadeOutTimer() const { return m_nFadeOutTimer; }
  bool IsDragging() const { return m_bDragging; }
  bool IsMouseInside() const { return m_bMouseInside; }
  // The DPI the notice is laid out for (96 until it is).
  unsigned Dpi() const { return m_nDpi; }

 protected:
  BOOL OnInitDialog() override;
  // Lays the notice out for `dpi`. Derived notices place their controls and
  // then call this, which tells the style and repaints.
  virtual void ApplyDpi(unsigned dpi);
  void OnCommand(WORD id, WORD code, HWND control) override;
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void ApplyAlpha();
  void OnTimer(UINT_PTR id);
  void OnMouseMove(POINT point);
  void OnMouseHover();
  void OnMouseLeave();
  void Paint();
  UINT_PTR StartTimer(UINT_PTR id, unsigned ms);
  void StopTimer(UINT_PTR& id);

  int m_nTemplateId;
  UINT_PTR m_nDisplayTimer = 0;
  UINT_PTR m_nFadeInTimer = 0;
  UINT_PTR m_nFadeOutTimer = 0;
  unsigned m_nFadeTime = 0;
  unsigned m_nDisplayTime = 0;
  uint8_t m_nAlpha = 0;
  uint8_t m_nMaxAlpha = 0;
  BOOL m_bPauseOnHover = FALSE;
  CAlertStyle* m_pStyle = nullptr;
  bool m_bMouseInside = false;
  bool m_bDragging = false;
  POINT m_ptDragStart{};
  HWND m_hParent;
  unsigned m_nDpi = kDefaultDpi;
};

// The notice as the control shows it: bold title (202), the message as a
// blue underlined link (204) that hides the notice when clicked, and bitmap
// 207 with its RGB(236, 233, 216) background left transparent (203); at
// other DPIs the larger pictures 208 and 209 stand in for 207.
class CFirefoxAlert : public CAlertDialog {
 public:
  explicit CFirefoxAlert(HWND parent);
  ~CFirefoxAlert() override;

  // Same as SetDlgItemTextW on the link control.
  bool SetMessageText(const wchar_t* text);

 protected:
  BOOL OnInitDialog() override;
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void ApplyDpi(unsigned dpi) override;

  CAlertLabel m_wndTitle;
  CAlertHyperlink m_wndLink;
  CAlertPictureCtrl m_wndPicture;

 private:
  LOGFONTW m_lfFont{};      // the template's font; its height is set per DPI
  AlertBaseUnits m_base96;  // the template font's base units at 96 DPI
  UniqueFont m_hFont;       // the message's font at the current DPI
  UniqueFont m_hBoldFont;   // the title's
};

}  // namespace zv
