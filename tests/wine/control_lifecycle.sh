#!/usr/bin/env bash
# With the recording stand-in installed as the agent: the exact command lines
# the control sends at creation and destruction and their order, the session
# start, the keep-alives, the stop, the restart of a vanished agent, and a
# start without an install folder.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

ctl_register64
ctl_install_recorder 0
PAGE=$ZV_WINE_WORK/ctl-life.html
TS='[0-9]{8}-[0-9]{6}'

# Defaults: save, settings; restore under the same name at destruction.
ctl_page "$PAGE"
out=$(ctl_container "$PAGE" Text "echo agent runs so far" )
calls=$(ctl_calls)
zv_expect "defaults: three agent runs" "$(echo "$calls" | wc -l)" "3"
zv_expect_match "defaults: first the snapshot" "$(echo "$calls" | sed -n 1p)" "^-RegistrySave \"$TS\" -DebugLog 0\$"
zv_expect "defaults: then the settings" "$(echo "$calls" | sed -n 2p)" "-RegistrySetLoose 1 -DebugLog 0"
name=$(echo "$calls" | sed -n 1p | sed 's/^-RegistrySave "\([^"]*\)".*/\1/')
zv_expect "defaults: restore of the same snapshot at the end" "$(echo "$calls" | sed -n 3p)" \
  "-RegistryRestore \"$name\" -DebugSandbox 0 -DebugLog 0"
ctl_expect_order "AfterCreated arrives during activation" "$out" '^event AfterCreated$' '^activate -> 0x00000000$'
zv_expect_match "the window text reads Zaduze" "$out" '^Text -> "Zaduze"$'
zv_expect_match "GetVersion after creation" "$(ctl_container "$PAGE" 'GetVersion()')" '^GetVersion\(\) -> "1\.4\.4\.0"$'

# WebSandboxMode 0 at creation: no snapshot; set to 1 by script, there is
# still no snapshot to restore, and no agent is started for it.
ctl_clear_records
ctl_page "$PAGE" "WebSandboxMode=0"
ctl_container "$PAGE" "WebSandboxMode = 1" >/dev/null
zv_expect "WebSandboxMode 0: only the settings, no restore without a snapshot" "$(ctl_calls)" "-RegistrySetLoose 1 -DebugLog 0"

# A page that tears the control down from its AfterCreated handler: the
# browser goes on, the creation stops there (no snapshot, no settings, so
# nothing to restore); later calls still answer, a closed control starts no
# session (nothing could keep it alive), a deactivated one still can.
while IFS='|' read -r action expected start; do
  ctl_clear_records
  ctl_page "$PAGE"
  out=$(ctl_container "$PAGE" --on-created "$action" 'TrustzoneAddDomain("exam.example")' 'StartZaduzeApp()' \
    'sleep 500' 'StopZaduzeApp()' Text)
  zv_expect "AfterCreated $action: only the page's own calls reach the agent" \
    "$(ctl_calls | sed 's/ .*//' | tr '\n' ' ')" "$expected"
  zv_expect_match "AfterCreated $action: the teardown is carried out" "$out" "^$action -> 0x00000000\$"
  zv_expect_match "AfterCreated $action: StartZaduzeApp afterwards" "$out" "^StartZaduzeApp\\(\\) -> $start\$"
  zv_expect_match "AfterCreated $action: the control is still there" "$out" '^Text -> "Zaduze"$'
  zv_expect_match "AfterCreated $action: the container ends normally" "$out" '^released, references left 0$'
done <<'T'
close|-TrustzoneAddDomain |-1
deactivate|-TrustzoneAddDomain -WebSandboxMode |0
T

