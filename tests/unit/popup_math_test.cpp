// The popup's fade arithmetic, resting place and drag clamp.
#include "control/popup/alert_math.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zv
