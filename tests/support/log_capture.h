// Test helper: points the process-wide log stream at a temporary file for the
// lifetime of the object and gives back what was written. Restores the stream,
// the reporting level and the switch afterwards. Native and Windows tests.
#pragma once

#include <cstdio>
#include <string>

#include "common/log/log.h"

namespace zv::test {

class LogCapture {
 public:
  LogCapture()
      : saved_stream_(Output2FILE::Stream()), saved_level_(FILELog::ReportingLevel()), saved_enabled_(g_bLogEnabled) {
    file_ = std::tmpfile();
    Output2FILE::Stream() = file_;
  }
  ~LogCapture() {
    Output2FILE::Stream() = saved_stream_;
    FILELog::ReportingLevel() = saved_level_;
    g_bLogEnabled = saved_enabled_;
    if (file_) std::fclose(file_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  bool ok() const { return file_ != nullptr; }
  FILE* file() const { return file_; }

  // Starts over with an empty file.
  void Reset() {
    if (file_) std::fclose(file_);
    file_ = std::tmpfile();
    Output2FILE::Stream() = file_;
  }

  std::string Text() const {
    if (!file_) return {};
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    char buffer[1024];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
    return text;
  }

  // The text after the first line's stamp ("[...] ").
  std::string TextAfterStamp() const {
    const std::string text = Text();
    const auto pos = text.find("] ");
    return pos == std::string::npos ? text : text.substr(pos + 2);
  }

 private:
  FILE* saved_stream_;
  TLogLevel saved_level_;
  int saved_enabled_;
  FILE* file_ = nullptr;
};

}  // namespace zv::test
