// The notification popup: a borderless layered notice that fades in above the
// bottom-right corner of the primary work area, stays, fades out and hides.
// It stays on top without taking the activation; it can be dragged, and a
// click on its message hides it at once.
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
#include "control/popup/alert_style.h"
#include "control/res/popup_resource.h"
#include "platform/handles.h"
#include "platform/window.h"

namespace zv {

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

  // Places the notice, makes it topmost without activating it and starts the
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

 protected:
  BOOL OnInitDialog() override;
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
};

// The notice as the control shows it: bold title (202), the message as a
// blue underlined link (204) that hides the notice when clicked, and bitmap
// 207 with its RGB(236, 233, 216) background left transparent (203).
class CFirefoxAlert : public CAlertDialog {
 public:
  explicit CFirefoxAlert(HWND parent);
  ~CFirefoxAlert() override;

  // Same as SetDlgItemTextW on the link control.
  bool SetMessageText(const wchar_t* text);

 protected:
  BOOL OnInitDialog() override;
  bool HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  CAlertLabel m_wndTitle;
  CAlertHyperlink m_wndLink;
  CAlertPictureCtrl m_wndPicture;

 private:
  UniqueFont m_hBoldFont;
};

}  // namespace zv
