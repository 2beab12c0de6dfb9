#include "common/log/log_queue.h"

namespace zv {

std::string FormatQueuedLine(std::string_view stamp, TLogLevel level, std::string_view text) {
  std::string line(stamp);
  line += ' ';
  line += FILELog::ToString(level);
  line += ": ";
  for (int i = logDEBUG; i < level; ++i) line += '\t';
  line.append(text);
  line += '\n';
  return line;
}

std::string DroppedLinesText(uint32_t count) {
  return "Log queue full: " + std::to_string(count) + " lines dropped";
}

}  // namespace zv
