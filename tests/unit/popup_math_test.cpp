// The popup's fade arithmetic, resting place, drag clamp and DPI layout.
#include "control/popup/alert_math.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace zv {
namespace {

TEST(PopupFadeTest, StepPeriodDividesFadeTimeByMaximumOverFive) {
  struct Case {
    unsigned fadeMs;
    uint8_t maxAlpha;
    std::optional<unsigned> period;
  } cases[] = {
      {1000, 255, 19u},          // the control's arguments: 1000 / 51
      {1000, 5, 1000u},          // one step
      {1000, 9, 1000u},          // 9 / 5 is still one step
      {1000, 10, 500u},          //
      {10, 255, 0u},             // faster than one ms per step: the timer's minimum applies
      {0, 255, 0u},              //
      {4294967295u, 255, 84215045u},
      {1000, 4, std::nullopt},   // no step: would divide by zero
      {1000, 0, std::nullopt},   //
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FadeStepPeriod(c.fadeMs, c.maxAlpha), c.period) << c.fadeMs << " ms to " << int(c.maxAlpha);
  }
}

// Runs a fade to its end and returns every alpha it applied.
std::vector<int> FadeIn(uint8_t maxAlpha) {
  std::vector<int> applied;
  uint8_t alpha = 0;
  for (int guard = 0; guard < 1000; ++guard) {
    const FadeStep step = FadeInStep(alpha, maxAlpha);
    alpha = step.alpha;
    applied.push_back(alpha);
    if (step.finished) break;
  }
  return applied;
}

std::vector<int> FadeOut(uint8_t from) {
  std::vector<int> applied;
  uint8_t alpha = from;
  for (int guard = 0; guard < 1000; ++guard) {
    const FadeStep step = FadeOutStep(alpha);
    alpha = step.alpha;
    applied.push_back(alpha);
    if (step.finished) break;
  }
  return applied;
}

TEST(PopupFadeTest, ControlArgumentsTake52StepsOf19MsEachWay) {
  const std::vector<int> in = FadeIn(255);
  ASSERT_EQ(in.size(), 52u);
  for (size_t i = 0; i < 51; ++i) EXPECT_EQ(in[i], 5 * static_cast<int>(i + 1)) << "step " << i;
  EXPECT_EQ(in.back(), 255);  // the last tick reapplies the maximum and ends

  const std::vector<int> out = FadeOut(255);
  ASSERT_EQ(out.size(), 52u);
  for (size_t i = 0; i < 51; ++i) EXPECT_EQ(out[i], 255 - 5 * static_cast<int>(i + 1)) << "step " << i;
  EXPECT_EQ(out.back(), 0);

  EXPECT_EQ(in.size() * *FadeStepPeriod(1000, 255), 988u);
}

TEST(PopupFadeTest, MaximumThatIsNoMultipleOfFiveIsReachedExactly) {
  EXPECT_EQ(FadeIn(7), (std::vector<int>{5, 7}));
  EXPECT_EQ(FadeIn(5), (std::vector<int>{5, 5}));
  EXPECT_EQ(FadeIn(253).back(), 253);
  EXPECT_EQ(FadeIn(253).size(), 51u);  // 250 after 50 ticks, then 253
  EXPECT_EQ(FadeOut(7), (std::vector<int>{2, 0}));
  EXPECT_EQ(FadeOut(0), (std::vector<int>{0}));
}

TEST(PopupFadeTest, StepsNeverWrapAroundTheByte) {
  EXPECT_EQ(FadeInStep(254, 255).alpha, 255);
  EXPECT_FALSE(FadeInStep(250, 255).finished);
  EXPECT_TRUE(FadeInStep(255, 255).finished);
  EXPECT_EQ(FadeInStep(255, 255).alpha, 255);
  EXPECT_TRUE(FadeOutStep(4).finished);
  EXPECT_EQ(FadeOutStep(4).alpha, 0);
  EXPECT_EQ(FadeOutStep(5).alpha, 0);
  EXPECT_FALSE(FadeOutStep(5).finished);
}

