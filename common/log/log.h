// The diagnostic log shared by the agent and the control.
//
//   FILE_LOG(logINFO) << "ZedudeVeri started";
//
// A line is gathered in a string stream owned by a temporary FILELog and
// written, with one fprintf and one fflush, when the temporary dies at the end
// of the statement. The switch, the level and the stream are tested before the
// temporary exists, so a filtered line formats nothing at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

enum TLogLevel { logERROR, logWARNING, logINFO, logDEBUG, logDEBUG1, logDEBUG2, logDEBUG3, logDEBUG4 };

// Process-wide switch; starts on. The agent sets it to its -DebugLog value
// when that is non-zero, nothing ever sets it to 0.
extern int g_bLogEnabled;

// "[HH:mm:ss.mmm]" where mmm are the milliseconds since the first stamp of the
// process, modulo 1000. "Error in NowTime()" when the time cannot be formatted.
std::string NowTime();

// The stamp of a moment taken earlier: its local time formatted as NowTime
// formats it, and its tick count, counted from the same origin as NowTime's.
std::string StampAt(const char* timeText, uint32_t ticks);

// The stamp from a formatted local time and two tick counts (unsigned 32-bit
// arithmetic, so a wrapped tick counter still gives the right remainder).
std::string FormatStamp(const char* timeText, uint32_t nowTicks, uint32_t originTicks);

template <typename T>
class Log {
 public:
  Log() = default;
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  virtual ~Log();

  std::ostringstream& Get(TLogLevel level = logINFO);

  static TLogLevel& ReportingLevel();
  static const char* ToString(TLogLevel level);

 protected:
  std::ostringstream os;
};

// Output() may be called from several threads (it writes each line whole
// under a lock); the stream itself is chosen before a second thread logs.
class Output2FILE {
 public:
  static FILE*& Stream();
  static void Output(const std::string& text);
};

class FILELog : public Log<Output2FILE> {};

// Lines made by threads that must never wait for the log (the agent's input
// hooks) wait in a queue. Output() writes what waits there, under the log's
// lock, before its own line, so the file keeps the order in which the lines
// were made; the queue's owner sets the writer (null: nothing waits).
using PendingLinesWriter = void (*)(FILE* stream);
void SetPendingLinesWriter(PendingLinesWriter writer);
// Writes the waiting lines now, under the log's lock, and flushes.
void WritePendingLines();

#define FILE_LOG(level)                                                                               \
  if (!g_bLogEnabled || (level) > FILELog::ReportingLevel() || Output2FILE::Stream() == nullptr) { \
  } else                                                                                              \
    FILELog().Get(level)

template <typename T>
std::ostringstream& Log<T>::Get(TLogLevel level) {
  os << NowTime() << ' ' << ToString(level) << ": ";
  for (int i = logDEBUG; i < level; ++i) os << '\t';
  return os;
}

template <typename T>
Log<T>::~Log() {
  os << '\n';
  T::Output(os.str());
}

template <typename T>
TLogLevel& Log<T>::ReportingLevel() {
  static TLogLevel level = logDEBUG4;
  return level;
}

template <typename T>
const char* Log<T>::ToString(TLogLevel level) {
  static const char* const names[] = {"ERROR", "WARNING", "INFO", "DEBUG", "DEBUG1", "DEBUG2", "DEBUG3", "DEBUG4"};
  return (level >= logERROR && level <= logDEBUG4) ? names[level] : "UNKNOWN";
}

// Opens "<folder>\<YYYYmmdd-HHMMSS>_<suffix>.log" for writing, shared for
// reading only, sets ReportingLevel to DEBUG3 and makes it the log stream (null
// when the open fails, which silences the log for the rest of the process).
// A path that does not fit the 254 characters of the file name buffer counts
// as a failed open. Returns whether a file is open.
bool OpenLogFile(const std::string& folder, const std::string& suffix);

// "<folder>\<time>_<suffix>.log", the name OpenLogFile opens.
std::string FormatLogFilePath(const std::string& folder, const std::string& timeText, const std::string& suffix);
constexpr size_t kLogPathMax = 254;

// Wide texts go into a line in the system's ANSI code page (UTF-8 natively).
std::string LogText(std::u16string_view text);
