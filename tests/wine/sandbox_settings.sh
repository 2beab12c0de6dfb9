#!/usr/bin/env bash
# Browser security settings and trusted sites through the real agent:
# -RegistrySetLoose writes exactly the 65 zone values and the toolbar keys, a
# session applies them only behind a whole snapshot a live page holds and
# deletes exactly the toolbar keys it created, and the trusted-site commands
# with their exit codes (read through the Win32 runner).
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone

AGENT=$(zv_agent)
IS='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
ZONE="$IS\\Zones\\2"
TOOLBAR='HKLM\SOFTWARE\Microsoft\Internet Explorer\Toolbar'
EXT='HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Ext\Settings'
RANGES="$IS\\ZoneMap\\Ranges"
DOMAINS="$IS\\ZoneMap\\Domains"
T1='{11111111-0000-0000-0000-00000000000A}'
T2='{22222222-0000-0000-0000-00000000000B}'
T3='{33333333-0000-0000-0000-00000000000C}'
WORK=$(mktemp -d)
cleanup() {
  zv_reg delete "$TOOLBAR" /f
  zv_reg delete "$EXT" /f
  zv_reg delete "$RANGES" /f
  zv_reg delete "$DOMAINS" /f
  zv_reg delete "$ZONE" /f
  zv_reg import "$(zv_winpath "$WORK/zone2.reg")"
  rm -rf "$WORK"
}
zv_on_exit cleanup
zv_wine64 reg export "$ZONE" "$(zv_winpath "$WORK/zone2.reg")" /y >/dev/null 2>&1 </dev/null

# reg_values KEY: "name=TYPE data" lines of a key, sorted.
reg_values() {
  zv_reg_query "$1" </dev/null | awk 'NF >= 2 && $2 ~ /^REG_/ { n = $1; t = $2; $1 = ""; $2 = ""; sub(/^ +/, ""); print n "=" t " " $0 }' | sort
}
# empty_key KEY: the key without any value (reg add would give it a default value).
empty_key() {
  printf 'REGEDIT4\r\n\r\n[%s]\r\n' "${1/#HKCU/HKEY_CURRENT_USER}" > "$WORK/empty.reg"
  zv_reg import "$(zv_winpath "$WORK/empty.reg")"
}
exit_of() { zv_exit "$AGENT" "$1" 2>/dev/null; }

# --- the zone policy: exactly the 65 values -----------------------------------
zv_reg delete "$ZONE" /f
empty_key "$ZONE"
zv_expect "-RegistrySetLoose exits 0" "$(exit_of '-RegistrySetLoose 1 -DebugLog 1')" "0"
expected=$(for pair in 1001=0 1004=1 1200=0 1201=1 1206=0 1207=0 1208=0 1209=0 120A=3 120B=0 1400=0 1402=0 \
  1405=0 1406=0 1407=0 1408=0 1409=3 1601=0 1604=0 1605=0 1606=0 1607=0 1608=0 1609=1 160A=0 1800=0 1802=0 \
  1803=0 1804=0 1806=1 1809=3 180B=1 1A00=0 1A02=0 1A03=0 1A04=0 1A05=0 1A06=0 1C00=30000 2000=0 2001=0 \
  2004=0 2005=0 2007=10000 2100=0 2101=1 2102=0 2103=0 2104=0 2105=0 2106=0 2107=0 2200=0 2201=0 2300=1 \
  2301=3 2400=0 2401=0 2402=0 2500=3 2600=0 2700=3 2702=0 CurrentLevel=10000 Flags=43; do
  echo "${pair%%=*}=REG_DWORD 0x${pair#*=}"; done | sort)
actual=$(reg_values "$ZONE")
zv_expect "an empty zone 2 key gets exactly the 65 values" "$(echo "$actual" | wc -l)" "65"
if [ "$actual" == "$expected" ]; then zv_ok "every zone value has its data"; else
  zv_fail "every zone value has its data" "$(diff <(echo "$expected") <(echo "$actual") | head -n 10)"; fi
