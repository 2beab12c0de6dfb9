#!/usr/bin/env bash
# The browser's settings come back exactly, whatever happens to the exam: the
# real control in the test container with the real agent. The two saved
# subtrees are seeded with every value type and with names and data holding
# & " < > ', line breaks and Korean text; each row plays an exam with a fault,
# lets the recovery run (the next page, or a logon through `wineboot`), and
# compares both subtrees with their state before: zero differences, no
# snapshot left pending, no logon entry left behind.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

AGENT=$(zv_agent)
SANDBOX="$ZV_DOCS/zaduze/sandbox"
IS='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
EXT='HKCU\Software\Microsoft\Windows\CurrentVersion\Ext'
RUN='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
WORK=$ZV_WINE_WORK/recovery
PAGE=$WORK/page.html
mkdir -p "$WORK" "$SANDBOX"

ctl_register64
ctl_set_path "$(dirname "$AGENT")"
ctl_page "$PAGE" "AppNotification=0" "DebugLog=1" "KeepAliveMillisec=1000" "ProtectKeyCheat=0" \
  "ProtectMouseCheat=0" "ProtectAppCheat=0" "ProtectExplorerCheat=0"
# The same page keeping its restored snapshots as _debug_ files: they tell
# the names two pages saved under.
ctl_page "$WORK/debug.html" "AppNotification=0" "DebugSandbox=1" "DebugLog=1" "KeepAliveMillisec=1000" "ProtectKeyCheat=0" \
  "ProtectMouseCheat=0" "ProtectAppCheat=0" "ProtectExplorerCheat=0"
EXAM=('TrustzoneAddDomain("exam.example")' 'TrustzoneAddIP("10.1.2.3")' 'StartZaduzeApp()' 'sleep 1200'
  'StopZaduzeApp()')

# --- the user's settings ------------------------------------------------------
# hex(1) "l1<CR><LF>l2 시험"; hex(7) "a<LF>b", "시험"; hex(2) "%TEMP%"; hex(0),
# hex(5), hex(6), hex(b) and an unnamed type hex(c).
cat > "$WORK/seed.txt" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZvUser 시험 &"<>']
@="기본 & default"
"sz &\"<>' 시험"="a&b\"<c>'d 시험"
"lines"=hex(1):6c,00,31,00,0d,00,0a,00,6c,00,32,00,20,00,dc,c2,18,d5,00,00
"exp"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00
"bin"=hex:00,01,ff
"empty bin"=hex:
"dw"=dword:00010000
"dwm"=dword:ffffffff
"be"=hex(5):00,00,01,02
"qw"=hex(b):01,00,00,00,00,00,00,80
"multi"=hex(7):61,00,0a,00,62,00,00,00,dc,c2,18,d5,00,00,00,00
"none"=hex(0):6e,00,00,00
"link"=hex(6):6c,00,6b,00
"odd"=hex(c):01,02,03

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZvUser 시험 &"<>'\Empty]

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Zones\2]
"1A10"=dword:00000003
"1001"=dword:00000003

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap\Domains\user.example]
"http"=dword:00000002

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\Settings\{AAAAAAAA-0000-0000-0000-000000000001}]
"Flags"=dword:00000000

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Ext\ZvUser]
"시험 ' <>"="x"

[HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Internet Explorer\Toolbar]
"{AAAAAAAA-0000-0000-0000-000000000001}"=hex:00
"{BBBBBBBB-0000-0000-0000-000000000002}"=hex:00
EOF
{ printf '\xff\xfe'; sed 's/$/\r/' "$WORK/seed.txt" | iconv -f UTF-8 -t UTF-16LE; } > "$WORK/seed.reg"
zv_reg import "$(zv_winpath "$WORK/seed.reg")"

# dump FILE: both subtrees as reg export writes them, in UTF-8.
dump() {
  local k i=0
  for k in "$IS" "$EXT"; do
    i=$((i + 1))
    rm -f "$WORK/export$i.reg"
    zv_wine64 reg export "$k" "$(zv_winpath "$WORK/export$i.reg")" /y >/dev/null 2>&1 </dev/null
    iconv -f UTF-16 -t UTF-8 "$WORK/export$i.reg" | tr -d '\r'
  done > "$1"
}
dump "$WORK/before.txt"
seeded=$(grep -c 'ZvUser' "$WORK/before.txt")
zv_expect "the seed is in both subtrees" "$([ "$seeded" -ge 3 ] && echo yes)" "yes"

