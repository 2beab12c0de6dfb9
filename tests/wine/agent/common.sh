# Shared by the agent and guard scenarios (tests/wine/agent_*.sh, guard_*.sh):
# the real agent run as a session in the background, its log, windows of
# guard_windows.exe that record the WM_CLOSE they receive, and the
# ShellWindows stand-in. Sourced after tools/wine/harness.sh and zv_standalone.
AGENT=${AGENT:-$(zv_agent)}
GW=$ZV_BUILD64/tests/guard_windows.exe
LOGDIR=$ZV_DOCS/zaduze/log
TITLE=ZedudeVeri
WORK=$(mktemp -d)
WORKW=$(zv_winpath "$WORK")
zv_on_exit 'rm -rf "$WORK"'

# start_agent CMDLINE: runs a session agent in the background, in a fresh
# log folder; its exit code lands in $WORK/exit when it ends.
start_agent() {
  rm -rf "$LOGDIR"; mkdir -p "$LOGDIR"; rm -f "$WORK/exit"
  ( zv_exit "$AGENT" "$1" > "$WORK/exit" ) </dev/null &
  AGENT_JOB=$!
  zv_waitwin "$TITLE" 10 >/dev/null
}
# wait_agent_end SECONDS: waits for the background agent; prints its exit code or "running".
wait_agent_end() {
  local i
  for i in $(seq 1 $(($1 * 10))); do
    if ! kill -0 "$AGENT_JOB" 2>/dev/null; then wait "$AGENT_JOB"; cat "$WORK/exit"; return; fi
    sleep 0.1
  done
  echo running
}
# stop_agent [SECONDS]: the close message, then up to 10 s for the agent to
# end; then SECONDS more for requests still queued to reach their windows.
stop_agent() {
  zv_tool send "$TITLE" 0x448 9 72 >/dev/null
  wait_agent_end 10 >/dev/null
  wait "$AGENT_JOB" 2>/dev/null
  [ -n "${1:-}" ] && sleep "$1"
  return 0
}
# agent_log: the newest agent log, CR and time stamps dropped.
agent_log() { tr -d '\r' < "$(ls -1 "$LOGDIR"/*_app.log | tail -n 1)" | sed 's/^\[[0-9:.]*\] //'; }

# open_windows EXE NAME [-keep] [OPTIONS] LAYOUT...: EXE (guard_windows.exe or
# a copy) with a control window titled NAME, recording into $WORK/NAME.txt;
# returns once its windows exist (up to 15 s). Its job is $WINDOWS_JOB.
open_windows() {
  local exe=$1 name=$2
  shift 2
  ( zv_wine64 "$exe" -record "$WORKW\\$name.txt" -name "$name" "$@" ) </dev/null >/dev/null 2>&1 &
  WINDOWS_JOB=$!
  local i
  for i in $(seq 1 150); do grep -q ready "$WORK/$name.txt" 2>/dev/null && return; sleep 0.1; done
}
# closes NAME: the close requests the windows of NAME received, each once, sorted.
closes() { tr -d '\r' < "$WORK/$1.txt" | grep '^close ' | sort -u | tr '\n' '|'; }

# --- the ShellWindows stand-in -----------------------------------------------
# Wine's ShellWindows is a stub: fake_shellwindows_install registers the
# test's own in-process server (zv_fake_shellwindows.dll) for its class; it
# reports the browsers written below $SHELLWINDOWS_CONFIG. Wine's COM reads
# classes only from HKLM\Software\Classes, so the server replaces the
# prefix's own entry until the scenario exits.
SHELLWINDOWS_KEY='HKLM\Software\Classes\CLSID\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\InprocServer32'
SHELLWINDOWS_CONFIG='HKEY_CURRENT_USER\Software\ZvTest\ShellWindows'
fake_shellwindows_install() {
  SHELLWINDOWS_ORIGINAL=$(zv_reg_query "$SHELLWINDOWS_KEY" /ve | sed -n 's/^ *(Default) *REG_SZ *//p')
  zv_on_exit fake_shellwindows_remove
  zv_reg add "$SHELLWINDOWS_KEY" /ve /d "$(zv_winpath "$ZV_BUILD64/tests/win/guard/zv_fake_shellwindows.dll")" /f
}
fake_shellwindows_remove() {
  [ -n "$SHELLWINDOWS_ORIGINAL" ] && zv_reg add "$SHELLWINDOWS_KEY" /ve /d "$SHELLWINDOWS_ORIGINAL" /f
  zv_reg delete 'HKCU\Software\ZvTest' /f
  return 0
}
# import_reg LINES...: imports registry lines (REGEDIT4) in one call.
import_reg() {
  { echo "REGEDIT4"; echo; printf '%s\n' "$@"; } > "$WORK/config.reg"
  zv_wine64 regedit /S "$WORKW\\config.reg" </dev/null >/dev/null 2>&1
}
# browser INDEX URL TITLE WINDOW [EXTRA LINE...]: the stand-in's lines for
# one browser (its window is the top-level window titled WINDOW).
browser() {
  local lines=("[$SHELLWINDOWS_CONFIG\\$1]" "\"Url\"=\"$2\"" "\"Title\"=\"$3\"" "\"Window\"=\"$4\"")
  shift 4
  printf '%s\n' "${lines[@]}" "$@"
}
