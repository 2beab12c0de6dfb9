#!/usr/bin/env bash
# The control with the real agent: a session started, kept alive and stopped;
# an agent killed from outside is started again; a page left without a stop
# lets the agent end by itself; the forbidden-program count before and
# during a session. The protections that would act on this desktop (keys,
# mouse, windows, browsers) are switched off by the page.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

AGENT_DIR=$ZV_BUILD64/agent/res
LOGDIR=$ZV_DOCS/zaduze/log
ctl_register64
ctl_set_path "$AGENT_DIR"
mkdir -p "$LOGDIR"
rm -f "$LOGDIR"/*.log
PAGE=$ZV_WINE_WORK/ctl-session.html
ctl_page "$PAGE" "DebugLog=1" "WebSandboxMode=0" "AppNotification=0" "ProtectKeyCheat=0" "ProtectMouseCheat=0" \
  "ProtectAppCheat=0" "ProtectExplorerCheat=0" "ProtectIEToolbarCheat=0" "KeepAliveMillisec=1000"

# The agent log that recorded a session (its command line starts with -WebSandboxMode).
session_logs() { grep -l 'exec option : -WebSandboxMode' "$LOGDIR"/*_app.log 2>/dev/null; }

# 1. Start, keep alive, stop: the agent stops on the close message.
out=$(ctl_container "$PAGE" "StartZaduzeApp()" "sleep 1600" "StopZaduzeApp()")
zv_expect_match "StartZaduzeApp starts the real agent" "$out" '^StartZaduzeApp\(\) -> 0$'
if zv_tool waitgone ZedudeVeri 3000; then zv_ok "the agent is gone after StopZaduzeApp"; else zv_fail "the agent is gone after StopZaduzeApp"; fi
log=$(cat $(session_logs) 2>/dev/null | tr -d '\r')
zv_expect_match "the agent closed on the control's message" "$log" 'ABOUT TO CLOSE by UM_REZUV_CLOSE'
if echo "$log" | grep -q 'ABOUT TO CLOSE by timer'; then zv_fail "keep-alives kept the agent from timing out"; else zv_ok "keep-alives kept the agent from timing out"; fi
ocx=$(cat "$LOGDIR"/*_ocx.log 2>/dev/null | tr -d '\r')
zv_expect_match "the control's own log: started" "$ocx" 'INFO: Zaduze\(ocx\) started'
zv_expect_match "the control's own log: keep-alives" "$ocx" 'INFO: SENT keep alive'
ctl_expect_order "the control's own log: stop, then the end" "$ocx" 'INFO: StopZaduzeApp : ok' 'INFO: Zaduze\(ocx\) stopped'
rm -f "$LOGDIR"/*.log
sleep 1.1

# 2. The agent killed from outside: the control starts it again within two ticks.
ctl_container "$PAGE" "StartZaduzeApp()" "sleep 6000" "StopZaduzeApp()" > "$ZV_WINE_WORK/ctl-kill.txt" &
pid=$!
zv_tool waitwin ZedudeVeri 10000 >/dev/null || zv_fail "the session agent's window appears"
sleep 0.7
zv_wine64 taskkill /f /im ZedudeVeri.exe </dev/null >/dev/null 2>&1
if zv_tool waitgone ZedudeVeri 2000; then zv_ok "the agent was killed"; else zv_fail "the agent was killed"; fi
if zv_tool waitwin ZedudeVeri 4000 >/dev/null; then zv_ok "a new agent window appears"; else zv_fail "a new agent window appears"; fi
wait $pid
ctl_expect_order "the restart is logged" "$(cat "$LOGDIR"/*_ocx.log 2>/dev/null | tr -d '\r')" \
  'INFO: failed to find tray app : trying to restart ZaduzeApp' 'INFO: StartZaduzeApp : ok'
if zv_tool waitgone ZedudeVeri 3000; then zv_ok "the restarted agent stops with the page's stop"; else zv_fail "the restarted agent stops with the page's stop"; fi
rm -f "$LOGDIR"/*.log
sleep 1.1

# 3. The page is left without a stop: the agent ends after its keep-alive period.
ctl_container "$PAGE" "StartZaduzeApp()" "sleep 1200" >/dev/null
if zv_tool waitgone ZedudeVeri 4000; then zv_ok "the agent ends by itself after the page"; else zv_fail "the agent ends by itself after the page"; fi
zv_expect_match "by its keep-alive watch" "$(cat $(session_logs) 2>/dev/null | tr -d '\r')" 'ABOUT TO CLOSE by timer'
rm -f "$LOGDIR"/*.log
sleep 1.1

# 4. The count: a foreign program counts before a session, nothing during one.
zv_wine64 notepad </dev/null >/dev/null 2>&1 &
zv_tool waitwin "Untitled - Notepad" 5000 >/dev/null
out=$(ctl_container "$PAGE" "GetCheatAppCount()" "StartZaduzeApp()" "sleep 800" "GetCheatAppCount()" "StopZaduzeApp()")
first=$(echo "$out" | sed -n 's/^GetCheatAppCount() -> //p' | sed -n 1p)
second=$(echo "$out" | sed -n 's/^GetCheatAppCount() -> //p' | sed -n 2p)
if [ -n "$first" ] && [ "$first" -ge 1 ]; then zv_ok "before the session the count sees notepad ($first)"; else zv_fail "before the session the count sees notepad" "got: $first"; fi
zv_expect "during the session the second agent refuses: 0" "$second" "0"
zv_post "Untitled - Notepad" 0x10 0 0 >/dev/null
zv_tool waitgone ZedudeVeri 3000 >/dev/null

# 5. The template exam page plays through with every protection on: the
# container's frame is spared like the browser's, the snapshot is restored.
TEMPLATE=$(dirname "$0")/../../tools/container
cp "$TEMPLATE/exam_page.html" "$TEMPLATE/exam_page.calls" "$ZV_WINE_WORK/"
out=$(ctl_container "$ZV_WINE_WORK/exam_page.html" --script "$(zv_winpath "$ZV_WINE_WORK/exam_page.calls")")
zv_expect_match "template: the session starts" "$out" '^StartZaduzeApp\(\) -> 0$'
ctl_expect_order "template: the answers are saved and read back" "$out" '^LoadTextFromFile\("answers.txt"\) -> "answer 1$' '^answer 2"$'
zv_expect_match "template: the session stops" "$out" '^StopZaduzeApp\(\) -> 0$'
zv_expect_match "template: the page is left normally" "$out" '^released, references left 0$'
zv_tool waitgone ZedudeVeri 3000 >/dev/null

ctl_set_path ""
ctl_unregister64
rm -rf "$ZV_DOCS/zaduze"
zv_summary