# --- the pieces of a row --------------------------------------------------------
exam() { ctl_container "$PAGE" "${EXAM[@]}" >>"$WORK/row.out"; }
# A page left open: its session runs until the container is killed.
open_exam() { ctl_container "$PAGE" "${EXAM[@]:0:3}" 'sleep 60000' >>"$WORK/row.out" & }
kill_image() { zv_wine64 taskkill /f /im "$1" >/dev/null 2>&1 </dev/null; }
agent_gone() { zv_tool waitgone ZedudeVeri 15 >/dev/null 2>&1 </dev/null; }
# The state a control leaves when it dies right after its save (and after
# its settings step): an orphaned snapshot under an older name.
orphan() {
  zv_exit "$AGENT" "-RegistrySave \"$1\"" >/dev/null 2>&1
  if [ "${2:-}" = loose ]; then
    zv_exit "$AGENT" '-RegistrySetLoose 1' >/dev/null 2>&1
    zv_exit "$AGENT" '-TrustzoneAddDomain "exam.example"' >/dev/null 2>&1
  fi
}
# A stray pending pair that must never be replayed: both files would add the
# value Poison; $2 is how the file is damaged.
stray() {
  local lines=('<?xml version="1.0" encoding="UTF-8"?>' ' <registry>' '  <k name="HKEY_CURRENT_USER">'
    '   <k name="Software">' '    <k name="Microsoft">' '     <k name="Windows">' '      <k name="CurrentVersion">'
    '       <k name="Internet Settings">' '        <v name="Poison" value="1"/>')
  if [ "$2" = parse ]; then
    lines+=('        <v name="x" < value="2"/>' '       </k>' '      </k>' '     </k>' '    </k>' '   </k>' '  </k>'
      ' </registry>')
  fi
  printf '%s\r\n' "${lines[@]}" | iconv -f UTF-8 -t UTF-16LE > "$SANDBOX/$1_0.xml"
  printf '%s\r\n' "${lines[@]}" | sed 's/Internet Settings/Ext/' | iconv -f UTF-8 -t UTF-16LE > "$SANDBOX/$1_1.xml"
}
logon() {
  zv_wine64 wineboot >/dev/null 2>&1 </dev/null
  local i
  for i in $(seq 1 100); do
    [ -z "$(pending)" ] && [ "$(run_entry)" = 0 ] && break
    sleep 0.2
  done
}
run_entry() { zv_reg_query "$RUN" /v ZaduzeRecover | grep -c ZaduzeRecover; }
# Pending snapshot files: neither kept (_failed_, _debug_) nor diagnostic (_loose).
pending() { ls "$SANDBOX" | grep -v -e '^_failed_' -e '^_debug_' -e '_loose_[01]\.xml$' | tr '\n' ' '; }

# --- the rows --------------------------------------------------------------------
row_normal_exam() { exam; }
row_killed_after_the_save() { orphan 20200101-000000; exam; }
row_killed_after_the_settings_step() { orphan 20200101-000000 loose; exam; }
row_killed_during_a_session() {
  open_exam
  zv_waitwin ZedudeVeri 30
  kill_image zaduze_container.exe
  zv_wait_jobs
  agent_gone
  exam
}
row_agent_killed_during_a_session() {
  ctl_container "$PAGE" "${EXAM[@]:0:3}" 'sleep 2500' 'StopZaduzeApp()' >>"$WORK/row.out" &
  zv_waitwin ZedudeVeri 30
  kill_image ZedudeVeri.exe
  zv_wait_jobs
  agent_gone
}
row_truncated_snapshot() { stray 20200101-000000 truncated; exam; }
row_snapshot_with_a_parse_error() { stray 20200101-000000 parse; exam; }
two_pages() {
  ctl_container "$WORK/debug.html" "${EXAM[@]:0:2}" "sleep $1" >>"$WORK/row.out" &
  sleep 0.1
  ctl_container "$WORK/debug.html" "${EXAM[@]:0:2}" "sleep $2" >>"$WORK/row.out" &
  zv_wait_jobs
  agent_gone
  zv_expect "two pages ($1/$2 ms): two snapshot names" "$(ls "$SANDBOX" | grep -c '^_debug_.*_0\.xml$')" "2"
}
row_two_pages_in_the_same_second_first_closes_first() { two_pages 500 4000; }
row_two_pages_in_the_same_second_second_closes_first() { two_pages 4000 500; }
# A save that cannot write its files (the sandbox folder is a file): the page
# is created and works, and nothing is loosened without a backup.
row_failed_save() {
  rmdir "$SANDBOX" && touch "$SANDBOX"
  local out
  out=$(ctl_container "$PAGE" 'GetVersion()')
  rm -f "$SANDBOX" && mkdir -p "$SANDBOX"
  zv_expect_match "failed save: AfterCreated fires" "$out" '^event AfterCreated$'
  zv_expect_match "failed save: the page's methods work" "$out" '^GetVersion\(\) -> "[0-9.]+"$'
}
row_recovery_at_the_next_logon() {
  open_exam
  zv_waitwin ZedudeVeri 30
  kill_image zaduze_container.exe
  zv_wait_jobs
  agent_gone
  zv_expect "logon: the entry starts the agent's recovery" "$(zv_reg_query "$RUN" /v ZaduzeRecover | grep -c -- 'ZedudeVeri.exe" -RegistryRecover 1$')" "1"
  logon
}

failed_files() { ls "$SANDBOX" | grep '^_failed_' | tr '\n' ' '; }
expected_failed() {
  case "$1" in
    row_truncated_snapshot | row_snapshot_with_a_parse_error) echo "_failed_20200101-000000_0.xml _failed_20200101-000000_1.xml " ;;
    *) echo "" ;;
  esac
}

# ZV_ROWS=REGEX plays only the matching rows.
for row in $(declare -F | awk '$3 ~ /^row_/ { print $3 }'); do
  [[ $row =~ ${ZV_ROWS:-.} ]] || continue
  name=${row#row_}
  name=${name//_/ }
  rm -f "$WORK/row.out" "$ZV_DOCS"/zaduze/log/*.log
  start=$SECONDS
  "$row"
  agent_gone
  dump "$WORK/after.txt"
  if diff "$WORK/before.txt" "$WORK/after.txt" > "$WORK/diff.txt"; then
    zv_ok "$name: zero differences"
  else
    zv_fail "$name: zero differences" "$(head -c 1500 "$WORK/diff.txt")"
  fi
  zv_expect "$name: nothing pending" "$(pending)" ""
  zv_expect "$name: files kept as failed" "$(failed_files)" "$(expected_failed "$row")"
  zv_expect "$name: no logon entry" "$(run_entry)" "0"
  echo "# $name: $((SECONDS - start)) s"
  rm -f "$SANDBOX"/*
done

zv_summary
