// Native stand-ins for the platform parts of the log, so that the portable
// core links and its tests run on Linux. Windows builds use log_win.cpp.
#include <chrono>
#include <ctime>

#include "common/log/log.h"
#include "common/text/text_util.h"

namespace {
uint32_t TickOrigin(uint32_t now) {
  static const uint32_t origin = now;
  return origin;
}
}  // namespace

std::string NowTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return "Error in NowTime()";
  char text[200];
  if (std::strftime(text, sizeof text, "%H:%M:%S", &local) == 0) return "Error in NowTime()";
  const auto ticks = static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
  return FormatStamp(text, ticks, TickOrigin(ticks));
}

std::string StampAt(const char* timeText, uint32_t ticks) { return FormatStamp(timeText, ticks, TickOrigin(ticks)); }

bool OpenLogFile(const std::string& folder, const std::string& suffix) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char timeText[80];
  std::strftime(timeText, sizeof timeText, "%Y%m%d-%H%M%S", &local);
  FILELog::ReportingLevel() = logDEBUG3;
  std::string path = FormatLogFilePath(folder, timeText, suffix);
  for (auto& c : path)
    if (c == '\\') c = '/';
  Output2FILE::Stream() = path.size() <= kLogPathMax ? std::fopen(path.c_str(), "w") : nullptr;
  return Output2FILE::Stream() != nullptr;
}

std::string LogText(std::u16string_view text) { return zv::ToUtf8(text); }
