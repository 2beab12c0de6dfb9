#!/usr/bin/env bash
# The demo: runs the real deliverables under Wine + Xvfb and reports each step.
# Started by `./run demo`, which prepares the prefix and exports its settings.
set -u
source "$(dirname "$0")/wine/harness.sh"

OUT=${ZV_DEMO_OUT:-/tmp}
AGENT=$(zv_agent)
LOGDIR="$ZV_DOCS/zaduze/log"
step() { printf '\n--- %s\n' "$*"; }
show_log() { tr -d '\r' < "$1" | sed 's/^/    /'; }

step "1. One-shot commands: the agent runs one command and exits with its result"
for line in '-QueryCheatApp 1 -DebugLog 1' '-TrustzoneQueryDomain "Sample.NET" -DebugLog 1' \
            '-RegistrySetLoose 1 -DebugLog 1'; do
  printf '  ZedudeVeri %-50s -> exit %s\n' "$line" "$(zv_exit "$AGENT" "$line")"
  sleep 1  # one log file per second
done

step "2. A protection session: tray icon, keyboard filter, keep-alives"
TARGET="$OUT/target-keys.txt"
( zv_wine64 "$ZV_BUILD64/tests/input_target.exe" "$(zv_winpath "$OUT")\\target-keys.txt" ) </dev/null >/dev/null 2>&1 &
for i in $(seq 1 50); do grep -q ready "$TARGET" 2>/dev/null && break; sleep 0.1; done
rm -rf "$LOGDIR"; mkdir -p "$LOGDIR"
SESSION='-DebugLog 1 -KeepAliveMillisec 1000 -ProtectKeyList "ALT+TAB,CTRL,F5" -ProtectAppCheat 0 -ProtectExplorerCheat 0'
echo "  starting: ZedudeVeri $SESSION"
( zv_exit "$AGENT" "$SESSION" > "$OUT/session-exit.txt" ) </dev/null &
SESSION_JOB=$!
zv_waitwin ZedudeVeri 10 >/dev/null && echo "  the hidden window \"ZedudeVeri\" is there: $(zv_tool findwin ZedudeVeri)"
# The control's part: a keep-alive every 500 ms (the agent's period is 1000 ms).
( while true; do zv_tool post ZedudeVeri 0x449 74 75 >/dev/null; sleep 0.5; done ) &
KEEPALIVE_JOB=$!
echo "  keep-alive messages every 500 ms from now on"
sleep 1.5
zv_screenshot "$OUT/session-tray.png"
echo "  screenshot with the tray icon (top left, Wine's system tray): $OUT/session-tray.png"

WID=$(xdotool search --name "zv input target" 2>/dev/null | head -n 1)
if [ -n "$WID" ]; then
  xdotool windowfocus --sync "$WID" 2>/dev/null; sleep 0.2
  echo "  typing F5, x, Ctrl+C, y into a test window (F5 and Ctrl are listed)"
  xdotool key F5 x ctrl+c y; sleep 0.5
  echo "  the window received: $(tr -d '\r\000' < "$TARGET" | grep -v ready | tr '\n' ' ')"
fi

sleep 4
if zv_tool findwin ZedudeVeri >/dev/null; then echo "  4 s later the agent is still running"; fi
kill "$KEEPALIVE_JOB" 2>/dev/null; wait "$KEEPALIVE_JOB" 2>/dev/null
echo "  stopping it with the close message (UM_REZUV_CLOSE 9/72)"
zv_tool send ZedudeVeri 0x448 9 72 >/dev/null
wait "$SESSION_JOB"
echo "  agent exit code: $(cat "$OUT/session-exit.txt")"
zv_tool post "zv input target" 0x10 0 0 >/dev/null

step "3. The session's log (Documents\\zaduze\\log)"
for f in $(zv_agent_logs); do
  echo "  $(basename "$f"):"
  show_log "$f"
  cp "$f" "$OUT"/
done
echo
echo "Screenshots and logs are in $OUT"
