#include "common/log/log.h"

#include <cinttypes>
#include <mutex>

int g_bLogEnabled = 1;

std::string FormatStamp(const char* timeText, uint32_t nowTicks, uint32_t originTicks) {
  const uint32_t millis = (nowTicks - originTicks) % 1000u;
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, "[%s.%03" PRIu32 "]", timeText, millis);
  return buffer;
}

FILE*& Output2FILE::Stream() {
  static FILE* stream = stderr;
  return stream;
}

void Output2FILE::Output(const std::string& text) {
  // The agent's hook thread writes lines too: one line at a time, whole.
  static std::mutex lock;
  const std::lock_guard<std::mutex> hold(lock);
  FILE* stream = Stream();
  if (stream == nullptr) return;
  std::fprintf(stream, "%s", text.c_str());
  std::fflush(stream);
}

std::string FormatLogFilePath(const std::string& folder, const std::string& timeText, const std::string& suffix) {
  return folder + "\\" + timeText + "_" + suffix + ".log";
}

void WritePendingLines() {}
