#!/usr/bin/env bash
# The agent as a program: full exit codes through the runner, its folders,
# its log file (name, first stamp, CR LF lines) and the options it reads.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone

AGENT=$(zv_agent)
LOGDIR="$ZV_DOCS/zaduze/log"

# The runner reports all 32 bits of an exit code (the shell sees one byte).
zv_expect "runner reads a negative exit code" "$(zv_exit 'C:\windows\system32\cmd.exe' 'cmd /c exit -2')" "-2"
zv_expect "runner reads a large exit code" "$(zv_exit 'C:\windows\system32\cmd.exe' 'cmd /c exit 70000')" "70000"

rm -rf "$ZV_DOCS/zaduze"
zv_expect "one-shot agent without log exits 0" "$(zv_exit "$AGENT" '-DebugLog 0 -RegistrySetLoose 1')" "0"
for sub in log sandbox doc; do
  if [ -d "$ZV_DOCS/zaduze/$sub" ]; then zv_ok "creates zaduze\\$sub under Documents"; else zv_fail "creates zaduze\\$sub under Documents"; fi
done
zv_expect "no log file without -DebugLog" "$(ls "$LOGDIR" | wc -l)" "0"

zv_expect "one-shot agent with log exits 0" "$(zv_exit "$AGENT" '-DebugLog 1 -ProtectKeyList "alt+tab, ctrl" -RegistrySetLoose 1')" "0"
files=$(ls "$LOGDIR")
zv_expect_match "log file is named by its start time and app" "$files" '^[0-9]{8}-[0-9]{6}_app\.log$'
log=$(cat "$LOGDIR"/*_app.log)
first=$(printf '%s' "$log" | head -n 1)
zv_expect_match "first line: stamp ending .000 and the start text" "$first" $'^\\[[0-9]{2}:[0-9]{2}:[0-9]{2}\\.000\\] INFO: ZedudeVeri started\r$'
second=$(printf '%s' "$log" | sed -n 2p)
zv_expect_match "second line: the command line as received" "$second" $'INFO: exec option : -DebugLog 1 -ProtectKeyList "alt\\+tab, ctrl" -RegistrySetLoose 1\r$'
zv_expect "every line ends in CR LF" "$(grep -c $'\r$' "$LOGDIR"/*_app.log)" "$(wc -l < "$(ls "$LOGDIR"/*_app.log)")"

# A later agent in another second opens its own file.
sleep 1.1
zv_exit "$AGENT" '-DebugLog 7 -RegistrySetLoose 1' >/dev/null
zv_expect "each run opens its own file" "$(ls "$LOGDIR" | wc -l)" "2"

# Which command runs when several are given: the first of the dispatch order.
SANDBOX="$ZV_DOCS/zaduze/sandbox"
count=$(zv_exit "$AGENT" '-QueryCheatApp 1')
# Check name | command line | exit code; rows in order (a row may look at
# what the one before it did).
zv_expect_exits "$AGENT" <<ROWS
count beats save: the exit code is the count|-QueryCheatApp 1 -RegistrySave "prec"|$count
add-IP beats add-domain|-TrustzoneAddDomain "prec.example" -TrustzoneAddIP "10.9.8.7"|0
...the address was added|-TrustzoneQueryIP "10.9.8.7"|0
...the domain was not|-TrustzoneQueryDomain "prec.example"|-1
query-IP beats query-domain|-TrustzoneQueryDomain "nodot" -TrustzoneQueryIP "10.9.8.7"|0
a host without a dot|-TrustzoneQueryDomain "nodot"|-2
save beats restore|-RegistryRestore "prec2" -RegistrySave "prec2"|0
ROWS
zv_expect "count beats save: no snapshot written" "$(ls "$SANDBOX" | grep -c '^prec_')" "0"
zv_expect "...both snapshot files written" "$(ls "$SANDBOX" | grep -c '^prec2_[01]\.xml$')" "2"
rm -rf "$ZV_DOCS/zaduze"

zv_summary
