#include "agent/input/key_filter.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

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

std::string FormatKeyEventText(uint32_t flags, uint32_t vkCode, uintptr_t wParam, uintptr_t lParam) {
  char text[160];
  std::snprintf(text, sizeof text, "flag: 0x%2x, vkCode: 0x%2x, (code:%x, wParam:%" PRIxPTR ", lParam:%" PRIxPTR ")",
                static_cast<unsigned>(flags), static_cast<unsigned>(vkCode), 0u, wParam, lParam);
  return text;
}

namespace {

int32_t Since(uint32_t later, uint32_t earlier) { return static_cast<int32_t>(later - earlier); }

// The input came after the hook's last call, and long enough ago that a live
// hook would have been called for it.
bool Missed(const WatchedHook& hook, uint32_t lastInput, uint32_t now, uint32_t slack) {
  return hook.installed && Since(lastInput, hook.lastCall) > static_cast<int32_t>(slack) &&
         Since(now, lastInput) >= static_cast<int32_t>(slack);
}

}  // namespace

bool RenewalDue(const RenewalPace& pace, uint32_t lastCall, uint32_t now) {
  if (pace.wait == 0 || lastCall != pace.renewedAt) return true;
  return Since(now, pace.renewedAt) >= static_cast<int32_t>(pace.wait);
}

void NoteRenewal(RenewalPace& pace, uint32_t lastCall, uint32_t now, uint32_t firstWait) {
  const bool calledSince = pace.wait == 0 || lastCall != pace.renewedAt;
  pace.wait = calledSince ? firstWait : std::min<uint32_t>(pace.wait * 2, kMaxRenewalWait);
  pace.renewedAt = now;
}

HookRenewal HooksToRenew(WatchedHook keyboard, WatchedHook mouse, uint32_t lastInput, uint32_t now, uint32_t slack) {
  const bool keyboardMissed = Missed(keyboard, lastInput, now, slack);
  const bool mouseMissed = Missed(mouse, lastInput, now, slack);
  // An installed hook that saw the input proves it was of its kind.
  if ((keyboard.installed && !keyboardMissed) || (mouse.installed && !mouseMissed)) return {};
  return HookRenewal{keyboardMissed, mouseMissed};
}

}  // namespace zv
