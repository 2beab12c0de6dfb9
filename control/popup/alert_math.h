// The arithmetic of the notification popup, free of Windows: the fade steps,
// the resting place above the bottom-right corner of the work area, and the
// rule that keeps a dragged popup inside the work area.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

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

// Top-left corner of a popup of the given size: one pixel clear of the work
// area's right edge, flush with its bottom edge.
AlertPoint AlertPosition(const AlertRect& workArea, int width, int height);

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

}  // namespace zv
