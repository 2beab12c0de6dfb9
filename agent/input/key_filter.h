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

// The same text after `prefix`, into `out` (cut to `size` - 1 characters and
// terminated), without allocating: what a hook procedure may do. Returns the
// length written.
size_t FormatKeyEventLine(char* out, size_t size, const char* prefix, uint32_t flags, uint32_t vkCode,
                          uintptr_t wParam, uintptr_t lParam);

// --- hook watchdog ------------------------------------------------------------
//
// The system may remove a low-level hook without notice (on Windows after a
// few time-outs). The watchdog judges each hook by input of its own kind: the
// hook thread counts the calls of each procedure, and the raw input of each
// kind that the system reports to it. Input of the hook's kind that arrived
// while its procedure was not called means the hook is gone.
struct HookCounts {
  uint32_t calls = 0;  // calls of the hook procedure (wrapping)
  uint32_t input = 0;  // input events of its kind (wrapping)
};

// The last four looks at one hook, oldest first, one look per watchdog tick.
// The hook missed input when input of its kind arrived between the second
// and the third look (so by the previous look) and its procedure was not
// called from the first look to the last. The margin of one look on either
// side is for the order in which one event reaches both counters: normally
// the procedure is called first and its raw input counted just after (a look
// may fall in between), but a procedure that the system timed out is called
// after its event went on. Input that arrived since the previous look is
// judged at the next one.
bool MissedInput(const HookCounts (&looks)[4]);

// Pacing of renewals. A renewed hook whose procedure was not called since,
// while input of its kind keeps coming, was not helped by the renewal (input
// it cannot see, such as input to windows of a higher integrity level): each
// such renewal waits twice as long as the one before (from `firstWait` up to
// kMaxRenewalWait). A hook called since its renewal is renewed at once when
// it misses input again.
constexpr uint32_t kMaxRenewalWait = 64000;
struct RenewalPace {
  uint32_t callsAtRenewal = 0;  // the hook's call counter at its last renewal
  uint32_t renewedAt = 0;       // tick of its last renewal
  uint32_t wait = 0;            // 0: no renewal yet
};
bool RenewalDue(const RenewalPace& pace, uint32_t calls, uint32_t now);
void NoteRenewal(RenewalPace& pace, uint32_t calls, uint32_t now, uint32_t firstWait);

// One hook as the watchdog follows it from look to look.
class HookWatch {
 public:
  // At installation and after each renewal: only what comes later is judged.
  void Start(HookCounts now);
  // One look (a watchdog tick). True when the hook is to be renewed now: it
  // missed input, and the pacing allows a renewal.
  bool Look(HookCounts now, uint32_t tick);
  // After a renewal (or a failed attempt) at `tick`.
  void Renewed(HookCounts now, uint32_t tick, uint32_t firstWait);

 private:
  HookCounts looks_[4];
  int count_ = 0;
  RenewalPace pace_;
};

// --- heartbeat of the hook thread -------------------------------------------------
//
// The hook thread stamps a heartbeat on every turn of its loop (at least once
// per timer period); the user-interface thread looks at it once a second.
enum class HeartbeatNews { None, Stalled, Running };
// Stalled: once, when the last beat is older than `limit`; Running: once,
// when it beats again after that. `stalled` is the watcher's memory of it.
HeartbeatNews LookAtHeartbeat(uint32_t lastBeat, uint32_t now, uint32_t limit, bool& stalled);

}  // namespace zv
