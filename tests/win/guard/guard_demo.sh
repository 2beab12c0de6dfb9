#!/usr/bin/env bash
# Demo step of the application guard, for tools/demo.sh (run inside its
# prefix, with ZV_BUILD64 and the harness's settings exported):
#   bash tests/win/guard/guard_demo.sh "$OUT"
# A session with the application guard on: a "cheat" program's window is
# asked to close and closes, a black-listed program is ended, the excepted
# shell keeps its tray. Prints what happens and copies the session's log.
source "$(dirname "$0")/../../../tools/wine/harness.sh"

OUT=${1:-${ZV_DEMO_OUT:-/tmp}}
AGENT=$(zv_agent)
GW="$ZV_BUILD64/tests/guard_windows.exe"
LOGDIR="$ZV_DOCS/zaduze/log"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
running() { zv_wine64 "$GW" -countimage "$1" </dev/null 2>/dev/null | tr -d '\r'; }

cp "$GW" "$WORK/cheat.exe"
cp "$GW" "$WORK/blacklisted.exe"
( zv_wine64 notepad ) </dev/null >/dev/null 2>&1 &
zv_waitwin "Untitled - Notepad" 10 >/dev/null
( zv_wine64 "$WORK/cheat.exe" -name "zv cheat" "Cheat sheet:v" ) </dev/null >/dev/null 2>&1 &
( zv_wine64 "$WORK/blacklisted.exe" -name "zv blacklisted" ) </dev/null >/dev/null 2>&1 &
zv_waitwin "Cheat sheet" 10 >/dev/null
zv_waitwin "zv blacklisted" 10 >/dev/null
sleep 0.5
zv_screenshot "$OUT/guard-before.png"
echo "  before the session: window \"Cheat sheet\" of cheat.exe and Wine's notepad on screen," \
  "$(running blacklisted.exe) blacklisted.exe running (screenshot $OUT/guard-before.png)"
echo "  asking the agent how many forbidden windows there are:" \
  "$(zv_exit "$AGENT" '-QueryCheatApp 1 -ProtectAppExceptionList "notepad.exe,explorer.exe"') (notepad excepted)"

rm -rf "$LOGDIR"; mkdir -p "$LOGDIR"
SESSION='-DebugLog 1 -KeepAliveMillisec 0 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectExplorerCheat 0 -ProtectAppExceptionList "notepad.exe,explorer.exe" -ProtectAppBlackList "blacklisted.exe"'
echo "  starting: ZedudeVeri $SESSION"
( zv_exit "$AGENT" "$SESSION" > /dev/null ) </dev/null &
SESSION_JOB=$!
zv_waitwin ZedudeVeri 10 >/dev/null
if zv_tool waitgone "Cheat sheet" 6000 >/dev/null; then echo "  \"Cheat sheet\" was closed"; else echo "  \"Cheat sheet\" is still open"; fi
zv_screenshot "$OUT/guard-after.png"
if zv_tool findwin "Untitled - Notepad" >/dev/null; then echo "  notepad (excepted) is still open"; fi
echo "  blacklisted.exe running now: $(running blacklisted.exe) (screenshot $OUT/guard-after.png)"
zv_tool send ZedudeVeri 0x448 9 72 >/dev/null
wait "$SESSION_JOB"
zv_tool post "Untitled - Notepad" 0x10 0 0 >/dev/null
zv_tool post "zv cheat" 0x10 0 0 >/dev/null
echo "  the session's log:"
for f in $(zv_agent_logs); do
  tr -d '\r' < "$f" | grep -E 'ProtectApp|killed app|stopped' | sed 's/^/    /'
  cp "$f" "$OUT/guard-$(basename "$f")"
done
