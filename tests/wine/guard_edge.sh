#!/usr/bin/env bash
# The exam in Edge's Internet Explorer mode. Edge's frame (class
# "Chrome_WidgetWin_1") is a top-level window of msedge.exe, and the page,
# where the control lives, is its child in another process. edge_standin.exe
# plays Edge with two such windows in one process, recording the WM_CLOSE
# they receive; the test container puts its page into the first one
# (--parent). The guard must never close or count the window that holds the
# exam, and must close the browser's other windows like any program's; a
# page in an Internet Explorer frame keeps today's command lines byte for
# byte; a window handle that no longer names the page spares nothing.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/agent/common.sh"
source "$(dirname "$0")/control/common.sh"

EDGE=$ZV_BUILD64/tests/edge_standin.exe
EDGE_NAME="zv edge standin"
# Wine's tray belongs to explorer.exe: excepted, as a deployment lists the
# shell. The exception list does not name the stand-in.
SHELL_OK='-ProtectAppExceptionList "explorer.exe"'
ONLY_APPS='-KeepAliveMillisec 0 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectExplorerCheat 0 -ProtectIEToolbarCheat 0'

# open_edge: a fresh stand-in recording into $WORK/edge.txt; sets FRAME1,
# FRAME2 and PAGE (its own page window, inside FRAME1).
open_edge() {
  rm -f "$WORK/edge.txt"
  ( zv_wine64 "$EDGE" -record "$WORKW\\edge.txt" -name "$EDGE_NAME" ) </dev/null >/dev/null 2>&1 &
  EDGE_JOB=$!
  local i
  for i in $(seq 1 150); do grep -q '^ready' "$WORK/edge.txt" 2>/dev/null && break; sleep 0.1; done
  read -r _ FRAME1 FRAME2 PAGE < <(tr -d '\r' < "$WORK/edge.txt" | grep '^ready')
}
close_edge() { zv_tool post "$EDGE_NAME" 0x10 0 0 >/dev/null; wait "$EDGE_JOB" 2>/dev/null; }
# edge_command MSG [WPARAM]: one of the stand-in's commands (WM_USER+n).
edge_command() { zv_tool post "$EDGE_NAME" "$1" "${2:-0}" 0 >/dev/null; }
# phase_closes N: the windows asked to close after "mark N" up to the next
# command, each once, sorted.
phase_closes() {
  tr -d '\r' < "$WORK/edge.txt" | awk -v m="mark $1" '$0 == m {on=1; next} !/^close / {on=0} on {print}' |
    sort -u | tr '\n' '|'
}
killed_titles() { grep -o '^DEBUG: killed app : \[[^]]*\]' | sort -u | sed 's/^DEBUG: killed app : //' | tr '\n' '|'; }

ctl_register64
# A stand-in left open by a scenario cut short would be a foreign window to the next one.
zv_on_exit 'ctl_set_path ""; ctl_unregister64; [ -n "${EDGE_JOB:-}" ] && kill -0 "$EDGE_JOB" 2>/dev/null && close_edge'
EXAM=$WORK/edge-exam.html
ctl_page "$EXAM" "DebugLog=1" "WebSandboxMode=0" "AppNotification=0" "ProtectKeyCheat=0" "ProtectMouseCheat=0" \
  "ProtectExplorerCheat=0" "ProtectIEToolbarCheat=0" "ProtectAppExceptionList=explorer.exe" "KeepAliveMillisec=1000"

# --- the control and the real agent in the Edge stand-in -----------------------
open_edge
ctl_set_path "$ZV_BUILD64/agent/res"
rm -rf "$LOGDIR"; mkdir -p "$LOGDIR"
# A second between the count and the session: each agent's log is named by
# its start second, and a later one of the same second would replace it.
out=$(ctl_container "$EXAM" --parent "$FRAME1" "GetCheatAppCount()" "sleep 1100" "StartZaduzeApp()" "sleep 2600" \
  "StopZaduzeApp()")
zv_tool waitgone ZedudeVeri 3000 >/dev/null
sleep 0.3  # requests still queued reach their windows
zv_expect_match "Edge: the session starts" "$out" '^StartZaduzeApp\(\) -> 0$'
zv_expect "Edge: the exam's frame is never asked to close, the browser's second window is" \
  "$(closes edge)" "close zv edge 2|"
