#include "control/popup/alert_controls.h"

#include "platform/handles.h"

namespace zv {

// ---------------------------------------------------------------------------
// Transparent blit: XOR the picture in, AND a mask that is black wherever the
// picture is opaque, XOR the picture again. Transparent pixels end up as
// dest ^ pic ^ pic = dest, opaque ones as 0 ^ pic = pic.

void DrawTransparentBitmap(HBITMAP bitmap, int width, int height, HDC dc, int x, int y, COLORREF transparent) {
  // A monochrome source lands as the background colour for its 1 bits
  // (transparent pixels) and as the text colour for its 0 bits.
  const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
  const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));

  {
    const UniqueMemoryDc pictureDc(CreateCompatibleDC(dc));
    const UniqueMemoryDc maskDc(CreateCompatibleDC(dc));
    const UniqueBitmap mask(CreateBitmap(width, height, 1, 1, nullptr));
    if (pictureDc && maskDc && mask) {
      const ScopedSelection picture(pictureDc.get(), bitmap);
      const ScopedSelection maskSelection(maskDc.get(), mask.get());
      // Colour to monochrome: pixels of the source's background colour become 1.
      const COLORREF oldPictureBack = SetBkColor(pictureDc.get(), transparent);
      BitBlt(maskDc.get(), 0, 0, width, height, pictureDc.get(), 0, 0, SRCCOPY);
      SetBkColor(pictureDc.get(), oldPictureBack);

      BitBlt(dc, x, y, width, height, pictureDc.get(), 0, 0, SRCINVERT);
      BitBlt(dc, x, y, width, height, maskDc.get(), 0, 0, SRCAND);
      BitBlt(dc, x, y, width, height, pictureDc.get(), 0, 0, SRCINVERT);
    }
  }

  SetTextColor(dc, oldText);
  SetBkColor(dc, oldBack);
}

// ---------------------------------------------------------------------------
// CAlertLabel

CAlertLabel::~CAlertLabel() {
  // The window goes before the saved background.
  Destroy();
}

bool CAlertLabel::Attach(HWND dialog, int id) { return Subclass(GetDlgItem(dialog, id)); }

LRESULT CAlertLabel::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case kReflectedCtlColorStatic:
      return OnCtlColor(reinterpret_cast<HDC>(wParam));
    case WM_ERASEBKGND:
      return EraseBackground(reinterpret_cast<HDC>(wParam)) ? TRUE : FALSE;
    case WM_SETTEXT: {
      // The static control draws the new text over the old one at once (its
      // brush is hollow); repaint from the saved background right after.
      const LRESULT result = Default(msg, wParam, lParam);
      InvalidateRect(hwnd(), nullptr, TRUE);
      UpdateWindow(hwnd());
      return result;
    }
    default:
      return Default(msg, wParam, lParam);
  }
}

LRESULT CAlertLabel::OnCtlColor(HDC dc) {
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, m_crText);
  return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

bool CAlertLabel::EraseBackground(HDC dc) {
  const HWND parent = GetParent(hwnd());
  if (parent == nullptr) return true;
  RECT rect{};
  GetWindowRect(hwnd(), &rect);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (!m_hBackground) {
    // The parent has painted its background by now, unless it is not on
    // screen yet: then there is nothing worth saving.
    if (!IsWindowVisible(parent)) return true;
    const WindowDc parentDc(parent);
    if (!parentDc) return true;
    const UniqueMemoryDc memDc(CreateCompatibleDC(parentDc.get()));
    m_hBackground.reset(CreateCompatibleBitmap(parentDc.get(), width, height));
    if (memDc && m_hBackground) {
      const ScopedSelection background(memDc.get(), m_hBackground.get());
      BitBlt(memDc.get(), 0, 0, width, height, parentDc.get(), rect.left, rect.top, SRCCOPY);
    }
    return true;
  }
  const UniqueMemoryDc memDc(CreateCompatibleDC(dc));
  if (!memDc) return true;
  const ScopedSelection background(memDc.get(), m_hBackground.get());
  BitBlt(dc, 0, 0, width, height, memDc.get(), 0, 0, SRCCOPY);
  return true;
}

