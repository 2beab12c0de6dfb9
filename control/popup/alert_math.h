// The arithmetic of the notification popup, free of Windows: the fade steps,
// the resting place above the bottom-right corner of the work area, the rule
// that keeps a dragged popup inside the work area, and its layout at the DPI
// of the monitor it appears on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace zv {

// Opacity changes by this much on every fade tick.
constexpr int kAlertAlphaStep = 5;

struct AlertRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const AlertRect&) const = default;
};

struct AlertPoint {
  int x = 0;
  int y = 0;
  bool operator==(const AlertPoint&) const = default;
};

// Period of one fade tick: fade time / (maximum alpha / 5), whole numbers
// (1000 ms to 255 gives 19 ms). A maximum below 5 has no step at all: the
// result is empty and the popup must not be shown.
std::optional<unsigned> FadeStepPeriod(unsigned fadeMs, uint8_t maxAlpha);

struct FadeStep {
  uint8_t alpha;
  bool finished;  // the fade is over: its timer goes
};
// One fade-in tick: 5 more, or the maximum (and finished) once 5 more would
// pass it.
FadeStep FadeInStep(uint8_t alpha, uint8_t maxAlpha);
// One fade-out tick: 5 less, or 0 (and finished) once 5 less would go below 0.
FadeStep FadeOutStep(uint8_t alpha);

// Top-left corner of a popup of the given size: `rightGap` pixels (one at
// 96 DPI) clear of the work area's right edge, flush with its bottom edge.
AlertPoint AlertPosition(const AlertRect& workArea, int width, int height, int rightGap = 1);

enum class WorkAreaSide { None, Top, Bottom, Left, Right };

// The first side of `rect` that lies beyond the same side of `workArea`, in
// the order top, bottom, left, right.
WorkAreaSide FirstCrossedSide(const AlertRect& rect, const AlertRect& workArea);

// Holds a dragged rectangle in the work area, one side at most: the first
// side that crosses the primary work area is checked again against the work
// area of the monitor nearest to the rectangle (asked from `nearestWorkArea`
// only then), and the rectangle is shifted onto that edge when it crosses
// there too. A rectangle on a secondary monitor may thus stay where it is.
AlertRect KeepInWorkArea(const AlertRect& rect, const AlertRect& primaryWorkArea,
                         const std::function<AlertRect(const AlertRect&)>& nearestWorkArea);

// --- DPI -----------------------------------------------------------------
// The popup is designed in pixels at 96 DPI (and in dialog units of its 8
// point font). At another DPI every length is the 96 DPI length times
// dpi / 96, rounded to the nearest pixel, halves away from zero (as
// MulDiv rounds), so 96 DPI keeps every pixel and 144 DPI makes the popup
// exactly one and a half times as large.

constexpr unsigned kDefaultDpi = 96;

// a * b / c rounded to the nearest integer, halves away from zero, computed
// without overflow; c == 0 gives 0.
int MulDivRound(int a, int b, int c);

// A length of `px96` pixels at 96 DPI, at `dpi`.
int ScaleForDpi(int px96, unsigned dpi);

// The height (negative: a character height) of a font of `points` at `dpi`,
// as the dialog manager creates a template's font: -points * dpi / 72.
int FontHeightForDpi(int points, unsigned dpi);

// Dialog base units of a font, measured as the dialog manager measures them:
// the average width from the extent of "A..Za..z" (52 letters), rounded as
// (extent / 26 + 1) / 2, and the font's text height.
struct AlertBaseUnits {
  int x = 0;
  int y = 0;
  bool operator==(const AlertBaseUnits&) const = default;
};
AlertBaseUnits DialogBaseUnits(int alphabetExtent, int textHeight);

// A rectangle in dialog units: position and size.
struct DialogUnitRect {
  int x = 0;
  int y = 0;
  int cx = 0;
  int cy = 0;
};

// The popup's dialog template (206), in dialog units, and the lengths it
// gives in pixels at 96 DPI.
struct AlertTemplate {
  int cx, cy;      // the dialog
  int pointSize;   // of its font
  DialogUnitRect title, picture, link;
};
constexpr AlertTemplate kAlertTemplate{199, 50, 8, {55, 7, 52, 8}, {7, 7, 39, 36}, {55, 20, 137, 8}};
constexpr int kAlertPictureSize = 48;  // bitmap 207, square
constexpr int kAlertFrameWidth = 2;    // two one-pixel outlines
constexpr int kAlertRightGap = 1;      // clear of the work area's right edge

// Everything the popup's window needs at one DPI. Child rectangles are in the
// popup's client coordinates.
struct AlertLayout {
  unsigned dpi = kDefaultDpi;
  int width = 0;
  int height = 0;
  AlertRect title, picture, link;
  int fontHeight = 0;  // regular and bold font
  int frameWidth = 0;
  int rightGap = 0;
  bool operator==(const AlertLayout&) const = default;
};

// The layout of the template at `dpi`: dialog units become pixels with the
// base units of the template's font at 96 DPI (as the dialog manager maps
// them: x * base.x / 4, y * base.y / 8, rounded), then every length is scaled
// from 96 DPI; the picture keeps its top-left corner and takes the bitmap's
// scaled size.
AlertLayout AlertLayoutForDpi(const AlertBaseUnits& base96, unsigned dpi);

// The picture to load for a square of `wanted` pixels from bitmaps of the
// given sizes: the one of that size, else the smallest larger one (shrunk),
// else the largest (stretched). Returns the index in `sizes`, -1 for none.
int PickPictureVariant(int wanted, std::span<const int> sizes);

// What the Windows layer could learn about DPI, for the popup's window and the
// monitor it is about to appear on; empty where the system lacks the call.
struct DpiFacts {
  std::optional<bool> perMonitorAware;  // the window's (Windows 10) or the process's (8.1) awareness
  std::optional<unsigned> windowDpi;    // GetDpiForWindow: what the window is laid out for
  std::optional<unsigned> monitorDpi;   // the target monitor's DPI
  unsigned screenDpi = 0;               // LOGPIXELSX of the screen: the system DPI (or 96 when virtualised)
};

// The DPI to lay the popup out for. Only a per-monitor aware window takes the
// DPI of the monitor it is going to; any other window takes the DPI it is
// laid out for (96 when the system stretches the window itself, the system
// DPI when the process is system aware), so that nothing is scaled twice.
// Without GetDpiForWindow (Windows 7, 8.1) that is the screen's DPI. Zero
// answers are skipped; 96 when nothing answers.
unsigned ChoosePopupDpi(const DpiFacts& facts);

}  // namespace zv