zv_expect_match "the command logs ChangeRegistryIE OK" "$(tr -d '\r' < "$(zv_agent_logs | tail -n 1)")" 'INFO: ChangeRegistryIE OK'
zv_reg add "$ZONE" /v 1A10 /t REG_DWORD /d 3 /f
zv_reg add "$ZONE" /v 1001 /t REG_DWORD /d 3 /f
exit_of '-RegistrySetLoose 1' >/dev/null
zv_expect "a value outside the table is left alone" "$(zv_reg_value "$ZONE" 1A10)" "REG_DWORD 0x3"
zv_expect "a changed table value is written again" "$(zv_reg_value "$ZONE" 1001)" "REG_DWORD 0x0"
zv_reg delete "$ZONE" /f
exit_of '-RegistrySetLoose 1' >/dev/null
zv_expect "without a zone 2 key none is created" "$(zv_reg_exists "$ZONE")" "no"

# --- toolbar extension settings ----------------------------------------------
zv_reg delete "$EXT" /f
exit_of '-RegistrySetLoose 1' >/dev/null
zv_reg add "$TOOLBAR" /v "$T1" /t REG_SZ /d x /f
zv_reg add "$TOOLBAR" /v "$T2" /t REG_SZ /d y /f
exit_of '-RegistrySetLoose 1' >/dev/null
zv_expect "without the target key no toolbar key is created" "$(zv_reg_exists "$EXT\\$T1")" "no"
empty_key "$EXT"
exit_of '-RegistrySetLoose 1' >/dev/null
zv_expect "each listed toolbar gets Flags 1" "$(zv_reg_value "$EXT\\$T1" Flags) $(zv_reg_value "$EXT\\$T2" Flags)" \
  "REG_DWORD 0x1 REG_DWORD 0x1"
zv_expect "and Version *" "$(zv_reg_value "$EXT\\$T2" Version)" "REG_SZ *"
zv_expect "nothing else is written" "$(reg_values "$EXT\\$T1" | cut -d= -f1 | tr '\n' ' ')" "Flags Version "

# A session: T2 existed before it (same identifier), T3 exists in other
# letter case, T1 does not exist. The session ends by itself (no keep-alives).
zv_reg delete "$EXT\\$T1" /f
zv_reg add "$TOOLBAR" /v "$T3" /t REG_SZ /d z /f
zv_reg add "$EXT\\{33333333-0000-0000-0000-00000000000c}" /v Mine /t REG_SZ /d kept /f
session='-KeepAliveMillisec 300 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectExplorerCheat 0 -ProtectIEToolbarCheat 0 -DebugLog 1'
# Without a snapshot a live page holds, nothing is applied (nothing would undo it).
empty_key "$ZONE"
sleep 1  # a log file of its own
zv_expect "a session without a snapshot in use ends by itself with 0" "$(exit_of "$session")" "0"
zv_expect "and applies nothing: no toolbar key" "$(zv_reg_exists "$EXT\\$T1")" "no"
zv_expect "no zone value" "$(zv_reg_value "$ZONE" 1001)" ""
zv_expect_match "it says why" "$(tr -d '\r' < "$(zv_agent_logs | tail -n 1)")" \
  'INFO: ChangeRegistryIE skipped: no snapshot of a live page to undo it'
# Behind a whole snapshot whose marker a live page (here a stand-in) holds.
SANDBOX="$ZV_DOCS/zaduze/sandbox"
zv_expect "the page's snapshot is saved" "$(exit_of '-RegistrySave "held"')" "0"
rm -f "$WORK/held"
zv_wine64 "$ZV_BUILD64/tests/sandbox_marker.exe" held 10000 "$(zv_winpath "$WORK/held")" >/dev/null 2>&1 </dev/null &
holder=$!
for i in $(seq 1 100); do [ -s "$WORK/held" ] && break; sleep 0.1; done
sleep 1
zv_expect "the session ends by itself with 0" "$(exit_of "$session")" "0"
zv_expect "the session applied the zone values" "$(zv_reg_value "$ZONE" 1001)" "REG_DWORD 0x0"
zv_expect "the key created by the session is deleted" "$(zv_reg_exists "$EXT\\$T1")" "no"
zv_expect "the key that existed is kept with the session's values" "$(zv_reg_value "$EXT\\$T2" Flags)" "REG_DWORD 0x1"
zv_expect "a key in other letter case counts as created, so it goes" "$(zv_reg_exists "$EXT\\$T3")" "no"
zv_expect_match "the session logs its settings and its stop" "$(tr -d '\r' < "$(zv_agent_logs | tail -n 1)" | tr '\n' ' ')" \
  'ChangeRegistryIE OK.*ZedudeVeri stopped'
