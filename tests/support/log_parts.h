// Test helper: the log's line buffer against the C++ output stream whose
// formatting it keeps. Each row is logged through a FILELog and streamed into
// a std::ostringstream; the written line must be the streamed text after the
// level, and the streamed text what the row expects. Used by the native tests
// and by the Windows tests (the product's C++ library and type sizes).
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/log/log.h"
#include "tests/support/log_capture.h"

namespace zv::test {

struct LogPartsRow {
  std::string logged;    // the line as written, after the stamp
  std::string streamed;  // the parts through std::ostringstream
  const char* expected;  // the streamed text, or null where it depends on the type sizes
};

template <typename... Parts>
LogPartsRow LogAndStream(const char* expected, const Parts&... parts) {
  LogPartsRow row{{}, {}, expected};
  {
    LogCapture capture;
    // What FILE_LOG does once its filter passed.
    { (FILELog().Get(logINFO) << ... << parts); }
    row.logged = capture.TextAfterStamp();
  }
  std::ostringstream stream;
  (stream << ... << parts);
  row.streamed = stream.str();
  return row;
}

inline void ExpectPartsFormattedAsTheStreamDid() {
  char mutableText[] = "mutable";
  const unsigned char byteText[] = "bytes";
  const std::string longLine = std::string(100000, 'x') + "end";
  const std::vector<LogPartsRow> rows = {
      LogAndStream("-2147483648", INT_MIN),
      LogAndStream("2147483647 -1 0", INT_MAX, ' ', -1, ' ', 0),
      LogAndStream("4294967295", UINT_MAX),
      LogAndStream("-9223372036854775808", LLONG_MIN),
      LogAndStream("18446744073709551615", ULLONG_MAX),
      LogAndStream("-2147467259 2147500037", static_cast<long>(-2147467259L), ' ', 2147500037UL),
      LogAndStream("-32768 65535", static_cast<short>(SHRT_MIN), ' ', static_cast<unsigned short>(USHRT_MAX)),
      // Characters of every signedness are characters, not numbers.
      LogAndStream("x A\xFB", 'x', ' ', static_cast<uint8_t>(65), static_cast<int8_t>(-5)),
      LogAndStream("10", true, false),
      LogAndStream("6", logDEBUG3),
      LogAndStream("", std::string(), "", std::string_view()),
      LogAndStream("mutable bytes", mutableText, ' ', byteText),
      LogAndStream(longLine.c_str(), longLine),
      LogAndStream("0 0x12fe40", static_cast<const void*>(nullptr), ' ',
                   reinterpret_cast<const void*>(uintptr_t{0x12fe40})),
      LogAndStream(nullptr, reinterpret_cast<const void*>(UINTPTR_MAX)),
      LogAndStream("RegistrySave failed (-1): browser settings left unchanged", "RegistrySave failed (", -1,
                   "): browser settings left unchanged"),
  };
  for (const auto& row : rows) {
    EXPECT_EQ(row.logged, "INFO: " + row.streamed + "\n");
    if (row.expected) {
      EXPECT_EQ(row.streamed, row.expected);
    }
  }
}

}  // namespace zv::test
