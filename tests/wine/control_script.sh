#!/usr/bin/env bash
# The control through JScript (cscript) as a real script client: defaults,
# writes and reads, every method's result with the recording stand-in agent,
# the dispatch-table names, the page's text files and their confinement.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

ctl_register64 || zv_fail "regsvr32 registers the control"
ctl_install_recorder 0x12345
mkdir -p "$ZV_DOCS/zaduze/doc/sub"
rm -f "$ZV_DOCS/zaduze/escape.txt" "$ZV_DOCS/escape.txt"
cp "$(dirname "$0")/control/script.js" "$ZV_WINE_WORK/ctl-script.js"

out=$(zv_wine64 cscript //nologo "$(zv_winpath "$ZV_WINE_WORK/ctl-script.js")" </dev/null 2>&1 | tr -d '\r')
while IFS= read -r line; do
  case "$line" in
    "ok - "*) zv_ok "js: ${line#ok - }" ;;
    "not ok - "*) zv_fail "js: ${line#not ok - }" ;;
  esac
done <<< "$out"
zv_expect_match "the script ran to its end" "$out" '^[0-9]+ passed, 0 failed$'

for f in "$ZV_DOCS/zaduze/escape.txt" "$ZV_DOCS/escape.txt" "$ZV_DOCS/zaduze/doc/t1.txt:stream"; do
  if [ -e "$f" ]; then zv_fail "no file written outside zaduze\\doc: $f"; else zv_ok "no file written outside zaduze\\doc: $(basename "$f")"; fi
done
zv_expect "the saved file holds UTF-16LE without BOM" "$(od -An -tx1 "$ZV_DOCS/zaduze/doc/t1.txt" | tr -s ' ')" " 78 00 0a 00 79 00"

# The command lines of the agent-command methods, in call order. DebugLog
# was 1 by then; the count always asks for a log.
expected=$(cat <<'L'
-ProtectAppExceptionList "calc.exe,,x" -ProtectAppBlackList "say \"hi\"\\" -ProtectExplorerExceptionList "http://exam/,시험" -DebugLog 1 -QueryCheatApp 1
-TrustzoneAddIP "10.0.0.1" -DebugLog 1
-TrustzoneAddDomain "exam.example" -DebugLog 1
-TrustzoneQueryIP "10.0.0.1" -DebugLog 1
-TrustzoneQueryDomain "exam.example" -DebugLog 1
L
)
zv_expect "agent command lines of the methods" "$(ctl_calls)" "$expected"
zv_expect "the black list reaches the agent unchanged" \
  "$(sed -n '4p' "$ZV_CTL_AGENT_DIR/args.txt" | cut -f2-)" 'say "hi"\'

ctl_unregister64
rm -rf "$ZV_DOCS/zaduze"
zv_summary
