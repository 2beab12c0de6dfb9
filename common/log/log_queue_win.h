// The process's queue of log lines from threads that must never wait, and
// the thread that writes them out (see log_queue.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "common/log/log.h"

namespace zv {

// Starts the writer thread (again after a stop). Lines queued without one
// are written with the next line of another thread or by WritePendingLines.
bool StartQueuedLog();
// Writes what waits and ends the writer thread, waiting for it at most
// `waitMillis` (a writer held up by a slow disk is left to finish alone).
void StopQueuedLog(uint32_t waitMillis);

// From any thread, without waiting, locking or allocating: the line with
// the moment it was made. False when the queue is full (the line is counted
// and the count is logged in its place), and before the first start, which
// makes the queue (the line is lost).
bool QueueLogLine(TLogLevel level, std::string_view text);

}  // namespace zv
