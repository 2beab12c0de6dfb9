#!/usr/bin/env bash
# Keystroke latency through the agent while its guards are busy: 200
# application windows to close (they stay), a black list of five names, three
# foreign browser windows reported by the ShellWindows stand-in (see
# guard_browser.sh), the agent with every filter and the log on. key_latency
# injects keys into its own window and prints the longest and the median wait.
# A lean check with a generous bound (the machines are noisy); the figures go
# to ./run bench through tests/wine/bench/latency_bench.sh (LATENCY_KEYS keys).
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
AGENT=${LATENCY_AGENT:-$(zv_agent)}  # another build's agent, for comparison
source "$(dirname "$0")/agent/common.sh"
KL="$ZV_BUILD64/tests/key_latency.exe"
KEYS=${LATENCY_KEYS:-100}
WINDOWS_JOB= AGENT_JOB=
cleanup() {
  zv_tool send ZedudeVeri 0x448 9 72 >/dev/null 2>&1
  zv_tool post "zv latency windows" 0x10 0 0 >/dev/null 2>&1
  local job i
  for job in $WINDOWS_JOB $AGENT_JOB; do  # not a bare `wait`: the harness's Xvfb may be our job too
    for i in $(seq 1 100); do kill -0 "$job" 2>/dev/null || break; sleep 0.1; done
  done
}
zv_on_exit cleanup

# The browser stand-in: three foreign browsers over hidden windows.
fake_shellwindows_install
mapfile -t lines < <(echo "[$SHELLWINDOWS_CONFIG]"
  for i in 0 1 2; do browser "$i" "http://site$i.example/" "Site $i" "latency browser $i"; done)
import_reg "${lines[@]}"

# 200 application windows and the three browser windows; all stay on WM_CLOSE.
open_windows "$GW" "zv latency windows" -keep -life 120000 -bench 200 \
  "latency browser 0:i" "latency browser 1:i" "latency browser 2:i"

start_agent '-DebugLog 1 -KeepAliveMillisec 0 -ProtectIEToolbarCheat 0 -ProtectKeyList "ALT+TAB,CTRL,F1~F12" -ProtectAppExceptionList "KEY_LATENCY.EXE,ZVTOOL.EXE" -ProtectAppBlackList "no1.exe,no2.exe,no3.exe,no4.exe,no5.exe" -ProtectExplorerExceptionList "http://exam.example/"'
sleep 2.5  # the guards' first passes

result=$(zv_wine64 "$KL" "$KEYS" 20 </dev/null 2>/dev/null | tr -d '\r')
echo "# $result (200 windows, black list of 5, 3 browsers)"
log=$(agent_log)
zv_expect_match "the guards were busy meanwhile (a pass over 200 windows, the browsers)" \
  "$(echo "$log" | grep -c 'killed app : \[bench window')/$(echo "$log" | grep -c 'killed ie')" '^([2-9][0-9][0-9]|[0-9]{4,})/([3-9]|[0-9]{2,})$'
zv_expect_match "every key arrived and passed the agent's filter" "$result/$(echo "$log" | grep -c 'Key Event unblocked : flag: 0x.0, vkCode: 0x41')" \
  "^keys $KEYS received $KEYS: .*/$((KEYS * 2))\$"
longest=$(echo "$result" | sed -n 's/.*longest \([0-9.]*\) ms.*/\1/p')
zv_expect "the longest wait is well under 250 ms (${longest:-none} ms)" \
  "$(awk -v l="${longest:-999999}" 'BEGIN { print (l < 250) ? "yes" : "no" }')" "yes"

zv_summary
