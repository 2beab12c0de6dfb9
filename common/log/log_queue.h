// Log lines of threads that must never wait: the agent's input hooks. A
// line is a fixed-size record handed over without a lock and without an
// allocation; a writer thread puts it out later with the stamp of the moment
// it was made, so the file reads as if it had been written at once.
//
// The queue is the bounded queue of Dmitry Vyukov: every cell carries a
// sequence number that tells producers and consumers whose turn it is, so a
// full queue is noticed at once (the line is dropped and counted, never
// waited for) and lines come out in the order they were put in.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/log/log.h"

namespace zv {

// The longest message a queued line keeps (longer ones are cut).
constexpr size_t kQueuedLineText = 160;

// The moment a line was made, as the platform reads it without waiting: the
// wall clock (on Windows UTC in 100 ns units, as a FILETIME) and the tick count.
struct LineMoment {
  uint64_t clock = 0;
  uint32_t ticks = 0;
};

struct QueuedLine {
  LineMoment at;
  TLogLevel level = logINFO;
  uint32_t droppedBefore = 0;  // lines lost to a full queue just before this one
  uint32_t length = 0;
  char text[kQueuedLineText];  // the message: no stamp, no level, no line end
};

template <size_t N>
class LineQueue {
  static_assert(N >= 2 && (N & (N - 1)) == 0, "the capacity is a power of two");

 public:
  LineQueue() {
    for (size_t i = 0; i < N; ++i) cells_[i].sequence.store(i, std::memory_order_relaxed);
  }
  LineQueue(const LineQueue&) = delete;
  LineQueue& operator=(const LineQueue&) = delete;

  // Never waits, never allocates. False when the queue is full: the line is
  // then counted as dropped and reported with the next line that gets in.
  bool Push(const LineMoment& at, TLogLevel level, std::string_view text) {
    size_t position = enqueue_.load(std::memory_order_relaxed);
    Cell* cell;
    for (;;) {
      cell = &cells_[position & (N - 1)];
      const size_t sequence = cell->sequence.load(std::memory_order_acquire);
      const auto lead = static_cast<intptr_t>(sequence) - static_cast<intptr_t>(position);
      if (lead == 0) {
        if (enqueue_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
      } else if (lead < 0) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
      } else {
        position = enqueue_.load(std::memory_order_relaxed);
      }
    }
    QueuedLine& line = cell->line;
    line.at = at;
    line.level = level;
    line.length = static_cast<uint32_t>(text.size() < kQueuedLineText ? text.size() : kQueuedLineText);
    std::memcpy(line.text, text.data(), line.length);
    line.droppedBefore = dropped_.exchange(0, std::memory_order_relaxed);
    cell->sequence.store(position + 1, std::memory_order_release);
    return true;
  }

  // The oldest complete line; false when there is none.
  bool Pop(QueuedLine& out) {
    size_t position = dequeue_.load(std::memory_order_relaxed);
    Cell* cell;
    for (;;) {
      cell = &cells_[position & (N - 1)];
      const size_t sequence = cell->sequence.load(std::memory_order_acquire);
      const auto lead = static_cast<intptr_t>(sequence) - static_cast<intptr_t>(position + 1);
      if (lead == 0) {
        if (dequeue_.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) break;
      } else if (lead < 0) {
        return false;
      } else {
        position = dequeue_.load(std::memory_order_relaxed);
      }
    }
    out = cell->line;
    cell->sequence.store(position + N, std::memory_order_release);
    return true;
  }

  // Lines dropped since the last line that got in, and not reported yet.
  uint32_t TakeDropped() { return dropped_.exchange(0, std::memory_order_relaxed); }

 private:
  struct Cell {
    std::atomic<size_t> sequence{0};
    QueuedLine line;
  };
  Cell cells_[N];
  alignas(64) std::atomic<size_t> enqueue_{0};
  alignas(64) std::atomic<size_t> dequeue_{0};
  std::atomic<uint32_t> dropped_{0};
};

// Whether a line of this level would be written now (the test FILE_LOG
// makes), read without a lock.
inline bool LogLineWanted(TLogLevel level) {
  return g_bLogEnabled && level <= FILELog::ReportingLevel() && Output2FILE::Stream() != nullptr;
}

// "<stamp> <LEVEL>: <tabs><text>\n", the layout of a FILELog line.
std::string FormatQueuedLine(std::string_view stamp, TLogLevel level, std::string_view text);

// The message that stands where lines were lost to a full queue.
std::string DroppedLinesText(uint32_t count);

}  // namespace zv