wait "$holder"  # the stand-in page ends by itself
rm -f "$SANDBOX"/held_*.xml
zv_reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v ZaduzeRecover /f

# --- trusted sites -------------------------------------------------------------
zv_reg delete "$RANGES" /f
zv_reg delete "$DOMAINS" /f
range() { reg_values "$RANGES\\Range$1" | tr '\n' ' '; }
zv_expect "adding an address exits 0" "$(exit_of '-TrustzoneAddIP "10.0.0.1"')" "0"
zv_expect "the first address goes to Range1" "$(range 1)" "*=REG_DWORD 0x2 :Range=REG_SZ 10.0.0.1 "
exit_of '-TrustzoneAddIP "10.0.0.1"' >/dev/null
zv_expect "adding it again creates nothing" "$(zv_reg_exists "$RANGES\\Range2")" "no"
exit_of '-TrustzoneAddIP "http://10.0.0.2,10.0.0.3"' >/dev/null
zv_expect "a scheme is written in lower case" "$(range 2)" ":Range=REG_SZ 10.0.0.2 http=REG_DWORD 0x2 "
zv_reg delete "$RANGES\\Range2" /f
exit_of '-TrustzoneAddIP "10.0.0.4"' >/dev/null
zv_expect "a gap is filled first" "$(range 2)" "*=REG_DWORD 0x2 :Range=REG_SZ 10.0.0.4 "
exit_of '-TrustzoneAddIP "10.0.0.5,,"' >/dev/null
# (reg query prints an empty REG_SZ badly: read it from an export)
zv_wine64 reg export "$RANGES\\Range5" "$(zv_winpath "$WORK/range5.reg")" /y >/dev/null 2>&1 </dev/null
zv_expect "an empty piece adds a range with an empty address" \
  "$(iconv -f UTF-16LE -t UTF-8 "$WORK/range5.reg" | tr -d '\r' | grep -E '^"' | sort | tr '\n' ' ')" '"*"=dword:00000002 ":Range"="" '
zv_expect "once" "$(zv_reg_exists "$RANGES\\Range6")" "no"

zv_expect "adding a domain exits 0" "$(exit_of '-TrustzoneAddDomain "a.b.c"')" "0"
zv_expect "a.b.c goes to Domains\\b.c\\a" "$(reg_values "$DOMAINS\\b.c\\a" | tr '\n' ' ')" "*=REG_DWORD 0x2 "
exit_of '-TrustzoneAddDomain "https://Exam.Example.org,http://exam.example.org,nodot"' >/dev/null
zv_expect "a second scheme is added beside the first" "$(reg_values "$DOMAINS\\example.org\\exam" | tr '\n' ' ')" \
  "http=REG_DWORD 0x2 https=REG_DWORD 0x2 "
zv_expect "a domain without a dot adds nothing" "$(zv_reg_exists "$DOMAINS\\nodot")" "no"

# The queries against what the adds above stored (rows in order: a row may
# add what the next ones look for). Check name | command line | exit code.
zv_expect_exits "$AGENT" 2>/dev/null <<'ROWS'
query of a stored address is 0|-TrustzoneQueryIP "10.0.0.3"|0
query of another address is -1|-TrustzoneQueryIP "10.0.0.9"|-1
the add of exam.example as an address exits 0|-TrustzoneAddIP "exam.example"|0
the add stores upper case, so a lower-case query misses|-TrustzoneQueryIP "exam.example"|-1
and the upper-case one finds it|-TrustzoneQueryIP "EXAM.EXAMPLE"|0
query with the scheme of the entry|-TrustzoneQueryIP "http://10.0.0.2"|-1
the domain query lower-cases|-TrustzoneQueryDomain "A.B.C"|0
a host without a dot is -2|-TrustzoneQueryDomain "localhost"|-2
an absent domain is -1|-TrustzoneQueryDomain "x.b.c"|-1
a scheme with another zone value is not found|-TrustzoneQueryDomain "ftp://exam.example.org"|-1
ROWS

zv_summary
