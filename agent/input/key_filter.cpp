#include "agent/input/key_filter.h"

#include <algorithm>

namespace zv {

HookDecision DecideKeyEvent(int code, uint32_t flags, uint32_t vkCode, const std::set<int32_t>& altKeys,
                            const std::set<int32_t>& keys) {
  if (code != 0) return HookDecision::PassOnSilently;
  const auto& set = (flags & kLlkhfAltDown) ? altKeys : keys;
  return set.count(static_cast<int32_t>(vkCode)) ? HookDecision::Swallow : HookDecision::PassOn;
}

HookDecision DecideMouseEvent(int code, uintptr_t wParam) {
  if (code != 0) return HookDecision::PassOnSilently;
  return (wParam == kWmRButtonDown || wParam == kWmRButtonUp) ? HookDecision::Swallow : HookDecision::PassOnSilently;
}

namespace {

// Appends to a fixed buffer, cutting what does not fit; keeps it terminated.
class FixedText {
 public:
  FixedText(char* out, size_t size) : out_(out), size_(size) {
    if (size_ != 0) out_[0] = '\0';
  }
  void Add(const char* text) {
    while (*text) Put(*text++);
  }
  // Lower-case hex, padded with blanks on the left to `width` characters.
  void Hex(uint64_t value, int width) {
    char digits[16];
    int n = 0;
    do {
      digits[n++] = "0123456789abcdef"[value & 0xF];
      value >>= 4;
    } while (value != 0);
    for (int i = n; i < width; ++i) Put(' ');
    while (n > 0) Put(digits[--n]);
  }
  size_t length() const { return length_; }

 private:
  void Put(char c) {
    if (length_ + 1 >= size_) return;
    out_[length_++] = c;
    out_[length_] = '\0';
  }
  char* out_;
  size_t size_;
  size_t length_ = 0;
};

}  // namespace

size_t FormatKeyEventLine(char* out, size_t size, const char* prefix, uint32_t flags, uint32_t vkCode,
                          uintptr_t wParam, uintptr_t lParam) {
  FixedText text(out, size);
  text.Add(prefix);
  text.Add("flag: 0x");
  text.Hex(flags, 2);
  text.Add(", vkCode: 0x");
  text.Hex(vkCode, 2);
  text.Add(", (code:0, wParam:");
  text.Hex(wParam, 0);
  text.Add(", lParam:");
  text.Hex(lParam, 0);
  text.Add(")");
  return text.length();
}

std::string FormatKeyEventText(uint32_t flags, uint32_t vkCode, uintptr_t wParam, uintptr_t lParam) {
  char text[128];
  const size_t length = FormatKeyEventLine(text, sizeof text, "", flags, vkCode, wParam, lParam);
  return std::string(text, length);
}

bool MissedInput(const HookCounts (&looks)[4]) {
  return looks[2].input != looks[1].input && looks[3].calls == looks[0].calls;
}

namespace {
int32_t Since(uint32_t later, uint32_t earlier) { return static_cast<int32_t>(later - earlier); }
}  // namespace

bool RenewalDue(const RenewalPace& pace, uint32_t calls, uint32_t now) {
  if (pace.wait == 0 || calls != pace.callsAtRenewal) return true;
  return Since(now, pace.renewedAt) >= static_cast<int32_t>(pace.wait);
}

void NoteRenewal(RenewalPace& pace, uint32_t calls, uint32_t now, uint32_t firstWait) {
  const bool calledSince = pace.wait == 0 || calls != pace.callsAtRenewal;
  pace.wait = calledSince ? firstWait : std::min<uint32_t>(pace.wait * 2, kMaxRenewalWait);
  pace.renewedAt = now;
  pace.callsAtRenewal = calls;
}

void HookWatch::Start(HookCounts now) {
  looks_[0] = now;
  count_ = 1;
}

bool HookWatch::Look(HookCounts now, uint32_t tick) {
  if (count_ < 4) {
    looks_[count_++] = now;
  } else {
    looks_[0] = looks_[1];
    looks_[1] = looks_[2];
    looks_[2] = looks_[3];
    looks_[3] = now;
  }
  return count_ == 4 && MissedInput(looks_) && RenewalDue(pace_, now.calls, tick);
}

void HookWatch::Renewed(HookCounts now, uint32_t tick, uint32_t firstWait) {
  NoteRenewal(pace_, now.calls, tick, firstWait);
  Start(now);
}

HeartbeatNews LookAtHeartbeat(uint32_t lastBeat, uint32_t now, uint32_t limit, bool& stalled) {
  const bool late = Since(now, lastBeat) > static_cast<int32_t>(limit);
  if (late == stalled) return HeartbeatNews::None;
  stalled = late;
  return late ? HeartbeatNews::Stalled : HeartbeatNews::Running;
}

}  // namespace zv
