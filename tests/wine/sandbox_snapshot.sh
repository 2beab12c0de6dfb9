#!/usr/bin/env bash
# Registry snapshots through the real agent: -RegistrySave writes both files
# (a scratch subtree below Internet Settings compared byte for byte, the save
# number in the registry tag), -RegistryRestore puts saved values back and
# keeps added ones, restores the older pending snapshots nobody holds after
# its own, a parse error is shown in a message box (found, read and dismissed
# here) and keeps what was applied before it, -DebugSandbox keeps the files.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone

AGENT=$(zv_agent)
SANDBOX="$ZV_DOCS/zaduze/sandbox"
LOGDIR="$ZV_DOCS/zaduze/log"
IS='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
SCRATCH="$IS\\ZvScenario"
WORK=$(mktemp -d)
zv_on_exit 'rm -rf "$WORK"; zv_reg delete "$SCRATCH" /f'

# utf8 FILE: a snapshot file as UTF-8 text (CR LF kept).
utf8() { iconv -f UTF-16LE -t UTF-8 "$1"; }
# The ZvScenario block of a snapshot (its start tag to its end tag).
scratch_block() {
  utf8 "$1" | awk '/^        <k name="ZvScenario">\r$/ { on = 1 } on { print } on && /^        <\/k>\r$/ { exit }'
}
latest_log() { tr -d '\r' < "$(zv_agent_logs | tail -n 1)"; }

# --- the scratch subtree: every value type, a default value set and not set,
# an empty key, deep nesting --------------------------------------------------
# A version 5 file is UTF-16LE: hex(2) and hex(7) data are UTF-16 there.
cat > "$WORK/scratch.txt" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZvScenario]
"sz"="a&b\"<>'"
"exp"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00
"bin"=hex:01,ab,ff
"dw"=dword:00010000
"dwm"=dword:ffffffff
"be"=hex(5):00,00,01,02
"qw"=hex(b):01,00,00,00,00,00,00,00
"multi"=hex(7):61,00,00,00,62,00,00,00,00,00
"none"=hex(0):6e,00,00,00

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZvScenario\Default]
@="dflt"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZvScenario\Empty]

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ZvScenario\L1\L2\L3\L4]
"deep"="4"
EOF
{ printf '\xff\xfe'; sed 's/$/\r/' "$WORK/scratch.txt" | iconv -f UTF-8 -t UTF-16LE; } > "$WORK/scratch.reg"
zv_reg import "$(zv_winpath "$WORK/scratch.reg")"
zv_reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Ext' /f

printf '%s\r\n' \
  '        <k name="ZvScenario">' \
  '         <v name="be" value="0x00000102 (258)" type="REG_DWORD"/>' \
  '         <v name="bin" value="01 ab ff" type="REG_BINARY"/>' \
  '         <v name="dw" value="0x00010000 (65536)" type="REG_DWORD"/>' \
  '         <v name="dwm" value="0xffffffff (-1)" type="REG_DWORD"/>' \
  '         <v name="exp" value="%TEMP%" type="REG_EXPAND_SZ"/>' \
  '         <v name="multi" value="a' \
  'b" type="REG_MULTI_SZ"/>' \
  '         <v name="none" value="n"/>' \
  '         <v name="qw" value="0x0000000000000001" type="REG_QWORD"/>' \
  "         <v name=\"sz\" value=\"a&amp;b&quot;&lt;>'\"/>" \
  '         <k name="Default">' \
  '          <v name="(Default)" value="dflt"/>' \
  '         </k>' \
  '         <k name="Empty"/>' \
  '         <k name="L1">' \
  '          <k name="L2">' \
  '           <k name="L3">' \
  '            <k name="L4">' \
  '             <v name="deep" value="4"/>' \
  '            </k>' \
  '           </k>' \
  '          </k>' \
  '         </k>' \
  '        </k>' > "$WORK/expected.txt"

