#include "control/popup/alert_math.h"

#include <cstdlib>

namespace zv {

std::optional<unsigned> FadeStepPeriod(unsigned fadeMs, uint8_t maxAlpha) {
  const unsigned steps = maxAlpha / kAlertAlphaStep;
  if (steps == 0) return std::nullopt;
  return fadeMs / steps;
}

FadeStep FadeInStep(uint8_t alpha, uint8_t maxAlpha) {
  const int next = alpha + kAlertAlphaStep;
  if (next > maxAlpha) return {maxAlpha, true};
  return {static_cast<uint8_t>(next), false};
}

FadeStep FadeOutStep(uint8_t alpha) {
  const int next = alpha - kAlertAlphaStep;
  if (next < 0) return {0, true};
  return {static_cast<uint8_t>(next), false};
}

AlertPoint AlertPosition(const AlertRect& workArea, int width, int height, int rightGap) {
  return {workArea.right - width - rightGap, workArea.bottom - height};
}

WorkAreaSide FirstCrossedSide(const AlertRect& rect, const AlertRect& workArea) {
  if (rect.top < workArea.top) return WorkAreaSide::Top;
  if (rect.bottom > workArea.bottom) return WorkAreaSide::Bottom;
  if (rect.left < workArea.left) return WorkAreaSide::Left;
  if (rect.right > workArea.right) return WorkAreaSide::Right;
  return WorkAreaSide::None;
}

namespace {

AlertRect Shifted(const AlertRect& r, int dx, int dy) {
  return {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

}  // namespace

AlertRect KeepInWorkArea(const AlertRect& rect, const AlertRect& primaryWorkArea,
                         const std::function<AlertRect(const AlertRect&)>& nearestWorkArea) {
  const WorkAreaSide side = FirstCrossedSide(rect, primaryWorkArea);
  if (side == WorkAreaSide::None) return rect;
  const AlertRect work = nearestWorkArea(rect);
  switch (side) {
    case WorkAreaSide::Top:
      if (rect.top < work.top) return Shifted(rect, 0, work.top - rect.top);
      break;
    case WorkAreaSide::Bottom:
      if (rect.bottom > work.bottom) return Shifted(rect, 0, work.bottom - rect.bottom);
      break;
    case WorkAreaSide::Left:
      if (rect.left < work.left) return Shifted(rect, work.left - rect.left, 0);
      break;
    case WorkAreaSide::Right:
      if (rect.right > work.right) return Shifted(rect, work.right - rect.right, 0);
      break;
    case WorkAreaSide::None:
      break;
  }
  return rect;
}

// ---------------------------------------------------------------------------
// DPI

int MulDivRound(int a, int b, int c) {
  if (c == 0) return 0;
  const long long product = static_cast<long long>(a) * b;
  const long long magnitude = (std::llabs(product) + std::llabs(static_cast<long long>(c)) / 2) /
                              std::llabs(static_cast<long long>(c));
  return static_cast<int>((product < 0) != (c < 0) ? -magnitude : magnitude);
}

int ScaleForDpi(int px96, unsigned dpi) { return MulDivRound(px96, static_cast<int>(dpi), kDefaultDpi); }

int FontHeightForDpi(int points, unsigned dpi) { return -MulDivRound(points, static_cast<int>(dpi), 72); }

AlertBaseUnits DialogBaseUnits(int alphabetExtent, int textHeight) {
  return {(alphabetExtent / 26 + 1) / 2, textHeight};
}

namespace {

// A template rectangle in pixels at 96 DPI, then scaled: position and size
// each on their own, as the dialog manager maps them.
AlertRect LayOut(const DialogUnitRect& r, const AlertBaseUnits& base, unsigned dpi) {
  const int left = ScaleForDpi(MulDivRound(r.x, base.x, 4), dpi);
  const int top = ScaleForDpi(MulDivRound(r.y, base.y, 8), dpi);
  return {left, top, left + ScaleForDpi(MulDivRound(r.cx, base.x, 4), dpi),
          top + ScaleForDpi(MulDivRound(r.cy, base.y, 8), dpi)};
}

}  // namespace

AlertLayout AlertLayoutForDpi(const AlertBaseUnits& base96, unsigned dpi) {
  const AlertTemplate& t = kAlertTemplate;
  AlertLayout layout;
  layout.dpi = dpi;
  layout.width = ScaleForDpi(MulDivRound(t.cx, base96.x, 4), dpi);
  layout.height = ScaleForDpi(MulDivRound(t.cy, base96.y, 8), dpi);
  layout.title = LayOut(t.title, base96, dpi);
  layout.link = LayOut(t.link, base96, dpi);
  const AlertRect frame = LayOut(t.picture, base96, dpi);
  const int picture = ScaleForDpi(kAlertPictureSize, dpi);
  layout.picture = {frame.left, frame.top, frame.left + picture, frame.top + picture};
  layout.fontHeight = FontHeightForDpi(t.pointSize, dpi);
  layout.frameWidth = ScaleForDpi(kAlertFrameWidth, dpi);
  layout.rightGap = ScaleForDpi(kAlertRightGap, dpi);
  return layout;
}

int PickPictureVariant(int wanted, std::span<const int> sizes) {
  int exactOrLarger = -1;
  int largest = -1;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const int size = sizes[i];
    if (size >= wanted && (exactOrLarger < 0 || size < sizes[exactOrLarger])) exactOrLarger = static_cast<int>(i);
    if (largest < 0 || size > sizes[largest]) largest = static_cast<int>(i);
  }
  return exactOrLarger >= 0 ? exactOrLarger : largest;
}

unsigned ChoosePopupDpi(const DpiFacts& facts) {
  unsigned dpi = 0;
  // A window laid out for one DPI wherever it is (the system stretches it on
  // other monitors) must not be scaled for the monitor as well.
  if (facts.perMonitorAware.value_or(false)) dpi = facts.monitorDpi.value_or(0);
  if (dpi == 0) dpi = facts.windowDpi.value_or(0);
  if (dpi == 0) dpi = facts.screenDpi;
  return dpi != 0 ? dpi : kDefaultDpi;
}

}  // namespace zv