# DebugSandbox 1 with DebugLog 1: a second snapshot named _loose.
ctl_clear_records
ctl_page "$PAGE" "DebugSandbox=1" "DebugLog=1"
ctl_container "$PAGE" >/dev/null
calls=$(ctl_calls)
zv_expect "DebugSandbox: four agent runs" "$(echo "$calls" | wc -l)" "4"
zv_expect_match "DebugSandbox: snapshot" "$(echo "$calls" | sed -n 1p)" "^-RegistrySave \"$TS\" -DebugLog 1\$"
zv_expect "DebugSandbox: settings" "$(echo "$calls" | sed -n 2p)" "-RegistrySetLoose 1 -DebugLog 1"
zv_expect_match "DebugSandbox: second snapshot with _loose" "$(echo "$calls" | sed -n 3p)" "^-RegistrySave \"${TS}_loose\" -DebugLog 1\$"
name=$(echo "$calls" | sed -n 1p | sed 's/^-RegistrySave "\([^"]*\)".*/\1/')
zv_expect "DebugSandbox: restore keeps the files" "$(echo "$calls" | sed -n 4p)" \
  "-RegistryRestore \"$name\" -DebugSandbox 1 -DebugLog 1"

# A session: the session command line with the page's values, keep-alives
# every 500 ms, the close message on stop; a list with quotes and
# backslashes reaches the agent unchanged.
ctl_clear_records
ctl_page "$PAGE" "WebSandboxMode=0" "AppNotification=0" "ProtectKeyList=ALT+TAB,CTRL" \
  "m_ProtectAppBlackList=say &quot;hi&quot; C:\\dir\\" "KeepAliveMillisec=1500" "ProtectIEToolbarCheat=0"
out=$(ctl_container "$PAGE" "StartZaduzeApp()" "sleep 1800" "StopZaduzeApp()")
session=$(ctl_calls | sed -n 2p)
zv_expect "session command line" "$session" \
  '-WebSandboxMode 0 -ProtectKeyCheat 1 -ProtectKeyList "ALT+TAB,CTRL" -ProtectMouseCheat 1 -ProtectAppCheat 1 -ProtectAppExceptionList "" -ProtectAppBlackList "say \"hi\" C:\dir\\" -KeepAliveMillisec 1500 -ProtectExplorerCheat 1 -ProtectExplorerExceptionList "" -ProtectIEToolbarCheat 0 -DebugLog 0 -DebugSandbox 0'
blk=$(awk 'BEGIN{RS=""} NR==2' "$ZV_CTL_AGENT_DIR/args.txt" | grep -A1 -P '^\d+\t-ProtectAppBlackList$' | tail -1 | cut -f2-)
zv_expect "the black list arrives unchanged" "$blk" 'say "hi" C:\dir\'
zv_expect_match "StartZaduzeApp returns 0" "$out" '^StartZaduzeApp\(\) -> 0$'
n=$(ctl_messages | grep -c keepalive)
if [ "$n" -ge 2 ] && [ "$n" -le 4 ]; then zv_ok "keep-alives every 500 ms ($n in 1.8 s)"; else zv_fail "keep-alives every 500 ms" "got $n"; fi
zv_expect "the stop sends the close message" "$(ctl_messages | tail -1)" "close"
zv_expect "as many keep-alive log lines as keep-alives" "$(echo "$out" | grep -c 'INFO: SENT keep alive')" "$n"
zv_expect_match "start and stop are logged" "$out" 'INFO: StartZaduzeApp : ok'
zv_expect_match "stop is logged" "$out" 'INFO: StopZaduzeApp : ok'

# Stop right after start (no tick yet): the agent is ended by its handle.
ctl_clear_records
out=$(ctl_container "$PAGE" "StartZaduzeApp()" "StopZaduzeApp()" "sleep 300")
zv_expect "stop before the first tick sends no close message" "$(ctl_messages | grep -c close)" "0"
if zv_tool waitgone ZedudeVeri 2000; then zv_ok "the agent is gone after the stop"; else zv_fail "the agent is gone after the stop"; fi