TEST(PopupPlacementTest, OnePixelFromTheRightFlushWithTheBottom) {
  EXPECT_EQ(AlertPosition({0, 0, 1280, 1024}, 299, 81), (AlertPoint{980, 943}));
  EXPECT_EQ(AlertPosition({0, 0, 1280, 984}, 299, 81), (AlertPoint{980, 903}));  // above a taskbar
  EXPECT_EQ(AlertPosition({-1024, 100, 0, 868}, 300, 80), (AlertPoint{-301, 788}));
  // The gap scales with the popup: two pixels at 144 DPI.
  EXPECT_EQ(AlertPosition({0, 0, 1280, 1024}, 522, 122, 2), (AlertPoint{756, 902}));
}

// Work areas as data: a primary monitor and a second one to its right that is
// taller, and the nearest-monitor answer chosen by the rectangle's centre.
const AlertRect kPrimary{0, 0, 1280, 984};
const AlertRect kSecond{1280, -200, 2560, 1224};

AlertRect Nearest(const AlertRect& r) { return (r.left + r.right) / 2 >= 1280 ? kSecond : kPrimary; }

TEST(PopupDragClampTest, EachSideSnapsOntoTheWorkArea) {
  struct Case {
    const char* what;
    AlertRect rect;
    AlertRect kept;
  } cases[] = {
      {"inside", {100, 100, 400, 180}, {100, 100, 400, 180}},
      {"on the edges", {0, 0, 300, 984}, {0, 0, 300, 984}},
      {"above the top", {100, -30, 400, 50}, {100, 0, 400, 80}},
      {"below the bottom", {100, 950, 400, 1030}, {100, 904, 400, 984}},
      {"left of the left", {-50, 100, 250, 180}, {0, 100, 300, 180}},
      {"right of the right", {1000, 100, 1300, 180}, {980, 100, 1280, 180}},
  };
  for (const Case& c : cases) EXPECT_EQ(KeepInWorkArea(c.rect, kPrimary, Nearest), c.kept) << c.what;
}

TEST(PopupDragClampTest, OnlyTheFirstCrossedSideIsCorrectedInOrderTopBottomLeftRight) {
  struct Case {
    const char* what;
    AlertRect rect;
    WorkAreaSide side;
    AlertRect kept;
  } cases[] = {
      {"top before left", {-50, -30, 250, 50}, WorkAreaSide::Top, {-50, 0, 250, 80}},
      {"top before right", {1100, -30, 1200, 50}, WorkAreaSide::Top, {1100, 0, 1200, 80}},
      {"bottom before left", {-50, 950, 250, 1030}, WorkAreaSide::Bottom, {-50, 904, 250, 984}},
      {"left before right (taller than wide work area)", {-10, 10, 1290, 90}, WorkAreaSide::Left,
       {0, 10, 1300, 90}},
      {"top before bottom (taller than the work area)", {0, -10, 100, 1000}, WorkAreaSide::Top,
       {0, 0, 100, 1010}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FirstCrossedSide(c.rect, kPrimary), c.side) << c.what;
    EXPECT_EQ(KeepInWorkArea(c.rect, kPrimary, Nearest), c.kept) << c.what;
  }
}

TEST(PopupDragClampTest, SecondaryMonitorDecidesWhetherToCorrect) {
  // Beyond the primary's right edge but well inside the second monitor: stays.
  EXPECT_EQ(KeepInWorkArea({1500, 100, 1800, 180}, kPrimary, Nearest), (AlertRect{1500, 100, 1800, 180}));
  // Above the primary's top, still inside the taller second monitor: stays.
  EXPECT_EQ(KeepInWorkArea({1500, -150, 1800, -70}, kPrimary, Nearest), (AlertRect{1500, -150, 1800, -70}));
  // Above the second monitor's top too: snaps onto that monitor's top edge.
  EXPECT_EQ(KeepInWorkArea({1500, -260, 1800, -180}, kPrimary, Nearest), (AlertRect{1500, -200, 1800, -120}));
  // Beyond the second monitor's right edge: its right edge, not the primary's.
  EXPECT_EQ(KeepInWorkArea({2400, 100, 2700, 180}, kPrimary, Nearest), (AlertRect{2260, 100, 2560, 180}));
}

TEST(PopupDragClampTest, NearestMonitorIsAskedOnlyWhenASideCrosses) {
  int asked = 0;
  auto counting = [&](const AlertRect& r) {
    ++asked;
    return Nearest(r);
  };
  KeepInWorkArea({100, 100, 400, 180}, kPrimary, counting);
  EXPECT_EQ(asked, 0);
  KeepInWorkArea({100, -5, 400, 75}, kPrimary, counting);
  EXPECT_EQ(asked, 1);
}

