#include "common/log/log.h"

#include <atomic>
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

namespace {
// Lines come from several threads: one line at a time, whole.
std::mutex g_lineLock;
std::atomic<PendingLinesWriter> g_pendingWriter{nullptr};
}  // namespace

void SetPendingLinesWriter(PendingLinesWriter writer) { g_pendingWriter = writer; }

void WritePendingLines() {
  const std::lock_guard<std::mutex> hold(g_lineLock);
  FILE* stream = Output2FILE::Stream();
  const PendingLinesWriter writer = g_pendingWriter;
  if (stream == nullptr || writer == nullptr) return;
  writer(stream);
  std::fflush(stream);
}

void Output2FILE::Output(const std::string& text) {
  const std::lock_guard<std::mutex> hold(g_lineLock);
  FILE* stream = Stream();
  if (stream == nullptr) return;
  if (const PendingLinesWriter writer = g_pendingWriter) writer(stream);
  std::fprintf(stream, "%s", text.c_str());
  std::fflush(stream);
}

std::string FormatLogFilePath(const std::string& folder, const std::string& timeText, const std::string& suffix) {
  return folder + "\\" + timeText + "_" + suffix + ".log";
}
