// Decisions of the keyboard and mouse filters, free of Windows types so they
// can be tested natively. The hook procedures only gather the event and act.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace zv {

constexpr uint32_t kLlkhfAltDown = 0x20;  // LLKHF_ALTDOWN
constexpr uint32_t kWmRButtonDown = 0x0204;
constexpr uint32_t kWmRButtonUp = 0x0205;

enum class HookDecision { PassOnSilently, Swallow, PassOn };

// Keyboard: code other than HC_ACTION (0) passes silently; otherwise the
// Alt bit of the flags chooses the set, a hit swallows, a miss passes (both
// logged). Key-up/down and injected events are treated alike.
HookDecision DecideKeyEvent(int code, uint32_t flags, uint32_t vkCode, const std::set<int32_t>& altKeys,
                            const std::set<int32_t>& keys);

// Mouse: the right button's press and release are swallowed, everything else
// passes silently.
HookDecision DecideMouseEvent(int code, uintptr_t wParam);

// "flag: 0x%2x, vkCode: 0x%2x, (code:%x, wParam:%x, lParam:%x)" with the code
// always 0 and the lParam pointer's value in lower-case hex.
std::string FormatKeyEventText(uint32_t flags, uint32_t vkCode, uintptr_t wParam, uintptr_t lParam);

// --- hook watchdog ------------------------------------------------------------
//
// The system may remove a low-level hook without notice (on Windows after a
// few time-outs). Each hook procedure records the tick of its last call; the
// watchdog compares it with the tick of the last input the system saw. Input
// that no installed hook has seen, for longer than `slack`, means a hook is
// gone. Only the hooks whose own last call is older than that input are
// renewed: with both filters on, the mouse hook sees what the keyboard hook
// cannot, so a live one is never taken for a dead one.
struct WatchedHook {
  bool installed = false;
  uint32_t lastCall = 0;  // tick of the last call (or of its installation)
};

struct HookRenewal {
  bool keyboard = false;
  bool mouse = false;
  bool operator==(const HookRenewal& other) const { return keyboard == other.keyboard && mouse == other.mouse; }
};

// Pacing of renewals. A hook renewed and not called since may be alive and
// merely see no input of its kind (the keyboard hook while only the mouse
// moves, when the mouse filter is off): each such renewal waits twice as long
// as the one before (from `firstWait` up to kMaxRenewalWait). A hook that was
// called since its renewal is renewed at once when it misses input again.
constexpr uint32_t kMaxRenewalWait = 64000;
struct RenewalPace {
  uint32_t renewedAt = 0;  // the hook's last-call tick as set by its renewal
  uint32_t wait = 0;       // 0: no renewal yet
};
bool RenewalDue(const RenewalPace& pace, uint32_t lastCall, uint32_t now);
// Records a renewal at `now`; `lastCall` is the hook's tick before it.
void NoteRenewal(RenewalPace& pace, uint32_t lastCall, uint32_t now, uint32_t firstWait);

// Ticks are compared in wrapping 32-bit arithmetic.
HookRenewal HooksToRenew(WatchedHook keyboard, WatchedHook mouse, uint32_t lastInput, uint32_t now, uint32_t slack);

}  // namespace zv
