// The three controls of the notification popup, bound to static controls of
// its dialog template (they create no window of their own):
//   CAlertLabel        text on a transparent background,
//   CAlertHyperlink    a label that can be clicked, with its own colours and
//                      underline,
//   CAlertPictureCtrl  a bitmap drawn with one colour left transparent.
// The dialog reflects WM_CTLCOLORSTATIC to them as kReflectedCtlColorStatic.
#pragma once

#include <windows.h>

#include "platform/handles.h"
#include "platform/window.h"

namespace zv {

// Posted by the link to its parent when it is pressed (wParam = the link's
// control id, lParam 0).
constexpr UINT WM_ALERT_LINK_CLICKED = 0x822B;

// WM_CTLCOLORSTATIC as the parent hands it back to the control it is about
// (same wParam/lParam); a control that answers 0 gets the dialog's default.
constexpr UINT kReflectedCtlColorStatic = 0x2000 + WM_CTLCOLORSTATIC;

// Draws `bitmap` (width x height) onto `dc` at (x, y), leaving the pixels of
// `transparent` colour untouched.
void DrawTransparentBitmap(HBITMAP bitmap, int width, int height, HDC dc, int x, int y, COLORREF transparent);

class CAlertLabel : public Window {
 public:
  CAlertLabel() = default;
  ~CAlertLabel() override;

  // Binds the object to the dialog's control `id`.
  bool Attach(HWND dialog, int id);

  // Drops the saved background (the control was moved or resized): the next
  // erase takes it anew.
  void ForgetBackground() { m_hBackground.reset(); }

  COLORREF m_crText = RGB(0, 0, 0);

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Reflected colour request: transparent background, the text colour.
  virtual LRESULT OnCtlColor(HDC dc);

 private:
  bool EraseBackground(HDC dc);
  UniqueBitmap m_hBackground;  // the parent's pixels under the control, taken once
};

class CAlertHyperlink : public CAlertLabel {
 public:
  CAlertHyperlink() { m_crText = RGB(0, 0, 238); }
  ~CAlertHyperlink() override;

  void SetUnderline(bool normal, bool hover, bool redraw);
  void SetLinkColors(COLORREF normal, COLORREF hover, bool redraw);

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  LRESULT OnCtlColor(HDC dc) override;

 private:
  void Redraw();

  COLORREF m_crHover = RGB(85, 26, 139);
  bool m_bUnderlineNormal = false;
  bool m_bUnderlineHover = true;
  bool m_bHovering = false;
  UniqueFont m_hUnderlineFont;  // made on first need, from the plain font
  HFONT m_hPlainFont = nullptr;      // the control's own font (not owned)
};

class CAlertPictureCtrl : public CAlertLabel {
 public:
  ~CAlertPictureCtrl() override;

  // Loads bitmap `resourceId` from this module's resources and turns the
  // control into a centred bitmap control of the bitmap's size. With a
  // `size`, the bitmap is first scaled to a square of that many pixels
  // (nearest pixel, so that the transparent colour stays exact).
  bool SetBitmap(int resourceId, bool redraw, int size = 0);
  void SetTransparentColor(COLORREF color, bool redraw);

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  COLORREF m_crTransparent = RGB(192, 192, 192);
  UniqueBitmap m_hBitmap;  // loaded by SetBitmap
  int m_nWidth = 0;
  int m_nHeight = 0;
};

}  // namespace zv
