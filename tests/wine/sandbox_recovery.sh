#!/usr/bin/env bash
# The browser's settings come back exactly, whatever happens to the exam: the
# real control in the test container with the real agent. The two saved
# subtrees are seeded with every value type and with names and data holding
# & " < > ', line breaks and Korean text; each row plays an exam with a fault,
# checks in the middle of the exam that the exam really changed the settings
# (the loosened zone value, the page's trusted site), lets the recovery run
# (the next page, or a logon through `wineboot`), and compares both subtrees
# with their state before: zero differences, no snapshot left pending, no
# logon entry left behind. Pages run in the background and are held at named
# points ("echo MARK" then "waitfile"), so that several pages can be played in
# a fixed order.
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
# A page holds at MARK with the steps 'echo MARK' "${HOLD}MARK" until `release MARK`.
HOLD="waitfile $(zv_winpath "$WORK")\\go-"

ctl_register64
ctl_set_path "$(dirname "$AGENT")"
ctl_page "$PAGE" "AppNotification=0" "DebugLog=1" "KeepAliveMillisec=1000" "ProtectKeyCheat=0" \
  "ProtectMouseCheat=0" "ProtectAppCheat=0" "ProtectExplorerCheat=0"
# The same page keeping its restored snapshots as _debug_ files: they tell
# the names two pages saved under.
ctl_page "$WORK/debug.html" "AppNotification=0" "DebugSandbox=1" "DebugLog=1" "KeepAliveMillisec=1000" "ProtectKeyCheat=0" \
  "ProtectMouseCheat=0" "ProtectAppCheat=0" "ProtectExplorerCheat=0"
EXAM=('TrustzoneAddDomain("exam.example")' 'TrustzoneAddIP("10.1.2.3")' 'StartZaduzeApp()' 'sleep 1200'
  'echo mid' "${HOLD}mid" 'StopZaduzeApp()')

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

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap\Domains\school.example\www]
"http"=dword:00000002

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZoneMap\Ranges\Range1]
":Range"="192.168.7.7"
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
cp "$WORK/export1.reg" "$WORK/before1.reg"
cp "$WORK/export2.reg" "$WORK/before2.reg"
# After a failed row both subtrees are put back as they were, so that the
# next row starts from the user's settings again.
reset_settings() {
  zv_reg delete "$IS" /f
  zv_reg delete "$EXT" /f
  zv_reg import "$(zv_winpath "$WORK/before1.reg")"
  zv_reg import "$(zv_winpath "$WORK/before2.reg")"
  zv_reg delete "$RUN" /v ZaduzeRecover /f
}
seeded=$(grep -c 'ZvUser' "$WORK/before.txt")
zv_expect "the seed is in both subtrees" "$([ "$seeded" -ge 3 ] && echo yes)" "yes"

