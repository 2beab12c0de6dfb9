#!/usr/bin/env bash
# The browser window guard in a real session. Wine's ShellWindows is a stub,
# so the test registers its own in-process server for CLSID_ShellWindows
# (zv_fake_shellwindows.dll); it reports browsers whose address, title and
# window the test chooses, over windows and tabs opened by guard_windows.exe,
# which record the WM_CLOSE they receive. Wine's COM reads classes only from
# HKLM\Software\Classes (a per-user registration under HKCU is ignored), so
# the server replaces the prefix's own entry for the time of the test.
source "$(dirname "$0")/../../tools/wine/harness.sh"

AGENT=$(zv_agent)
GW="$ZV_BUILD64/tests/guard_windows.exe"
DLL="$ZV_BUILD64/tests/win/guard/zv_fake_shellwindows.dll"
LOGDIR="$ZV_DOCS/zaduze/log"
WORK=$(mktemp -d)
WORKW=$(zv_winpath "$WORK")
CLASSKEY='HKLM\Software\Classes\CLSID\{9BA05972-F6A8-11CF-A442-00A0C90A8F39}\InprocServer32'
original=$(zv_reg_query "$CLASSKEY" /ve | sed -n 's/^ *(Default) *REG_SZ *//p')
restore() {
  [ -n "$original" ] && zv_wine64 reg add "$CLASSKEY" /ve /d "$original" /f </dev/null >/dev/null 2>&1
  rm -rf "$WORK"
}
trap restore EXIT
TITLE=ZedudeVeri
ONLY_BROWSERS='-KeepAliveMillisec 0 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectIEToolbarCheat 0'
CONFIG='HKEY_CURRENT_USER\Software\ZvTest\ShellWindows'

start_agent() {
  rm -rf "$LOGDIR"; mkdir -p "$LOGDIR"
  ( zv_exit "$AGENT" "$1" > /dev/null ) </dev/null &
  AGENT_JOB=$!
  zv_waitwin "$TITLE" 10 >/dev/null
}
stop_agent() {
  zv_tool send "$TITLE" 0x448 9 72 >/dev/null
  local i
  for i in $(seq 1 100); do kill -0 "$AGENT_JOB" 2>/dev/null || break; sleep 0.1; done
  wait "$AGENT_JOB" 2>/dev/null
  sleep 0.3  # requests still queued reach their windows
}
# session SECONDS EXCEPTIONS: one session with only the browser guard.
session() {
  : > "$WORK/browsers.txt"
  : > "$WORK/trace.txt"
  start_agent "-DebugLog 1 $ONLY_BROWSERS $2"
  sleep "$1"
  stop_agent
}
agent_log() { tr -d '\r' < "$(ls -1 "$LOGDIR"/*_app.log | tail -n 1)" | sed 's/^\[[0-9:.]*\] //'; }
closes() { tr -d '\r' < "$WORK/browsers.txt" | grep '^close ' | sort -u | tr '\n' '|'; }
first_closes() { tr -d '\r' < "$WORK/browsers.txt" | grep '^close ' | head -n "$1" | tr '\n' '|'; }
# The log is narrow text in the system's code page: convert what we expect.
ansi() { printf '%s' "$1" | iconv -f UTF-8 -t "$LOG_CODESET//TRANSLIT" 2>/dev/null; }  # Wine writes ? for what the page lacks

