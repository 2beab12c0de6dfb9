#include <gtest/gtest.h>

#include "platform/integrity.h"

namespace zv {
namespace {

TEST(IntegrityLevelOfRid, BoundariesOfTheMandatoryLabels) {
  const struct {
    uint32_t rid;
    IntegrityLevel level;
  } cases[] = {
      {0x0000, IntegrityLevel::Low},     // untrusted
      {0x1000, IntegrityLevel::Low},     // low: protected mode
      {0x1FFF, IntegrityLevel::Low},
      {0x2000, IntegrityLevel::Medium},  // a normal user
      {0x2100, IntegrityLevel::Medium},  // medium plus
      {0x2FFF, IntegrityLevel::Medium},
      {0x3000, IntegrityLevel::High},    // elevated
      {0x4000, IntegrityLevel::High},    // system
      {0x5000, IntegrityLevel::High},    // protected process
  };
  for (const auto& c : cases) EXPECT_EQ(IntegrityLevelOfRid(c.rid), c.level) << std::hex << c.rid;
}

TEST(IntegrityStartLine, OnlyLowAndUnknownAreSaid) {
  for (const auto program : {IntegrityProgram::Agent, IntegrityProgram::Control}) {
    EXPECT_EQ(IntegrityStartLine(IntegrityLevel::Medium, program), "");
    EXPECT_EQ(IntegrityStartLine(IntegrityLevel::High, program), "");
    EXPECT_EQ(IntegrityStartLine(IntegrityLevel::Unknown, program),
              "integrity level unknown: protected mode could not be checked");
  }
  EXPECT_EQ(IntegrityStartLine(IntegrityLevel::Low, IntegrityProgram::Agent),
            "low integrity (protected mode): the agent cannot write the browser settings or Documents\\zaduze, "
            "cannot close or end other programs, and its key and mouse filters miss their input");
  EXPECT_EQ(IntegrityStartLine(IntegrityLevel::Low, IntegrityProgram::Control),
            "low integrity (protected mode): the control cannot write Documents\\zaduze, and the agent it starts "
            "runs at low integrity unless the elevation policy lets the browser start it at medium integrity");
}

}  // namespace
}  // namespace zv