# --- the pieces of a row --------------------------------------------------------
# run_page EXE NAME PAGE [STEP ...]: a page in the background, its output in
# $WORK/NAME.out (a file, not a pipe: a held page's lines must be seen at once).
declare -A PID
run_page() {
  local exe=$1 name=$2 file=$3
  shift 3
  zv_wine64 "$exe" "$(zv_winpath "$file")" "$@" >"$WORK/$name.out" 2>&1 </dev/null &
  PID[$name]=$!
}
page() { run_page "$ZV_CTL_CONTAINER" "$@"; }
# reached NAME MARK: the page printed MARK and is held there.
reached() {
  local i
  for i in $(seq 1 1200); do
    grep -q "^$2"$'\r'"\?\$" "$WORK/$1.out" 2>/dev/null && return 0
    sleep 0.1
  done
  zv_fail "page $1 reaches $2" "$(tail -c 800 "$WORK/$1.out" 2>/dev/null)"
  return 1
}
release() { : >"$WORK/go-$1"; }
finished() { wait "${PID[$1]}"; cat "$WORK/$1.out" >>"$WORK/row.out"; }
# In the middle of an exam: the loosened zone value and the page's trusted site.
mid_exam() {
  local zone site
  zone=$(zv_reg_value "$IS\\Zones\\2" 1001)
  site=$(zv_reg_query "$IS\\ZoneMap\\Domains\\example\\exam" | grep -c '^ *\* *REG_DWORD *0x2$')
  MID="zone 1001: ${zone:-none}, exam.example trusted: $site"
}
LOOSENED="zone 1001: REG_DWORD 0x0, exam.example trusted: 1"
UNCHANGED="zone 1001: REG_DWORD 0x3, exam.example trusted: 0"
# exam_on PAGE STEP ... / exam [STEP ...]: a whole exam (default: EXAM), checked
# in the middle at its mark "mid".
exam_on() {
  local file=$1
  shift
  page exam "$file" "$@"
  reached exam mid && mid_exam
  release mid
  finished exam
}
exam() {
  [ $# -eq 0 ] && set -- "${EXAM[@]}"
  exam_on "$PAGE" "$@"
}
# A page left open in the middle of its exam (checked there) until it is killed.
open_exam() {
  page exam "$PAGE" "${EXAM[@]:0:4}" 'echo mid' 'sleep 60000'
  reached exam mid && mid_exam
}
kill_image() { zv_wine64 taskkill /f /im "$1" >/dev/null 2>&1 </dev/null; }
agent_gone() { zv_tool waitgone ZedudeVeri 15000 >/dev/null 2>&1 </dev/null; }
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
# value Poison; $2 is how the pair is damaged (truncated, parse: a parse error,
# half: one whole file without the other).
stray() {
  local lines=('<?xml version="1.0" encoding="UTF-8"?>' ' <registry>' '  <k name="HKEY_CURRENT_USER">'
    '   <k name="Software">' '    <k name="Microsoft">' '     <k name="Windows">' '      <k name="CurrentVersion">'
    '       <k name="Internet Settings">' '        <v name="Poison" value="1"/>')
  local end=('       </k>' '      </k>' '     </k>' '    </k>' '   </k>' '  </k>' ' </registry>')
  case "$2" in
    parse) lines+=('        <v name="x" < value="2"/>' "${end[@]}") ;;
    half) lines+=("${end[@]}") ;;
  esac
  printf '%s\r\n' "${lines[@]}" | iconv -f UTF-8 -t UTF-16LE > "$SANDBOX/$1_0.xml"
  [ "$2" = half ] && return
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
# A second image of the container, so that one page can be killed alone.
CRASHING=$WORK/crashing_container.exe
cp "$ZV_CTL_CONTAINER" "$CRASHING"