// ---------------------------------------------------------------------------
// DPI

TEST(PopupDpiTest, MulDivRoundsHalvesAwayFromZero) {
  struct Case {
    int a, b, c, result;
  } cases[] = {
      {11, 144, 96, 17},        // 16.5
      {-11, 144, 96, -17},      // -16.5: not -16 (truncation) nor -16 (floor of the magnitude)
      {5, 3, 2, 8},             // 7.5
      {-5, 3, 2, -8},           //
      {5, -3, 2, -8},           //
      {7, 1, -2, -4},           // -3.5
      {13, 120, 96, 16},        // 16.25
      {81, 120, 96, 101},       // 101.25
      {INT_MAX, 2, 2, INT_MAX}, // the product does not overflow
      {INT_MIN, 1, 1, INT_MIN},
      {5, 7, 0, 0},             // no divisor
  };
  for (const Case& c : cases) EXPECT_EQ(MulDivRound(c.a, c.b, c.c), c.result) << c.a << " * " << c.b << " / " << c.c;
}

TEST(PopupDpiTest, LengthsAndFontHeightsAtCommonDpis) {
  struct Case {
    int px96;
    unsigned dpi;
    int scaled;
  } lengths[] = {
      {1, 96, 1},   {1, 120, 1},   {1, 144, 2},   {1, 192, 2},    // the gap: 1.25, 1.5, 2
      {2, 120, 3},  {2, 144, 3},   {2, 168, 4},   {2, 192, 4},    // the frame: 2.5, 3, 3.5, 4
      {48, 120, 60}, {48, 144, 72}, {48, 168, 84}, {48, 192, 96}, // the picture
      {81, 144, 122}, {81, 192, 162}, {299, 144, 449}, {13, 144, 20},  // odd lengths: x.5 rounds up
      {348, 96, 348}, {0, 144, 0},
  };
  for (const Case& c : lengths) EXPECT_EQ(ScaleForDpi(c.px96, c.dpi), c.scaled) << c.px96 << " px at " << c.dpi;
  // The template's 8 points as the dialog manager makes them, not 11 px scaled
  // (which would give -17 at 144 DPI and -14 at 120).
  struct Font {
    unsigned dpi;
    int height;
  } fonts[] = {{96, -11}, {120, -13}, {144, -16}, {168, -19}, {192, -21}, {288, -32}};
  for (const Font& f : fonts) EXPECT_EQ(FontHeightForDpi(8, f.dpi), f.height) << f.dpi;
}

TEST(PopupDpiTest, BaseUnitsRoundTheAverageWidthOfTheAlphabet) {
  EXPECT_EQ(DialogBaseUnits(338, 13), (AlertBaseUnits{7, 13}));  // 6.5 rounds up
  EXPECT_EQ(DialogBaseUnits(337, 13), (AlertBaseUnits{6, 13}));  // 6.48
  EXPECT_EQ(DialogBaseUnits(311, 16), (AlertBaseUnits{6, 16}));  // 5.98
  EXPECT_EQ(DialogBaseUnits(285, 13), (AlertBaseUnits{5, 13}));  // 5.48: 285 / 26 = 10, (10 + 1) / 2
}

