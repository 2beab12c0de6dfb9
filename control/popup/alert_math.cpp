#include "control/popup/alert_math.h"

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

AlertPoint AlertPosition(const AlertRect& workArea, int width, int height) {
  return {workArea.right - width - 1, workArea.bottom - height};
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

}  // namespace zv