// ---------------------------------------------------------------------------
// CAlertHyperlink

CAlertHyperlink::~CAlertHyperlink() {
  // The window must not keep a font that is about to go.
  Destroy();
}

void CAlertHyperlink::SetUnderline(bool normal, bool hover, bool redraw) {
  m_bUnderlineNormal = normal;
  m_bUnderlineHover = hover;
  if (redraw) Redraw();
}

void CAlertHyperlink::SetLinkColors(COLORREF normal, COLORREF hover, bool redraw) {
  m_crText = normal;
  m_crHover = hover;
  if (redraw) Redraw();
}

void CAlertHyperlink::Redraw() {
  if (hwnd() != nullptr) InvalidateRect(hwnd(), nullptr, TRUE);
}

LRESULT CAlertHyperlink::OnCtlColor(HDC dc) {
  SetTextColor(dc, m_bHovering ? m_crHover : m_crText);
  const bool underline = m_bHovering ? m_bUnderlineHover : m_bUnderlineNormal;
  const HFONT current = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
  if (current != m_hUnderlineFont.get() || m_hPlainFont == nullptr) m_hPlainFont = current;
  if (underline && !m_hUnderlineFont) {
    LOGFONTW font{};
    const HGDIOBJ source = m_hPlainFont != nullptr ? m_hPlainFont : GetStockObject(DEFAULT_GUI_FONT);
    if (GetObjectW(source, sizeof font, &font) != 0) {
      font.lfUnderline = TRUE;
      m_hUnderlineFont.reset(CreateFontIndirectW(&font));
    }
  }
  const HFONT wanted = underline && m_hUnderlineFont ? m_hUnderlineFont.get() : m_hPlainFont;
  if (wanted != nullptr) {
    SelectObject(dc, wanted);
    // The static control selects its own font after asking for colours:
    // make the wanted font its own (without a redraw, it is painting now).
    if (wanted != current) SendMessageW(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(wanted), FALSE);
  }
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

LRESULT CAlertHyperlink::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETFONT: {
      // A new font from outside (another DPI): it is the plain font from now
      // on, and the underline font is made again from it. The link swaps its
      // own two fonts through here too.
      const auto font = reinterpret_cast<HFONT>(wParam);
      const bool fromOutside = font != m_hUnderlineFont.get() && font != m_hPlainFont;
      const LRESULT result = Default(msg, wParam, lParam);
      if (fromOutside) {
        m_hPlainFont = font;
        m_hUnderlineFont.reset();
      }
      return result;
    }
    case WM_NCHITTEST:
      // Static controls are transparent to the mouse; the link is not.
      return HTCLIENT;
    case WM_MOUSEMOVE: {
      const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      if (!m_bHovering) {
        m_bHovering = true;
        Redraw();
        SetCapture(hwnd());
      } else {
        RECT client{};
        GetClientRect(hwnd(), &client);
        if (!PtInRect(&client, point)) {
          m_bHovering = false;
          ReleaseCapture();
          Redraw();
        }
      }
      return 0;
    }
    case WM_LBUTTONDOWN: {
      const HWND parent = GetParent(hwnd());
      if (parent != nullptr) {
        PostMessageW(parent, WM_ALERT_LINK_CLICKED, static_cast<WPARAM>(GetDlgCtrlID(hwnd())), 0);
      }
      m_bHovering = false;
      if (GetCapture() == hwnd()) ReleaseCapture();
      Redraw();
      return 0;
    }
    case WM_CAPTURECHANGED:
      // Capture taken away (another window, a hidden parent): leave hover.
      if (m_bHovering && reinterpret_cast<HWND>(lParam) != hwnd()) {
        m_bHovering = false;
        Redraw();
      }
      return Default(msg, wParam, lParam);
    default:
      return CAlertLabel::HandleMessage(msg, wParam, lParam);
  }
}

// ---------------------------------------------------------------------------
// CAlertPictureCtrl

CAlertPictureCtrl::~CAlertPictureCtrl() {
  // The window goes before its bitmap.
  Destroy();
}

