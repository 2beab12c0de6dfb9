#!/usr/bin/env bash
# The browser window guard in a real session. Wine's ShellWindows is a stub,
# so the test registers its own in-process server for CLSID_ShellWindows
# (fake_shellwindows_install, tests/wine/agent/common.sh); it reports browsers
# whose address, title and window the test chooses, over windows and tabs
# opened by guard_windows.exe, which record the WM_CLOSE they receive.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/agent/common.sh"

ONLY_BROWSERS='-KeepAliveMillisec 0 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectIEToolbarCheat 0'
CONFIG=$SHELLWINDOWS_CONFIG

# session SECONDS EXCEPTIONS: one session with only the browser guard.
session() {
  : > "$WORK/zv browsers.txt"
  : > "$WORK/trace.txt"
  start_agent "-DebugLog 1 $ONLY_BROWSERS $2"
  sleep "$1"
  stop_agent 0.3  # requests still queued reach their windows
}
first_closes() { tr -d '\r' < "$WORK/zv browsers.txt" | grep '^close ' | head -n "$1" | tr '\n' '|'; }
# The log is narrow text in the system's code page: convert what we expect.
ansi() { printf '%s' "$1" | iconv -f UTF-8 -t "$LOG_CODESET//TRANSLIT" 2>/dev/null; }  # Wine writes ? for what the page lacks

set_browsers() {
  zv_reg delete 'HKCU\Software\ZvTest' /f
  local trace=${WORKW//\\/\\\\}\\\\trace.txt
  mapfile -t lines < <(echo "[$CONFIG]"; echo "\"Trace\"=\"$trace\""; "$@")
  import_reg "${lines[@]}"
}

fake_shellwindows_install
zv_expect_match "stand-in registered" "$(zv_reg_query "$SHELLWINDOWS_KEY" /ve)" 'zv_fake_shellwindows\.dll'

# Which narrow code page the agent's log uses here.
acp=$(zv_wine64 "$GW" -acp </dev/null 2>/dev/null | tr -d '\r')
LOG_CODESET=CP$acp
[ "$acp" = 65001 ] && LOG_CODESET=UTF-8
echo "# log code page: $LOG_CODESET"
zv_expect_match "the log's code page is known to iconv" "$(ansi '에서')" '.+'


# One browser window with the examination tab and a foreign tab, three other
# windows. Hidden: the browser guard does not look at visibility.
open_windows "$GW" "zv browsers" -keep \
  "exam browser:i:Online Exam - Windows Internet Explorer|news - Windows Internet Explorer" \
  "other browser:i" "folder window:" "portal browser:i:Exam Portal"

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
zv_expect "the examination tab, its window and the titled page are spared" "$(closes "zv browsers")" \
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
zv_expect "an empty token spares everything" "$(closes "zv browsers")" ""
zv_expect_match "the empty entry is found at 0" "$(agent_log)" '^DEBUG: checking ie  : \[HTTP://NEWS\.EXAMPLE/\].*\[\] .* 0$'
session 1.5 ''
zv_expect "no list spares everything too" "$(closes "zv browsers")" ""

# --- a failure on the third browser ---------------------------------------------
failing_set() {
  browser 0 "http://other.example/" "Other" "other browser"
  browser 1 "file:///C:/users/" "users" "folder window"
  browser 2 "http://news.example/" "News" "exam browser" '"Fail"="url"'
  browser 3 "http://portal.example/" "Portal" "portal browser"
}
set_browsers failing_set
session 1.5 '-ProtectExplorerExceptionList "http://exam.example/"'
zv_expect "the first two are still closed, the fourth is not" "$(closes "zv browsers")" "close folder window|close other browser|"
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
zv_expect "a failing count closes nothing" "$(closes "zv browsers")" ""
zv_expect_match "and is logged" "$(agent_log)" '^DEBUG: exception on ProtectInternetExplorer : .+'

zv_tool post "zv browsers" 0x10 0 0 >/dev/null
zv_reg delete 'HKCU\Software\ZvTest' /f
zv_wait_jobs

zv_summary
