#!/usr/bin/env bash
# The count command through the real agent: -QueryCheatApp ends with the
# number of windows that the close rule selects (windows, not programs), and
# closes nothing.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/agent/common.sh"

count() { zv_exit "$AGENT" "-QueryCheatApp 1 $1"; }
close_windows() { zv_tool post "$1" 0x10 0 0 >/dev/null; zv_tool waitgone "$1" 5000 >/dev/null; }

base=$(count '')
# Other windows of the prefix, if any, are counted too; everything below is
# measured on top of them.
zv_expect_match "count without foreign windows is a number" "$base" '^[0-9]+$'
echo "# windows of the prefix itself: $base"

open_windows "$GW" "zv count one" -keep "cheat 1:v" "cheat 2:v" "cheat 3:v"
zv_expect "three windows of one program count 3" "$(count '')" "$((base + 3))"

open_windows "$GW" "zv count styles" -keep "hidden:" "owned:vo" "tool:vt" "browser:vi" "hidden app:a" "tool app:vta" "owned app:voa"
zv_expect "hidden, owned, tool and IEFrame windows are not counted; WS_EX_APPWINDOW ones are" \
  "$(count '')" "$((base + 5))"
zv_expect "the program's image name in lower case spares all its windows" \
  "$(count '-ProtectAppExceptionList "guard_windows.exe"')" "$base"
zv_expect "an entry with blanks around it spares nothing" \
  "$(count '-ProtectAppExceptionList " guard_windows.exe,other.exe"')" "$((base + 5))"
zv_expect "an entry with a path spares nothing" \
  "$(count '-ProtectAppExceptionList "C:\\tests\\guard_windows.exe"')" "$((base + 5))"
zv_expect "the black list does not change the count" \
  "$(count '-ProtectAppBlackList "guard_windows.exe"')" "$((base + 5))"

( zv_wine64 notepad ) </dev/null >/dev/null 2>&1 &
notepad_title=""
for i in $(seq 1 100); do
  for t in "Untitled - Notepad" "제목 없음 - 메모장"; do
    if zv_tool findwin "$t" >/dev/null; then notepad_title=$t; break 2; fi
  done
  sleep 0.1
done
if [ -z "$notepad_title" ]; then
  zv_fail "Wine's notepad opens"
else
  zv_expect "Wine's notepad adds one" "$(count '')" "$((base + 6))"
  zv_expect "notepad.exe in the list spares it" "$(count '-ProtectAppExceptionList "notepad.exe"')" "$((base + 5))"
  zv_expect "both names in the list" "$(count '-ProtectAppExceptionList "NOTEPAD.EXE,Guard_Windows.exe"')" "$base"
  zv_tool post "$notepad_title" 0x10 0 0 >/dev/null
  zv_tool waitgone "$notepad_title" 5000 >/dev/null
fi

rm -rf "$LOGDIR"
count '-DebugLog 1' >/dev/null
zv_expect "counting writes no line of its own" "$(agent_log | cut -d: -f1-2 | tr '\n' '|')" \
  "INFO: ZedudeVeri started|INFO: exec option |"

zv_expect "counting posts no WM_CLOSE" "$(cat "$WORK"/*.txt | grep -c '^close')" "0"
close_windows "zv count one"
close_windows "zv count styles"
zv_expect "with the windows gone the count is back" "$(count '')" "$base"
zv_wait_jobs

zv_summary
