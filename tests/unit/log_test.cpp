#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/log/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/log_parts.h"

namespace zv {
namespace {

// Streams nothing but counts how often it is asked to.
struct CountingPart {
  int* calls;
};
LogLine& operator<<(LogLine& line, const CountingPart& part) {
  ++*part.calls;
  return line << "counted";
}

class LogCapture : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(capture_.ok()); }
  std::string Written() { return capture_.Text(); }
  std::string WrittenAfterStamp() { return capture_.TextAfterStamp(); }
  zv::test::LogCapture capture_;
};

TEST_F(LogCapture, LineLayoutPutsTabsOnlyAboveDebug) {
  struct Case {
    TLogLevel level;
    const char* expected;
  } cases[] = {
      {logERROR, "ERROR: m\n"},     {logWARNING, "WARNING: m\n"}, {logINFO, "INFO: m\n"},
      {logDEBUG, "DEBUG: m\n"},     {logDEBUG1, "DEBUG1: \tm\n"}, {logDEBUG2, "DEBUG2: \t\tm\n"},
      {logDEBUG3, "DEBUG3: \t\t\tm\n"}, {logDEBUG4, "DEBUG4: \t\t\t\tm\n"},
  };
  FILELog::ReportingLevel() = logDEBUG4;
  for (const auto& c : cases) {
    capture_.Reset();
    FILE_LOG(c.level) << "m";
    EXPECT_EQ(WrittenAfterStamp(), c.expected) << FILELog::ToString(c.level);
  }
}

TEST_F(LogCapture, PartsAreJoinedWithoutSeparatorsAndIntegersInDecimal) {
  FILE_LOG(logINFO) << "ABOUT TO CLOSE by timer :: " << " m_nKeepAliveIdleTime: " << 1100
                    << " > m_nKeepAliveIdleTime: " << -5;
  EXPECT_EQ(WrittenAfterStamp(),
            "INFO: ABOUT TO CLOSE by timer ::  m_nKeepAliveIdleTime: 1100 > m_nKeepAliveIdleTime: -5\n");
}

TEST(LogParts, FormattedAsTheStreamDid) { zv::test::ExpectPartsFormattedAsTheStreamDid(); }

TEST_F(LogCapture, NullTextAddsNothingAndTheLineGoesOn) {
  // A stream would have stopped at the null text, line end included.
  const char* missing = nullptr;
  FILE_LOG(logINFO) << "a" << missing << "b" << 1;
  EXPECT_EQ(WrittenAfterStamp(), "INFO: ab1\n");
}

TEST_F(LogCapture, EveryFilterSkipsFormattingEntirely) {
  int calls = 0;
  // Level above the reporting level.
  FILELog::ReportingLevel() = logDEBUG3;
  FILE_LOG(logDEBUG4) << CountingPart{&calls};
  // Switch off.
  g_bLogEnabled = 0;
  FILE_LOG(logINFO) << CountingPart{&calls};
  g_bLogEnabled = 1;
  // No stream (a failed open).
  Output2FILE::Stream() = nullptr;
  FILE_LOG(logINFO) << CountingPart{&calls};
  Output2FILE::Stream() = capture_.file();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Written(), "");

  FILE_LOG(logDEBUG3) << CountingPart{&calls};
  EXPECT_EQ(calls, 1);
  EXPECT_NE(Written().find("DEBUG3: \t\t\tcounted\n"), std::string::npos);
}

TEST_F(LogCapture, MacroBindsAsOneStatementInsideIfElse) {
  // The macro's own if/else must not capture a caller's else branch.
  bool elseTaken = false;
  if (false)
    FILE_LOG(logINFO) << "never";
  else
    elseTaken = true;
  EXPECT_TRUE(elseTaken);
  EXPECT_EQ(Written(), "");
}

TEST(LogStamp, MillisecondsCountFromTheOriginModuloAThousand) {
  EXPECT_EQ(FormatStamp("14:03:27", 5000, 5000), "[14:03:27.000]");
  EXPECT_EQ(FormatStamp("14:03:27", 5007, 5000), "[14:03:27.007]");
  EXPECT_EQ(FormatStamp("14:03:27", 7345, 5000), "[14:03:27.345]");
  // The tick counter wraps after 49.7 days; unsigned arithmetic keeps counting.
  EXPECT_EQ(FormatStamp("00:00:01", 20, 0xFFFFFFF0u), "[00:00:01.036]");
}

TEST(LogStamp, FirstStampOfTheProcessEndsInThreeZeros) {
  // The origin is process-wide, so look at it in a freshly started process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        const std::string first = NowTime();
        std::fprintf(stderr, "%s", first.c_str());
        std::exit(first.size() > 5 && first.substr(first.size() - 5) == ".000]" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(LogFile, NameIsTimeUnderscoreSuffix) {
  EXPECT_EQ(FormatLogFilePath("C:\\u\\Documents\\zaduze\\log", "20261207-180102", "app"),
            "C:\\u\\Documents\\zaduze\\log\\20261207-180102_app.log");
  EXPECT_NE(FormatLogFilePath("f", "t", "app"), FormatLogFilePath("f", "t", "ocx"));
}

TEST(LogLevels, NamesAndStartingLevel) {
  const char* names[] = {"ERROR", "WARNING", "INFO", "DEBUG", "DEBUG1", "DEBUG2", "DEBUG3", "DEBUG4"};
  for (int i = logERROR; i <= logDEBUG4; ++i) EXPECT_STREQ(FILELog::ToString(static_cast<TLogLevel>(i)), names[i]);
}

}  // namespace
}  // namespace zv