# --- save ------------------------------------------------------------------
rm -rf "$ZV_DOCS/zaduze"
zv_expect "save exits 0" "$(zv_exit "$AGENT" '-RegistrySave "s1" -DebugLog 1')" "0"
zv_expect "save writes both files" "$(ls "$SANDBOX" 2>/dev/null | tr '\n' ' ')" "s1_0.xml s1_1.xml "
zv_expect "the file begins with 3C 00, no byte-order mark" "$(od -An -tx1 -N2 "$SANDBOX/s1_0.xml" | tr -d ' ')" "3c00"
zv_expect "the declaration is the first line" "$(utf8 "$SANDBOX/s1_0.xml" | head -n 1)" $'<?xml version="1.0" encoding="UTF-8"?>\r'
zv_expect "index 1 holds the Ext subtree" \
  "$(utf8 "$SANDBOX/s1_1.xml" | sed -n '2,8p' | tr -d '\r' | sed 's/>$//; s/"\/$/"/' | tr -s ' ' | tr '\n' '|')" \
  ' <registry sequence="1"| <k name="HKEY_CURRENT_USER"| <k name="Software"| <k name="Microsoft"| <k name="Windows"| <k name="CurrentVersion"| <k name="Ext"|'
scratch_block "$SANDBOX/s1_0.xml" > "$WORK/actual.txt"
if cmp -s "$WORK/actual.txt" "$WORK/expected.txt"; then
  zv_ok "the scratch subtree is saved byte for byte as expected"
else
  zv_fail "the scratch subtree is saved byte for byte as expected" "$(diff "$WORK/expected.txt" "$WORK/actual.txt" | head -n 20)"
fi
log=$(latest_log)
zv_expect_match "save logs both files" "$log" 'INFO: Sandbox backup done: .*\\zaduze\\sandbox\\s1_0\.xml.*'
zv_expect_match "save logs the second file" "$log" 'Sandbox backup done: .*\\s1_1\.xml'

# --- restore over changed values --------------------------------------------
zv_reg add "$SCRATCH" /v dw /t REG_DWORD /d 5 /f
zv_reg add "$SCRATCH" /v sz /t REG_EXPAND_SZ /d changed /f
zv_reg add "$SCRATCH" /v added /t REG_SZ /d stays /f
zv_reg delete "$SCRATCH\\Empty" /f
zv_reg delete "$SCRATCH\\L1" /f
sleep 1  # a log file of its own
zv_expect "restore exits 0" "$(zv_exit "$AGENT" '-RegistryRestore "s1" -DebugLog 1')" "0"
zv_expect "a changed DWORD is back" "$(zv_reg_value "$SCRATCH" dw)" "REG_DWORD 0x10000"
zv_expect "a changed type and text are back" "$(zv_reg_value "$SCRATCH" sz)" "REG_SZ a&b\"<>'"
zv_expect "an added value keeps its data" "$(zv_reg_value "$SCRATCH" added)" "REG_SZ stays"
zv_expect "the empty key is created again" "$(zv_reg_exists "$SCRATCH\\Empty")" "yes"
zv_expect "the deep value is back" "$(zv_reg_value "$SCRATCH\\L1\\L2\\L3\\L4" deep)" "REG_SZ 4"
zv_expect "the default value is back" "$(zv_reg_query "$SCRATCH\\Default" </dev/null | grep -c 'dflt')" "1"
zv_expect "both files are deleted without -DebugSandbox" "$(ls "$SANDBOX" | wc -l)" "0"
log=$(latest_log)
zv_expect_match "restore logs both files" "$log" 'INFO: Sandbox restore done: .*\\s1_0\.xml'
zv_expect_match "restore logs the second file" "$log" 'INFO: Sandbox restore done: .*\\s1_1\.xml'
# The same snapshot saved again, restored byte for byte.
zv_exit "$AGENT" '-RegistrySave "s2"' >/dev/null 2>&1
zv_reg delete "$SCRATCH" /v added /f
zv_exit "$AGENT" '-RegistrySave "s3"' >/dev/null 2>&1
zv_expect "a restored subtree saves as before" "$(scratch_block "$SANDBOX/s3_0.xml" | cmp -s - "$WORK/expected.txt"; echo $?)" "0"
zv_expect "the later save carries the next number" "$(utf8 "$SANDBOX/s3_1.xml" | sed -n 2p)" $' <registry sequence="2">\r'