# --- the rows --------------------------------------------------------------------
row_normal_exam() { exam; }
row_killed_after_the_save() { orphan 20200101-000000; exam; }
row_killed_after_the_settings_step() { orphan 20200101-000000 loose; exam; }
row_killed_during_a_session() {
  open_exam
  kill_image zaduze_container.exe
  zv_wait_jobs
  agent_gone
  exam
}
row_agent_killed_during_a_session() {
  page exam "$PAGE" "${EXAM[@]:0:4}" 'echo mid' "${HOLD}mid" 'sleep 2500' 'StopZaduzeApp()'
  reached exam mid && mid_exam
  release mid
  zv_waitwin ZedudeVeri 30
  kill_image ZedudeVeri.exe
  finished exam
  agent_gone
}
row_truncated_snapshot() { stray 20200101-000000 truncated; exam; }
row_snapshot_with_a_parse_error() { stray 20200101-000000 parse; exam; }
# Half a pair (power failed between the two renames of a save): never replayed.
row_half_a_snapshot() { stray 20200101-000000 half; exam; }
# Two pages whose snapshot names are taken in the same second; $1 tells which
# one closes first.
two_pages() {
  page p1 "$WORK/debug.html" "${EXAM[@]:0:2}" 'echo open' "${HOLD}p1"
  sleep 0.1
  page p2 "$WORK/debug.html" "${EXAM[@]:0:2}" 'echo open' "${HOLD}p2"
  reached p1 open && reached p2 open && mid_exam
  local first=p1 second=p2
  [ "$1" = second ] && first=p2 second=p1
  release "$first"
  finished "$first"
  release "$second"
  finished "$second"
  agent_gone
  zv_expect "two pages, the $1 closes first: two snapshot names" "$(ls "$SANDBOX" | grep -c '^_debug_.*_0\.xml$')" "2"
}
row_two_pages_in_the_same_second_first_closes_first() { two_pages first; }
row_two_pages_in_the_same_second_second_closes_first() { two_pages second; }
# Page A is open; page B opens over A's loosened settings, adds its sites and
# its browser dies; A closes normally: B's snapshot (A's loosened state) must
# come back before A's (the user's).
row_overlapping_pages_the_newer_one_crashes() {
  page a "$PAGE" 'echo open' "${HOLD}a"
  reached a open
  run_page "$CRASHING" b "$PAGE" "${EXAM[@]:0:4}" 'echo mid' 'sleep 60000'
  reached b mid && mid_exam
  kill_image crashing_container.exe
  finished b
  agent_gone
  release a
  finished a
}
# A closes while the newer page B holds its snapshot, so A's stays pending; C
# opens while B is still open and must leave A's alone (B's is newer and in
# use); B closes (C's is newer: B's stays pending), then C restores all three.
row_a_page_opens_while_an_older_snapshot_waits() {
  page a "$PAGE" 'echo open' "${HOLD}a"
  reached a open
  page b "$PAGE" "${EXAM[@]:0:2}" 'echo open' "${HOLD}b"
  reached b open
  release a
  finished a
  page c "$PAGE" "${EXAM[@]:0:2}" 'echo mid' "${HOLD}mid"
  reached c mid && mid_exam
  release b
  finished b
  release mid
  finished c
}
# The clock set back between two saves: the later snapshot (the loosened
# state) carries the older-looking name. The order is the order of saving.
row_the_clock_set_back_between_two_saves() {
  orphan 20991231-235959 loose
  orphan 20200101-000000
  exam
}
# A save that cannot write its files (the sandbox folder is a file): the page
# is created and works, and nothing is loosened without a backup, neither by
# the creation nor by the session.
row_failed_save() {
  rmdir "$SANDBOX" && touch "$SANDBOX"
  exam 'StartZaduzeApp()' 'sleep 1200' 'echo mid' "${HOLD}mid" 'StopZaduzeApp()' 'GetVersion()'
  rm -f "$SANDBOX" && mkdir -p "$SANDBOX"
  local out
  out=$(tr -d '\r' <"$WORK/row.out")
  zv_expect_match "failed save: AfterCreated fires" "$out" '^event AfterCreated$'
  zv_expect_match "failed save: the page's methods work" "$out" '^GetVersion\(\) -> "[0-9.]+"$'
}
# A save that did nothing and still ended with 0 (a copy of the agent started
# while another one runs does that): the stand-in agent plays that copy. The
# control finds no whole snapshot and does not loosen.
row_a_save_that_did_nothing() {
  ctl_install_recorder 0
  : >"$ZV_CTL_AGENT_DIR/nosnapshot.txt"
  exam
  ctl_set_path "$(dirname "$AGENT")"
  zv_expect "a save that did nothing: it was asked for" "$(ctl_calls | grep -c '^-RegistrySave ')" "1"
  zv_expect "a save that did nothing: no settings step" "$(ctl_calls | grep -c '^-RegistrySetLoose ')" "0"
  zv_expect_match "a save that did nothing: the control says why" "$(cat "$ZV_DOCS"/zaduze/log/*_ocx.log 2>/dev/null)" \
    'ERROR: RegistrySave .*browser settings left unchanged'
}
# A session started after the page restored its snapshot (deactivated, then
# scripted): nothing behind it, so it loosens nothing.
row_a_session_started_after_the_page_restored() {
  exam "${EXAM[@]}" 'deactivate' 'StartZaduzeApp()' 'sleep 2500'
}
# A _debug_ copy that already holds the name of a replayed file: the older
# copy stays, the replayed file is kept beside it, nothing is left pending.
row_a_debug_copy_already_holds_the_name() {
  orphan 20200101-000000
  printf 'older copy' >"$SANDBOX/_debug_20200101-000000_0.xml"
  exam_on "$WORK/debug.html" "${EXAM[@]}"
  zv_expect "a debug copy already there: it stays" "$(cat "$SANDBOX/_debug_20200101-000000_0.xml")" "older copy"
  zv_expect "a debug copy already there: both replayed files are kept" \
    "$(ls "$SANDBOX" | grep -c '^_debug_.*20200101-000000_[01]\.xml$')" "3"
}
# The user trusts www.school.example (Domains\school.example\www) and the
# range 192.168.7.7 (Range1); the page adds exam.school.example (a key below
# the user's school.example), https for www.school.example and for the range
# (scheme values inside the user's own keys). All three go after the exam.
row_trusted_sites_inside_the_users_own_sites() {
  page exam "$PAGE" 'TrustzoneAddDomain("exam.example,exam.school.example,https://www.school.example")' \
    'TrustzoneAddIP("10.1.2.3,https://192.168.7.7")' 'StartZaduzeApp()' 'sleep 1200' 'echo mid' "${HOLD}mid" 'StopZaduzeApp()'
  reached exam mid && mid_exam
  local d="$IS\\ZoneMap\\Domains\\school.example"
  zv_expect "nested sites: added in the middle of the exam" \
    "$(zv_reg_exists "$d\\exam") $(zv_reg_value "$d\\www" https) $(zv_reg_value "$IS\\ZoneMap\\Ranges\\Range1" https)" \
    "yes REG_DWORD 0x2 REG_DWORD 0x2"
  release mid
  finished exam
}
row_recovery_at_the_next_logon() {
  open_exam
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
    row_half_a_snapshot) echo "_failed_20200101-000000_0.xml " ;;
    *) echo "" ;;
  esac
}
expected_mid() {
  case "$1" in
    row_failed_save | row_a_save_that_did_nothing) echo "$UNCHANGED" ;;
    *) echo "$LOOSENED" ;;
  esac
}

