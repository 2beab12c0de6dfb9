// The diagnostic log shared by the agent and the control.
//
//   FILE_LOG(logINFO) << "ZedudeVeri started";
//
// A line is gathered in a line buffer (LogLine) owned by a temporary FILELog
// and written, with one fprintf and one fflush, when the temporary dies at the
// end of the statement. The switch, the level and the stream are tested before
// the temporary exists, so a filtered line formats nothing at all.
//
// LogLine formats its parts exactly as a narrow std::ostream with default flags
// did, without the C++ library's locale and stream machinery (most of the
// size of both binaries otherwise): texts as they are, a char as that char,
// integers and bool in decimal, pointers as 0x and lower-case hex (0 for
// null). Wide characters and texts do not compile: convert them with LogText.
// Floating-point parts are not supported (no line logs one).
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
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

// The text of one line while it is gathered; see the top of this file for
// how each kind of part is written.
class LogLine {
 public:
  LogLine& operator<<(std::string_view text) {
    text_.append(text);
    return *this;
  }
  // A null text adds nothing (a stream would have dropped the rest of the line).
  LogLine& operator<<(const char* text) { return text ? *this << std::string_view(text) : *this; }
  LogLine& operator<<(const signed char* text) { return *this << reinterpret_cast<const char*>(text); }
  LogLine& operator<<(const unsigned char* text) { return *this << reinterpret_cast<const char*>(text); }
  LogLine& operator<<(char c) {
    text_.push_back(c);
    return *this;
  }
  LogLine& operator<<(signed char c) { return *this << static_cast<char>(c); }
  LogLine& operator<<(unsigned char c) { return *this << static_cast<char>(c); }
  LogLine& operator<<(bool value) { return *this << (value ? '1' : '0'); }
  LogLine& operator<<(int value) { return Decimal(value); }
  LogLine& operator<<(unsigned value) { return Decimal(value); }
  LogLine& operator<<(long value) { return Decimal(value); }
  LogLine& operator<<(unsigned long value) { return Decimal(value); }
  LogLine& operator<<(long long value) { return Decimal(value); }
  LogLine& operator<<(unsigned long long value) { return Decimal(value); }
  LogLine& operator<<(const void* pointer) {
    if (pointer == nullptr) return *this << '0';
    char digits[2 * sizeof pointer];
    const auto end = std::to_chars(digits, digits + sizeof digits, reinterpret_cast<uintptr_t>(pointer), 16).ptr;
    text_.append("0x").append(digits, end);
    return *this;
  }

  // Not narrow text: convert first (LogText).
  LogLine& operator<<(wchar_t) = delete;
  LogLine& operator<<(char8_t) = delete;
  LogLine& operator<<(char16_t) = delete;
  LogLine& operator<<(char32_t) = delete;
  LogLine& operator<<(const wchar_t*) = delete;
  LogLine& operator<<(const char8_t*) = delete;
  LogLine& operator<<(const char16_t*) = delete;
  LogLine& operator<<(const char32_t*) = delete;

  const std::string& str() const { return text_; }

 private:
  template <typename Integer>
  LogLine& Decimal(Integer value) {
    char digits[24];  // 20 digits and a sign for every 64-bit value
    text_.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    return *this;
  }

  std::string text_;
};

template <typename T>
class Log {
 public:
  Log() = default;
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;
  virtual ~Log();

  LogLine& Get(TLogLevel level = logINFO);

  static TLogLevel& ReportingLevel();
  static const char* ToString(TLogLevel level);

 protected:
  LogLine os;
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
LogLine& Log<T>::Get(TLogLevel level) {
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
