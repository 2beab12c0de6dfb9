// The queue of log lines from threads that must never wait, and its writer.
#include "common/log/log_queue_win.h"

#include <windows.h>

#include <new>

#include "common/log/log_queue.h"

namespace zv {

namespace {

// 1024 lines: about a minute of fast typing (two lines a key), 200 KB. A queue
// that fills up (the disk has stood still for that long) drops lines.
using Queue = LineQueue<1024>;

// Made by the first start and never freed (a writer left running may still
// read it). On the heap: a static queue would be stored in the program file,
// since its constructor's sequence numbers make it initialized data.
std::atomic<Queue*> g_queue{nullptr};

// "[HH:mm:ss.mmm]" of a moment taken earlier, as NowTime would have made it then.
std::string StampOf(const LineMoment& at) {
  FILETIME utc, local;
  utc.dwLowDateTime = static_cast<DWORD>(at.clock);
  utc.dwHighDateTime = static_cast<DWORD>(at.clock >> 32);
  SYSTEMTIME time;
  char text[200];
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time) ||
      GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, "HH':'mm':'ss", text, sizeof text) == 0)
    return "Error in NowTime()";
  return StampAt(text, at.ticks);
}

// Runs under the log's lock, before every directly written line and from the
// writer thread.
void WriteQueuedLines(FILE* stream) {
  Queue* const queue = g_queue.load();
  if (queue == nullptr) return;
  QueuedLine line;
  while (queue->Pop(line)) {
    try {
      const std::string stamp = StampOf(line.at);
      if (line.droppedBefore != 0)
        std::fputs(FormatQueuedLine(stamp, logINFO, DroppedLinesText(line.droppedBefore)).c_str(), stream);
      std::fputs(FormatQueuedLine(stamp, line.level, std::string_view(line.text, line.length)).c_str(), stream);
    } catch (...) {
      // Out of memory for one line: it is lost, the rest still goes out.
    }
  }
  if (const uint32_t dropped = queue->TakeDropped()) {
    try {
      std::fputs(FormatQueuedLine(NowTime(), logINFO, DroppedLinesText(dropped)).c_str(), stream);
    } catch (...) {
    }
  }
}

// One writer thread. Its state lives on the heap: a writer that does not end
// in time is left running with it.
struct Writer {
  HANDLE thread = nullptr;
  std::atomic<bool> quit{false};
};
Writer* g_writer = nullptr;  // the caller of start and stop only
// Set for every queued line. Created once and never closed, so that a line
// queued at any time signals this event and no other.
std::atomic<HANDLE> g_wake{nullptr};

DWORD WINAPI WriterProc(void* param) {
  auto* writer = static_cast<Writer*>(param);
  while (!writer->quit.load()) {
    WaitForSingleObject(g_wake.load(), INFINITE);
    WritePendingLines();
  }
  return 0;
}

}  // namespace

bool StartQueuedLog() {
  if (g_queue.load() == nullptr) {
    auto* const queue = new (std::nothrow) Queue;
    if (queue == nullptr) return false;
    g_queue = queue;
  }
  SetPendingLinesWriter(WriteQueuedLines);
  if (g_writer != nullptr) return true;
  if (g_wake.load() == nullptr) {
    const HANDLE wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (wake == nullptr) return false;
    g_wake = wake;
  }
  auto* writer = new (std::nothrow) Writer;
  if (writer == nullptr) return false;
  writer->thread = CreateThread(nullptr, 0, WriterProc, writer, 0, nullptr);
  if (writer->thread == nullptr) {
    delete writer;
    return false;
  }
  g_writer = writer;
  return true;
}

void StopQueuedLog(uint32_t waitMillis) {
  Writer* writer = g_writer;
  if (writer == nullptr) return;
  g_writer = nullptr;
  writer->quit = true;
  // Another writer left running earlier may take a wake-up: wake again.
  const DWORD start = GetTickCount();
  DWORD ended;
  do {
    SetEvent(g_wake.load());
    ended = WaitForSingleObject(writer->thread, 50);
  } while (ended == WAIT_TIMEOUT && GetTickCount() - start < waitMillis);
  if (ended != WAIT_OBJECT_0) return;  // left running, and its state with it
  CloseHandle(writer->thread);
  delete writer;
}

bool QueueLogLine(TLogLevel level, std::string_view text) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LineMoment at;
  at.clock = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  at.ticks = GetTickCount();
  Queue* const queue = g_queue.load();
  const bool queued = queue != nullptr && queue->Push(at, level, text);
  if (const HANDLE wake = g_wake.load()) SetEvent(wake);
  return queued;
}

}  // namespace zv