# regfile LINES...: imports registry lines (REGEDIT4) in one call.
import_reg() {
  { echo "REGEDIT4"; echo; printf '%s\n' "$@"; } > "$WORK/config.reg"
  zv_wine64 regedit /S "$WORKW\\config.reg" </dev/null >/dev/null 2>&1
}
# browser INDEX URL TITLE WINDOW [EXTRA LINE...]
browser() {
  local lines=("[$CONFIG\\$1]" "\"Url\"=\"$2\"" "\"Title\"=\"$3\"" "\"Window\"=\"$4\"")
  shift 4
  printf '%s\n' "${lines[@]}" "$@"
}
set_browsers() {
  zv_wine64 reg delete 'HKCU\Software\ZvTest' /f </dev/null >/dev/null 2>&1
  local trace=${WORKW//\\/\\\\}\\\\trace.txt
  mapfile -t lines < <(echo "[$CONFIG]"; echo "\"Trace\"=\"$trace\""; "$@")
  import_reg "${lines[@]}"
}

zv_wine64 reg add "$CLASSKEY" /ve /d "$(zv_winpath "$DLL")" /f </dev/null >/dev/null 2>&1
zv_expect_match "stand-in registered" "$(zv_reg_query "$CLASSKEY" /ve)" 'zv_fake_shellwindows\.dll'

# Which narrow code page the agent's log uses here.
acp=$(zv_wine64 "$GW" -acp </dev/null 2>/dev/null | tr -d '\r')
LOG_CODESET=CP$acp
[ "$acp" = 65001 ] && LOG_CODESET=UTF-8
echo "# log code page: $LOG_CODESET"
zv_expect_match "the log's code page is known to iconv" "$(ansi '에서')" '.+'


# One browser window with the examination tab and a foreign tab, three other
# windows. Hidden: the browser guard does not look at visibility.
( zv_wine64 "$GW" -record "$WORKW\\browsers.txt" -name "zv browsers" -keep \
  "exam browser:i:Online Exam - Windows Internet Explorer|news - Windows Internet Explorer" \
  "other browser:i" "folder window:" "portal browser:i:Exam Portal" ) </dev/null >/dev/null 2>&1 &
for i in $(seq 1 100); do grep -q ready "$WORK/browsers.txt" 2>/dev/null && break; sleep 0.1; done

# --- addresses, titles, tabs ---------------------------------------------------
exam_set() {
  browser 0 "http://exam.example/test/q1" "Online Exam" "exam browser"
  browser 1 "http://news.example/" "News" "exam browser"
  browser 2 "http://other.example/?from=http://exam.example/" "Other" "other browser"
  echo "[$CONFIG\\3]"; echo '"Kind"="missing"'
  echo "[$CONFIG\\4]"; echo '"Kind"="other"'
  browser 5 "file:///C:/users/" "users" "folder window"
  browser 6 "http://portal.example/" "exam portal" "portal browser"
}
set_browsers exam_set
session 1.5 '-ProtectExplorerExceptionList "http://exam.example/,Exam Portal"'
zv_expect "a foreign tab is closed as a tab, foreign windows whole, in the order chosen" \
  "$(first_closes 3)" "close news - Windows Internet Explorer|close other browser|close folder window|"
zv_expect "the examination tab, its window and the titled page are spared" "$(closes)" \
  "close folder window|close news - Windows Internet Explorer|close other browser|"
log=$(agent_log)
pass=$(echo "$log" | grep -E '^DEBUG: (checking|killed) ie' | awk '/killed ie  : \[USERS\]/ {print; exit} {print}')
expected=$(ansi "DEBUG: checking ie  : [HTTP://EXAM.EXAMPLE/TEST/Q1]에서  [EXAM PORTAL] 검색 -1
DEBUG: checking ie  : [HTTP://EXAM.EXAMPLE/TEST/Q1]에서  [HTTP://EXAM.EXAMPLE/] 검색 0
DEBUG: checking ie  : [HTTP://NEWS.EXAMPLE/]에서  [EXAM PORTAL] 검색 -1
DEBUG: checking ie  : [HTTP://NEWS.EXAMPLE/]에서  [HTTP://EXAM.EXAMPLE/] 검색 -1
DEBUG: killed ie  : [NEWS] [HTTP://NEWS.EXAMPLE/]
DEBUG: checking ie  : [HTTP://OTHER.EXAMPLE/?FROM=HTTP://EXAM.EXAMPLE/]에서  [EXAM PORTAL] 검색 -1
DEBUG: checking ie  : [HTTP://OTHER.EXAMPLE/?FROM=HTTP://EXAM.EXAMPLE/]에서  [HTTP://EXAM.EXAMPLE/] 검색 27
DEBUG: killed ie  : [OTHER] [HTTP://OTHER.EXAMPLE/?FROM=HTTP://EXAM.EXAMPLE/]
DEBUG: checking ie  : [FILE:///C:/USERS/]에서  [EXAM PORTAL] 검색 -1
DEBUG: checking ie  : [FILE:///C:/USERS/]에서  [HTTP://EXAM.EXAMPLE/] 검색 -1
DEBUG: killed ie  : [USERS] [FILE:///C:/USERS/]")
zv_expect "one pass: a line per entry tested (both separators), a line per window chosen" "$pass" "$expected"
zv_expect "the guard's start and stop lines" \
  "$(echo "$log" | grep -c -x -E 'INFO: ProtectExplorerCheat(Start|Stop) OK')/$(echo "$log" | tail -n 2 | head -n 1)" \
  "2/INFO: ProtectExplorerCheatStop OK"
zv_expect "no error line" "$(echo "$log" | grep -c 'exception on')" "0"

# --- an empty list (or an empty token) spares every browser ---------------------
session 1.5 '-ProtectExplorerExceptionList "http://elsewhere.example/,"'
zv_expect "an empty token spares everything" "$(closes)" ""
zv_expect_match "the empty entry is found at 0" "$(agent_log)" '^DEBUG: checking ie  : \[HTTP://NEWS\.EXAMPLE/\].*\[\] .* 0$'
session 1.5 ''
zv_expect "no list spares everything too" "$(closes)" ""

# --- a failure on the third browser ---------------------------------------------
failing_set() {
  browser 0 "http://other.example/" "Other" "other browser"
  browser 1 "file:///C:/users/" "users" "folder window"
  browser 2 "http://news.example/" "News" "exam browser" '"Fail"="url"'
  browser 3 "http://portal.example/" "Portal" "portal browser"
}
set_browsers failing_set
session 1.5 '-ProtectExplorerExceptionList "http://exam.example/"'
zv_expect "the first two are still closed, the fourth is not" "$(closes)" "close folder window|close other browser|"
zv_expect "the fourth browser is not even read" "$(tr -d '\r' < "$WORK/trace.txt" | sort -u | tr '\n' ' ')" "url 0 url 1 url 2 "
errors=$(agent_log | grep '^DEBUG: exception on ProtectInternetExplorer : ' | sort -u)
zv_expect_match "the error line carries the system's message for E_FAIL (no fallback, no line break)" \
  "$(echo "$errors" | grep -v -E ': (Unknown error|IDispatch error)')" '^DEBUG: exception on ProtectInternetExplorer : [A-Z].*[^ ]$'
zv_expect "one error line per tick, always the same" "$(echo "$errors" | wc -l)" "1"
echo "# error line: $errors"

# --- the count fails: nothing at all, the error line -----------------------------
count_fails() { echo "[$CONFIG]"; echo '"CountFail"=dword:80004001'; browser 0 "http://news.example/" "News" "other browser"; }
set_browsers count_fails
session 1.5 '-ProtectExplorerExceptionList "http://exam.example/"'
zv_expect "a failing count closes nothing" "$(closes)" ""
zv_expect_match "and is logged" "$(agent_log)" '^DEBUG: exception on ProtectInternetExplorer : .+'

zv_tool post "zv browsers" 0x10 0 0 >/dev/null
zv_wine64 reg delete 'HKCU\Software\ZvTest' /f </dev/null >/dev/null 2>&1
wait

zv_summary