# An agent that does not answer the close message: the stop gives up on it
# within seconds (not the 30 s the stand-in hangs) and ends it.
ctl_clear_records
touch "$ZV_CTL_AGENT_DIR/hang.txt"
out=$(ctl_container "$PAGE" "StartZaduzeApp()" "sleep 1200" "StopZaduzeApp()")
rm -f "$ZV_CTL_AGENT_DIR/hang.txt"
zv_expect "the hung agent got the close message" "$(ctl_messages | tail -1)" "close (not answered)"
zv_expect_match "the stop returns 0" "$out" '^StopZaduzeApp\(\) -> 0$'
zv_expect_match "the stop ends the agent that did not answer" "$out" 'INFO: StopZaduzeApp : agent not answering, ended'
# From the last keep-alive to the stop's line, by the log's wall-clock seconds.
secs() { echo "$1" | sed -n "s/^\[\([0-9]*\):\([0-9]*\):\([0-9]*\)\..*$2.*/\1 \2 \3/p" | tail -1 |
  awk '{ print $1 * 3600 + $2 * 60 + $3 }'; }
stop=$(secs "$out" 'StopZaduzeApp : ok') last=$(secs "$out" 'SENT keep alive')
took=$(( (${stop:-0} - ${last:-86400} + 86400) % 86400 ))  # across midnight too
if [ -n "$stop" ] && [ -n "$last" ] && [ "$took" -lt 15 ]; then zv_ok "the stop gave up on it (${took} s)"; else zv_fail "the stop gave up on it" "took $took s"; fi
if zv_tool waitgone ZedudeVeri 2000; then zv_ok "the hung agent is gone"; else zv_fail "the hung agent is gone"; fi

# The agent vanishes during a session: the control starts it again.
ctl_clear_records
ctl_container "$PAGE" "StartZaduzeApp()" "sleep 3000" "StopZaduzeApp()" > "$ZV_WINE_WORK/ctl-restart.txt" &
pid=$!
zv_tool waitwin ZedudeVeri 3000 >/dev/null
sleep 1
zv_post ZedudeVeri 0x10 0 0 >/dev/null   # WM_CLOSE: the stand-in ends
wait $pid
out=$(cat "$ZV_WINE_WORK/ctl-restart.txt")
zv_expect "a new agent is started with the current values" "$(ctl_calls | grep -c '^-WebSandboxMode 0 ')" "2"
zv_expect_match "the restart is logged" "$out" 'INFO: failed to find tray app : trying to restart ZaduzeApp'
zv_expect "the restarted agent is closed by the stop" "$(ctl_messages | tail -1)" "close"

# The About box, modal over the page; its property page.
ctl_container "$PAGE" "AboutBox()" "echo after the box" > "$ZV_WINE_WORK/ctl-about.txt" &
pid=$!
if zv_tool waitwin "About Zaduze Control" 5000; then zv_ok "AboutBox shows the About box"; else zv_fail "AboutBox shows the About box"; fi
zv_expect_match "the About box names the version" "$(zv_tool wintext "About Zaduze Control")" 'Version 1\.4\.4\.0'
zv_tool click "About Zaduze Control" OK
wait $pid
zv_expect_match "the page goes on when it is closed" "$(cat "$ZV_WINE_WORK/ctl-about.txt")" '^after the box$'
zv_expect_match "one property page, General" "$(ctl_container "$PAGE" --no-activate --pages)" \
  '^page \{3A09F545-C31F-458E-90CA-8113A981F0C8\} "General" [0-9]+x[0-9]+$'

# No install folder: the start fails and sets nothing up.
ctl_set_path ""
ctl_clear_records
out=$(ctl_container "$PAGE" "StartZaduzeApp()" "sleep 700" "GetCheatAppCount()")
zv_expect_match "StartZaduzeApp without an install folder returns -1" "$out" '^StartZaduzeApp\(\) -> -1$'
zv_expect_match "and logs its failure" "$out" 'INFO: StartZaduzeApp : failed'
zv_expect "and no tick runs" "$(echo "$out" | grep -c 'keep alive\|tray app')" "0"
zv_expect_match "a one-shot command without the agent returns -1" "$out" '^GetCheatAppCount\(\) -> -1$'

ctl_unregister64
zv_summary
