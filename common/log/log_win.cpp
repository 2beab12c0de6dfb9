// The Windows parts of the log: local time, tick counts, the shared-read file.
#include <windows.h>

#include <share.h>
#include <time.h>

#include "common/log/log.h"
#include "platform/wide.h"

namespace {
// The tick count of the first successful stamp of the process.
uint32_t TickOrigin(uint32_t now) {
  static const uint32_t origin = now;
  return origin;
}
}  // namespace

std::string NowTime() {
  char text[200];
  if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "HH':'mm':'ss", text, sizeof text) == 0)
    return "Error in NowTime()";
  const DWORD now = GetTickCount();
  return FormatStamp(text, now, TickOrigin(now));
}

std::string StampAt(const char* timeText, uint32_t ticks) { return FormatStamp(timeText, ticks, TickOrigin(ticks)); }

bool OpenLogFile(const std::string& folder, const std::string& suffix) {
  __time64_t now = 0;
  _time64(&now);
  struct tm local {};
  _localtime64_s(&local, &now);
  char timeText[80];
  strftime(timeText, sizeof timeText, "%Y%m%d-%H%M%S", &local);

  FILELog::ReportingLevel() = logDEBUG3;
  const std::string path = FormatLogFilePath(folder, timeText, suffix);
  // Deny-write sharing: a second process of the same second gets no file.
  // An empty folder (no Documents folder) would put the file at the root of
  // the current drive: refused like a path that does not fit.
  FILE* stream = !folder.empty() && path.size() <= kLogPathMax ? _fsopen(path.c_str(), "w", _SH_DENYWR) : nullptr;
  Output2FILE::Stream() = stream;
  return stream != nullptr;
}

std::string LogText(std::u16string_view text) {
  if (text.empty()) return {};
  const wchar_t* wide = zv::WData(text);
  const int size = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, size, out.data(), needed, nullptr, nullptr);
  return out;
}