# --- -DebugSandbox; a restore puts back the older snapshot nobody holds too --
zv_expect "restore with -DebugSandbox 1 exits 0" "$(zv_exit "$AGENT" '-RegistryRestore "s3" -DebugSandbox 1' 2>/dev/null)" "0"
zv_expect "-DebugSandbox 1 keeps the files marked _debug_, the older snapshot's as well" "$(ls "$SANDBOX" | sort | tr '\n' ' ')" \
  "_debug_s2_0.xml _debug_s2_1.xml _debug_s3_0.xml _debug_s3_1.xml "
zv_expect "the older snapshot came back last" "$(zv_reg_value "$SCRATCH" added)" "REG_SZ stays"
zv_exit "$AGENT" '-RegistrySave "s4"' >/dev/null 2>&1
zv_reg add "$SCRATCH" /v again /t REG_SZ /d 1 /f
zv_exit "$AGENT" '-RegistrySave "s4"' >/dev/null 2>&1
zv_expect "saving an existing name overwrites its files" "$(scratch_block "$SANDBOX/s4_0.xml" | grep -c 'name="again"')" "1"
zv_exit "$AGENT" '-RegistryRestore "s4" -DebugSandbox 0' >/dev/null 2>&1
zv_expect "-DebugSandbox 0 deletes both" "$(ls "$SANDBOX" | sort | tr '\n' ' ')" \
  "_debug_s2_0.xml _debug_s2_1.xml _debug_s3_0.xml _debug_s3_1.xml "
zv_reg delete "$SCRATCH" /v again /f
sleep 1
zv_exit "$AGENT" '-RegistryRestore "missing" -DebugLog 1' >/dev/null 2>&1
zv_expect_match "a missing file is logged" "$(latest_log)" 'INFO: Sandbox restore failed: : .*\\missing_0\.xml'

# --- a parse error on line 9: its message box, what came before stays, the
# exit code says so and the file is kept ---
zv_reg delete "$SCRATCH" /f
printf '%s\r\n' \
  '<?xml version="1.0" encoding="UTF-8"?>' ' <registry>' '  <k name="HKEY_CURRENT_USER">' \
  '   <k name="Software">' '    <k name="Microsoft">' '     <k name="Windows">' \
  '      <k name="CurrentVersion">' '       <k name="Internet Settings">' \
  '        <k name="ZvScenario"> <v name="before" value="1"/> <v name="x" < value="2"/>' \
  '         <v name="after" value="3"/>' '        </k>' '       </k>' '      </k>' '     </k>' '    </k>' \
  '   </k>' '  </k>' ' </registry>' | iconv -f UTF-8 -t UTF-16LE > "$SANDBOX/broken_0.xml"
# Its other file is whole: half a pair is never replayed.
printf '%s\r\n' '<?xml version="1.0" encoding="UTF-8"?>' ' <registry>' ' </registry>' |
  iconv -f UTF-8 -t UTF-16LE > "$SANDBOX/broken_1.xml"
sleep 1
( zv_exit "$AGENT" '-RegistryRestore "broken" -DebugLog 1' > "$WORK/broken.exit" ) </dev/null >/dev/null 2>&1 &
text=""
for i in $(seq 1 100); do
  text=$(zv_tool wintext ZedudeVeri 2>/dev/null </dev/null)
  case "$text" in *"Parse error"*) break ;; esac
  sleep 0.2
done
zv_expect_match "the parse error is shown with its line" "$text" "Parse error in line 9 : \(Bad '<' symbol\)"
for i in $(seq 1 50); do
  zv_tool click ZedudeVeri OK >/dev/null 2>&1 </dev/null && break
  sleep 0.2
done
for i in $(seq 1 100); do [ -s "$WORK/broken.exit" ] && break; sleep 0.2; done
zv_expect "the agent ends with 1 once the box is dismissed: not replayed whole" "$(cat "$WORK/broken.exit" 2>/dev/null)" "1"
zv_expect "a value before the error line is applied" "$(zv_reg_value "$SCRATCH" before)" "REG_SZ 1"
zv_expect "a value after the error is not" "$(zv_reg_value "$SCRATCH" after)" ""
zv_expect_match "the restore logs why it failed" "$(latest_log)" 'ERROR: Sandbox restore failed: parse error, replay stopped: .*\\broken_0\.xml'
zv_expect "the file is kept, marked _failed_" "$(ls "$SANDBOX" | grep broken | tr '\n' ' ')" "_failed_broken_0.xml "
rm -rf "$ZV_DOCS/zaduze/sandbox"/*

zv_summary