TEST(PopupDpiTest, LayoutIsThe96DpiLayoutScaled) {
  // Base units 7 x 13 are those of the harness's dialog font under Wine; the
  // 96 DPI row is what the dialog manager makes of template 206 there.
  const AlertBaseUnits wine{7, 13};
  struct Case {
    unsigned dpi;
    AlertLayout layout;
  } cases[] = {
      {96, {96, 348, 81, {96, 11, 187, 24}, {12, 11, 60, 59}, {96, 33, 336, 46}, -11, 2, 1}},
      // 348 x 81 scaled by 1.5: 522 x 121.5, halves round up; every position
      // and size on its own (the title's top 16.5, its height 19.5).
      {144, {144, 522, 122, {144, 17, 281, 37}, {18, 17, 90, 89}, {144, 50, 504, 70}, -16, 3, 2}},
      {192, {192, 696, 162, {192, 22, 374, 48}, {24, 22, 120, 118}, {192, 66, 672, 92}, -21, 4, 2}},
      {120, {120, 435, 101, {120, 14, 234, 30}, {15, 14, 75, 74}, {120, 41, 420, 57}, -13, 3, 1}},
  };
  for (const Case& c : cases) {
    const AlertLayout got = AlertLayoutForDpi(wine, c.dpi);
    EXPECT_EQ(got, c.layout) << c.dpi << " DPI: " << got.width << " x " << got.height << ", title " << got.title.left
                             << "," << got.title.top << "," << got.title.right << "," << got.title.bottom;
  }
  // Tahoma's 6 x 13 (Windows): an odd width at 96 DPI.
  const AlertLayout tahoma96 = AlertLayoutForDpi({6, 13}, 96);
  const AlertLayout tahoma144 = AlertLayoutForDpi({6, 13}, 144);
  EXPECT_EQ(tahoma96.width, 299);  // 298.5
  EXPECT_EQ(tahoma144.width, 449);  // 299 * 1.5 = 448.5, not 298.5 * 1.5 = 447.75
  EXPECT_EQ(tahoma144.link.Width(), 309);  // 137 * 6 / 4 = 205.5 -> 206, * 1.5
}

TEST(PopupDpiTest, ScaledPopupRestsInTheCornerAndStaysInTheWorkArea) {
  const AlertLayout at144 = AlertLayoutForDpi({7, 13}, 144);
  const AlertRect work{0, 0, 1280, 984};
  const AlertPoint at = AlertPosition(work, at144.width, at144.height, at144.rightGap);
  EXPECT_EQ(at, (AlertPoint{756, 862}));
  // Dragged down past the work area by 50: back on the bottom edge, its
  // scaled height kept.
  const AlertRect dragged{at.x - 30, at.y + 50, at.x - 30 + at144.width, at.y + 50 + at144.height};
  EXPECT_EQ(KeepInWorkArea(dragged, work, [&](const AlertRect&) { return work; }),
            (AlertRect{726, 862, 1248, 984}));
}

TEST(PopupDpiTest, PictureVariantIsTheExactOrTheNextLargerOne) {
  const int sizes[] = {48, 72, 96};
  struct Case {
    int wanted, index;
  } cases[] = {{48, 0}, {72, 1}, {96, 2}, {36, 0}, {49, 1}, {60, 1}, {84, 2}, {97, 2}, {120, 2}};
  for (const Case& c : cases) EXPECT_EQ(PickPictureVariant(c.wanted, sizes), c.index) << c.wanted;
  const int unsorted[] = {96, 48, 72};
  EXPECT_EQ(PickPictureVariant(60, unsorted), 2);
  EXPECT_EQ(PickPictureVariant(200, unsorted), 0);
  EXPECT_EQ(PickPictureVariant(48, std::span<const int>{}), -1);
}

TEST(PopupDpiTest, DpiIsTheOneTheWindowIsDrawnAt) {
  struct Case {
    const char* what;
    DpiFacts facts;
    unsigned dpi;
  } cases[] = {
      // Windows 10 1607 and later.
      {"unaware: the system stretches the window", {false, 96u, 144u, 144}, 96},
      {"system aware on a monitor of another DPI: stretched too", {false, 144u, 192u, 144}, 144},
      {"per-monitor aware, going to a 144 DPI monitor", {true, 96u, 144u, 96}, 144},
      {"per-monitor aware without the monitor's answer", {true, 120u, std::nullopt, 96}, 120},
      {"per-monitor aware, monitor answers 0", {true, 120u, 0u, 96}, 120},
      {"window answers 0", {false, 0u, 192u, 144}, 144},
      // Windows 8.1 (the process's awareness, the monitor from the shell's
      // scaling library) and 7: the screen unless per-monitor aware.
      {"8.1 per-monitor aware", {true, std::nullopt, 120u, 96}, 120},
      {"8.1 system aware", {false, std::nullopt, 144u, 120}, 120},
      {"awareness unknown: the monitor is not trusted", {std::nullopt, std::nullopt, 144u, 120}, 120},
      {"7", {std::nullopt, std::nullopt, std::nullopt, 120}, 120},
      {"nothing answers", {std::nullopt, std::nullopt, std::nullopt, 0}, 96},
  };
  for (const Case& c : cases) EXPECT_EQ(ChoosePopupDpi(c.facts), c.dpi) << c.what;
}

}  // namespace
}  // namespace zv