# ZV_ROWS=REGEX plays only the matching rows.
for row in $(declare -F | awk '$3 ~ /^row_/ { print $3 }'); do
  [[ $row =~ ${ZV_ROWS:-.} ]] || continue
  name=${row#row_}
  name=${name//_/ }
  rm -f "$WORK/row.out" "$WORK"/*.out "$WORK"/go-* "$ZV_DOCS"/zaduze/log/*.log
  MID="not checked"
  start=$SECONDS
  failed_before=$ZV_FAILED
  "$row"
  zv_wait_jobs
  agent_gone
  dump "$WORK/after.txt"
  if diff "$WORK/before.txt" "$WORK/after.txt" > "$WORK/diff.txt"; then
    zv_ok "$name: zero differences"
  else
    zv_fail "$name: zero differences" "$(head -c 1500 "$WORK/diff.txt")"
  fi
  zv_expect "$name: in the middle of the exam" "$MID" "$(expected_mid "$row")"
  zv_expect "$name: nothing pending" "$(pending)" ""
  zv_expect "$name: files kept as failed" "$(failed_files)" "$(expected_failed "$row")"
  zv_expect "$name: no logon entry" "$(run_entry)" "0"
  echo "# $name: $((SECONDS - start)) s"
  rm -f "$SANDBOX"/*
  [ "$ZV_FAILED" -gt "$failed_before" ] && reset_settings
done

zv_summary
