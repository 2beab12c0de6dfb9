// The keep-alive watch: every tick of the 100 ms timer adds a fixed 100 ms to
// the idle counter (delayed or merged ticks count once, so a busy agent waits
// longer, never shorter); a keep-alive message resets it to 0.
#pragma once

#include <cstdint>

namespace zv {

constexpr int32_t kKeepAliveTickMillisec = 100;

// A period of 0 or less switches the watch off.
inline bool KeepAliveWatchEnabled(int32_t periodMillisec) { return periodMillisec > 0; }

// One tick: adds the step (saturating, so a huge period cannot overflow the
// counter) and tells whether the counter now exceeds the period.
inline bool KeepAliveTick(int32_t& idleMillisec, int32_t periodMillisec) {
  idleMillisec = idleMillisec > INT32_MAX - kKeepAliveTickMillisec ? INT32_MAX : idleMillisec + kKeepAliveTickMillisec;
  return idleMillisec > periodMillisec;
}

}  // namespace zv