namespace {

// A copy of `bitmap` (width x height) scaled to size x size, pixel by pixel:
// no colour is blended, so the transparent colour stays exact.
HBITMAP ScaledBitmap(HBITMAP bitmap, int width, int height, int size) {
  const WindowDc screen(nullptr);
  if (!screen) return nullptr;
  const UniqueMemoryDc from(CreateCompatibleDC(screen.get()));
  const UniqueMemoryDc to(CreateCompatibleDC(screen.get()));
  UniqueBitmap scaled(CreateCompatibleBitmap(screen.get(), size, size));
  if (!from || !to || !scaled) return nullptr;
  {
    const ScopedSelection source(from.get(), bitmap);
    const ScopedSelection target(to.get(), scaled.get());
    SetStretchBltMode(to.get(), COLORONCOLOR);
    if (!StretchBlt(to.get(), 0, 0, size, size, from.get(), 0, 0, width, height, SRCCOPY)) return nullptr;
  }
  return scaled.release();
}

}  // namespace

bool CAlertPictureCtrl::SetBitmap(int resourceId, bool redraw, int size) {
  if (hwnd() == nullptr) return false;
  if (m_hBitmap) {
    // Take it away from the control before it goes.
    SendMessageW(hwnd(), STM_SETIMAGE, IMAGE_BITMAP, 0);
    m_hBitmap.reset();
  }
  m_nWidth = m_nHeight = 0;
  const auto bitmap = static_cast<HBITMAP>(
      LoadImageW(ThisModule(), MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_DEFAULTSIZE));
  if (bitmap == nullptr) return false;
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  m_hBitmap.reset(bitmap);
  if (size > 0 && (info.bmWidth != size || info.bmHeight != size)) {
    const HBITMAP scaled = ScaledBitmap(bitmap, info.bmWidth, info.bmHeight, size);
    if (scaled != nullptr) {
      m_hBitmap.reset(scaled);
      info.bmWidth = info.bmHeight = size;
    }
  }
  m_nWidth = info.bmWidth;
  m_nHeight = info.bmHeight;
  const LONG_PTR style = GetWindowLongPtrW(hwnd(), GWL_STYLE);
  SetWindowLongPtrW(hwnd(), GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_BITMAP | SS_CENTERIMAGE);
  SendMessageW(hwnd(), STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_hBitmap.get()));
  SetWindowPos(hwnd(), nullptr, 0, 0, m_nWidth, m_nHeight, SWP_NOMOVE | SWP_NOOWNERZORDER | SWP_NOZORDER);
  if (redraw) InvalidateRect(hwnd(), nullptr, TRUE);
  return true;
}

void CAlertPictureCtrl::SetTransparentColor(COLORREF color, bool redraw) {
  m_crTransparent = color;
  if (redraw && hwnd() != nullptr) InvalidateRect(hwnd(), nullptr, TRUE);
}

LRESULT CAlertPictureCtrl::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    const auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(hwnd(), STM_GETIMAGE, IMAGE_BITMAP, 0));
    const auto icon = reinterpret_cast<HICON>(SendMessageW(hwnd(), STM_GETICON, 0, 0));
    if (bitmap == nullptr && icon == nullptr) return Default(msg, wParam, lParam);
    PAINTSTRUCT ps{};
    const HDC dc = BeginPaint(hwnd(), &ps);
    RECT client{};
    GetClientRect(hwnd(), &client);
    if (bitmap != nullptr) {
      BITMAP info{};
      GetObjectW(bitmap, sizeof info, &info);
      const int x = (client.right - info.bmWidth) / 2;
      const int y = (client.bottom - info.bmHeight) / 2;
      DrawTransparentBitmap(bitmap, info.bmWidth, info.bmHeight, dc, x, y, m_crTransparent);
    } else {
      DrawIconEx(dc, (client.right - m_nWidth) / 2, (client.bottom - m_nHeight) / 2, icon, m_nWidth, m_nHeight, 0,
                 nullptr, DI_NORMAL);
    }
    EndPaint(hwnd(), &ps);
    return 0;
  }
  return CAlertLabel::HandleMessage(msg, wParam, lParam);
}

}  // namespace zv
