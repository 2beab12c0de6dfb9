#!/usr/bin/env bash
# The application guard in a real session: foreign application windows are
# asked to close once a second (and again while they stay), excepted programs,
# browser frames and hidden, owned and tool windows are spared; copies of a
# black-listed program end one per tick. Also the toolbar walk on the agent's
# own view, and the guards' start and stop lines.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/agent/common.sh"

QUIET='-KeepAliveMillisec 0 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectExplorerCheat 0'
# Wine's tray is a top-level window of explorer.exe, visible while the agent
# shows its icon: excepted, as a real deployment lists the shell, so that the
# scenarios after this one still have a tray.
SHELL_OK='-ProtectAppExceptionList "explorer.exe"'

# --- closing and sparing ---------------------------------------------------
cp "$GW" "$WORK/exam_helper.exe"
# -keep: the windows only record; destroying windows under Wine without a
# window manager can block their program for two seconds.
open_windows "$GW" "zv foreign" -keep "cheat:v" "hidden:" "owned:vo" "tool:vt" "browser:vi" "owned app:voa"
open_windows "$GW" "zv stubborn" -keep "stubborn:v"
open_windows "$WORK/exam_helper.exe" "zv spared" -keep "helper:v" "helper 2:v"
( zv_wine64 notepad ) </dev/null >/dev/null 2>&1 &
notepad_title=""
for i in $(seq 1 100); do
  if zv_tool findwin "Untitled - Notepad" >/dev/null; then notepad_title="Untitled - Notepad"; break; fi
  sleep 0.1
done

start_agent "-DebugLog 1 $QUIET -ProtectIEToolbarCheat 0 -ProtectAppExceptionList \"exam_helper.exe,explorer.exe\""
sleep 2.6  # two ticks
stop_agent 0.3  # requests still queued reach their windows
zv_expect "the candidates are asked to close; hidden, owned, tool and IEFrame windows are not" \
  "$(closes "zv foreign")" "close cheat|close owned app|"
stubborn=$(grep -c '^close stubborn' "$WORK/zv stubborn.txt")
zv_expect_match "a window that stays is asked again on the next tick" "$stubborn" '^[2-3]$'
zv_expect "the excepted program (listed in lower case) is never asked" "$(closes "zv spared")" ""
if [ -n "$notepad_title" ]; then
  if zv_tool waitgone "$notepad_title" 5000; then zv_ok "Wine's notepad is closed"; else zv_fail "Wine's notepad is closed"; fi
else
  zv_fail "Wine's notepad opens"
fi
log=$(agent_log)
zv_expect_match "the close line names title and upper-case image" "$log" '^DEBUG: killed app : \[cheat\] \[GUARD_WINDOWS\.EXE\]$'
zv_expect_match "notepad's close line" "$log" '^DEBUG: killed app : \[Untitled - Notepad\] \[NOTEPAD\.EXE\]$'
zv_expect "one line per request" "$(echo "$log" | grep -c '^DEBUG: killed app : \[stubborn\] ')" "$stubborn"
zv_expect "no line for spared windows" "$(echo "$log" | grep -c -E 'killed app : \[(helper|hidden|owned|tool|browser)\]')" "0"
zv_expect "start line once the session starts" "$(echo "$log" | grep -c '^INFO: ProtectAppCheatStart OK$')" "1"
zv_expect "stop sequence: both guards stop before the end" "$(echo "$log" | tail -n 3 | tr '\n' '|')" \
  "INFO: ProtectAppCheatStop OK|INFO: ProtectExplorerCheatStop OK|INFO: ZedudeVeri stopped|"
for name in "zv foreign" "zv stubborn" "zv spared"; do zv_tool post "$name" 0x10 0 0 >/dev/null; done

# --- without -ProtectAppCheat nothing is closed -------------------------------
open_windows "$GW" "zv idle" -keep "idle:v"
start_agent "-DebugLog 1 $QUIET -ProtectIEToolbarCheat 0 -ProtectAppCheat 0"
sleep 1.5
stop_agent
zv_expect "-ProtectAppCheat 0: no request, no start line, the stop line still" \
  "$(closes "zv idle")/$(agent_log | grep -c ProtectAppCheatStart)/$(agent_log | grep -c ProtectAppCheatStop)" "/0/1"
zv_tool post "zv idle" 0x10 0 0 >/dev/null

# --- black-listed copies end one per tick -----------------------------------
cp "$GW" "$WORK/zvblack.exe"
open_windows "$WORK/zvblack.exe" "zv black 1"
open_windows "$WORK/zvblack.exe" "zv black 2"
zv_expect "two copies of the black-listed program run" "$(zv_count_image zvblack.exe)" "2"
start_agent "-DebugLog 1 $QUIET -ProtectIEToolbarCheat 0 -ProtectAppCheat 1 $SHELL_OK -ProtectAppBlackList \"other.exe,ZvBlack.exe\""
series=""
start=$(date +%s%N)
one_at=""
zero_at=""
for i in $(seq 1 40); do
  n=$(zv_count_image zvblack.exe)
  series="$series$n "
  now=$((($(date +%s%N) - start) / 1000000))
  [ "$n" = 1 ] && [ -z "$one_at" ] && one_at=$now
  [ "$n" = 0 ] && { zero_at=$now; break; }
  sleep 0.1
done
stop_agent
echo "# copies running, sampled: $series(one left at ${one_at} ms, none at ${zero_at} ms)"
zv_expect_match "both copies end" "$series" ' ?0 $'
zv_expect_match "one copy ends per tick: a single copy runs in between" "$series" '^(2 )*(1 )+0 $'
if [ -n "$one_at" ] && [ -n "$zero_at" ] && [ $((zero_at - one_at)) -ge 500 ]; then
  zv_ok "the second copy ends about a tick after the first"
else
  zv_fail "the second copy ends about a tick after the first" "one left at $one_at ms, none at $zero_at ms"
fi
zv_expect "nothing is logged for the black list" "$(agent_log | grep -v 'exec option' | grep -i -E 'zvblack|killed')" ""

# --- the toolbar walk on the agent's own view ---------------------------------
start_agent "-DebugLog 1 $QUIET -ProtectIEToolbarCheat 1 $SHELL_OK"
children=$(zv_wine64 "$GW" -children "$TITLE" </dev/null 2>/dev/null | tr -d '\r' | tr '\n' '|')
zv_expect "the toolbar walk disables the agent's view" "$children" "ZedudeVeriView disabled|"
open_windows "$GW" "zv late" -keep "late:v"
sleep 1.5
zv_expect_match "a disabled view still runs the guard" "$(closes "zv late")" '^close late\|'
stop_agent
start_agent "-DebugLog 1 $QUIET -ProtectIEToolbarCheat 0 -ProtectAppCheat 0"
children=$(zv_wine64 "$GW" -children "$TITLE" </dev/null 2>/dev/null | tr -d '\r' | tr '\n' '|')
zv_expect "without the walk the view stays enabled" "$children" "ZedudeVeriView enabled|"
stop_agent
zv_tool post "zv late" 0x10 0 0 >/dev/null
zv_wait_jobs

zv_summary