session_log=$(cat $(grep -l 'exec option : -WebSandboxMode' "$LOGDIR"/*_app.log) 2>/dev/null | tr -d '\r' |
  sed 's/^\[[0-9:.]*\] //')
count_log=$(cat $(grep -l 'QueryCheatApp 1' "$LOGDIR"/*_app.log) 2>/dev/null | tr -d '\r' | sed 's/^\[[0-9:.]*\] //')
zv_expect "Edge: the session finds the frame that holds the page" \
  "$(echo "$session_log" | grep '^INFO: exam frame')" "INFO: exam frame : [Chrome_WidgetWin_1] [EDGE_STANDIN.EXE]"
zv_expect "Edge: so does the count" \
  "$(echo "$count_log" | grep '^INFO: exam frame')" "INFO: exam frame : [Chrome_WidgetWin_1] [EDGE_STANDIN.EXE]"
count=$(echo "$out" | sed -n 's/^GetCheatAppCount() -> //p')
killed=$(echo "$session_log" | killed_titles)
zv_expect "Edge: the guard closes the second window only" "$killed" "[zv edge 2]|"
zv_expect "Edge: the count is what the guard acts on" "$count" "$(echo -n "$killed" | tr '|' '\n' | grep -c .)"
close_edge

# --- the command lines, read by the recording stand-in agent -------------------
ctl_install_recorder
SESSION='-WebSandboxMode 0 -ProtectKeyCheat 0 -ProtectKeyList "" -ProtectMouseCheat 0 -ProtectAppCheat 1 -ProtectAppExceptionList "explorer.exe" -ProtectAppBlackList "" -KeepAliveMillisec 1000 -ProtectExplorerCheat 0 -ProtectExplorerExceptionList "" -ProtectIEToolbarCheat 0 -DebugLog 1 -DebugSandbox 0'
COUNT='-ProtectAppExceptionList "explorer.exe" -ProtectAppBlackList "" -ProtectExplorerExceptionList "" -DebugLog 1 -QueryCheatApp 1'
ctl_container "$EXAM" "GetCheatAppCount()" "StartZaduzeApp()" "sleep 700" "StopZaduzeApp()" >/dev/null
zv_expect "IEFrame: today's count and session lines, byte for byte" "$(ctl_calls | awk '!seen[$0]++' | tr '\n' '|')" \
  "-RegistrySetLoose 1 -DebugLog 1|$COUNT|$SESSION|"
ctl_clear_records
open_edge
( ctl_container "$EXAM" --parent "$FRAME1" "GetCheatAppCount()" "StartZaduzeApp()" "sleep 3000" "StopZaduzeApp()" \
  >/dev/null ) &
container=$!
for i in $(seq 1 100); do ctl_calls | grep -q -- '^-WebSandboxMode' && break; sleep 0.1; done
value=$(ctl_calls | sed -n 's/^-WebSandboxMode.* -ExamPageWindow \([0-9]*\)$/\1/p')
root=$(zv_wine64 "$EDGE" -root "$value" </dev/null 2>/dev/null | tr -d '\r')
wait "$container"
# (A tick that does not find the stand-in's window yet starts it again, with the same line.)
zv_expect "Edge: the same lines, with the control's window appended to both" "$(ctl_calls | awk '!seen[$0]++' | tr '\n' '|')" \
  "-RegistrySetLoose 1 -DebugLog 1|$COUNT -ExamPageWindow $value|$SESSION -ExamPageWindow $value|"
zv_expect "Edge: that window's top-level window is the Edge frame" "$root" "$FRAME1"
close_edge

# --- the agent alone: the page moves, then its window closes -------------------
open_edge
start_agent "-DebugLog 1 $ONLY_APPS $SHELL_OK -ExamPageWindow $PAGE"
edge_command 0x403 1
sleep 2.2
edge_command 0x401        # the page moves into the second window
sleep 1.3
edge_command 0x403 2
sleep 2.2
edge_command 0x402        # the window that holds the page closes, another opens
sleep 1.3
edge_command 0x403 3
sleep 2.2
stop_agent 0.3
zv_expect "the frame that holds the page is spared" "$(phase_closes 1)" "close zv edge 2|"
zv_expect "a page moved to another window takes the sparing with it" "$(phase_closes 2)" "close zv edge 1|"
zv_expect "a handle that names no window any more spares nothing" "$(phase_closes 3)" "close zv edge 1|close zv edge 3|"
zv_expect "the agent logged the frame it found at start" "$(agent_log | grep '^INFO: exam frame')" \
  "INFO: exam frame : [Chrome_WidgetWin_1] [EDGE_STANDIN.EXE]"
rm -rf "$LOGDIR"; mkdir -p "$LOGDIR"
zv_expect "the count with that handle agrees: both windows" \
  "$(zv_exit "$AGENT" "$SHELL_OK -DebugLog 1 -QueryCheatApp 1 -ExamPageWindow $PAGE")" "2"
zv_expect "the count says the page's window was not found" "$(agent_log | grep '^INFO: exam frame')" \
  "INFO: exam frame : none, page window $PAGE not found"
close_edge

# --- the browser window guard: a foreign page shown in the exam's frame --------
fake_shellwindows_install
open_edge
zv_reg delete 'HKCU\Software\ZvTest' /f
import_reg "[$SHELLWINDOWS_CONFIG]" "$(browser 0 "http://news.example/" "News" "zv edge 1")" \
  "$(browser 1 "http://other.example/" "Other" "zv edge 2")" "$(browser 2 "http://exam.example/q1" "Exam" "zv edge 1")"
start_agent "-DebugLog 1 -KeepAliveMillisec 0 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectIEToolbarCheat 0 -ProtectExplorerExceptionList \"http://exam.example/\" -ExamPageWindow $PAGE"
sleep 1.5
stop_agent 0.3
zv_expect "browsers: the exam's frame is kept, a foreign browser window is closed" "$(closes edge)" "close zv edge 2|"
zv_expect "browsers: one line per browser chosen or kept" \
  "$(agent_log | grep -E '^DEBUG: (killed ie|kept exam frame)' | sort -u | tr '\n' '|')" \
  "DEBUG: kept exam frame : [NEWS] [HTTP://NEWS.EXAMPLE/]|DEBUG: killed ie  : [OTHER] [HTTP://OTHER.EXAMPLE/]|"
close_edge
zv_wait_jobs

zv_summary
