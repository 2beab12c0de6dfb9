#!/usr/bin/env bash
# The agent as a session program: single instance, keep-alive watch, the
# close message and its stop sequence, the tray menu's Exit, and the
# keyboard and mouse filters on a real Wine window.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/agent/common.sh"

# --- keep-alives, single instance, the close message -------------------------
start_agent '-DebugLog 1 -KeepAliveMillisec 1000 -ProtectAppCheat 0 -ProtectExplorerCheat 0 -ProtectIEToolbarCheat 0'
if zv_tool findwin "$TITLE" >/dev/null; then zv_ok "session agent found by its title"; else zv_fail "session agent found by its title"; fi

logs_before=$(ls "$LOGDIR" | wc -l)
# Another second, so that a second instance would open a file of its own;
# the session is kept alive meanwhile.
zv_tool post "$TITLE" 0x449 74 75 >/dev/null; sleep 0.6
zv_tool post "$TITLE" 0x449 74 75 >/dev/null; sleep 0.6
zv_tool post "$TITLE" 0x449 74 75 >/dev/null
zv_expect "second instance exits 0 during a session" "$(zv_exit "$AGENT" '-QueryCheatApp 1 -DebugLog 1 -TrustzoneQueryDomain "nodot"')" "0"
zv_expect "second instance does not even read its command line (no log file)" "$(ls "$LOGDIR" | wc -l)" "$logs_before"

for i in $(seq 1 8); do zv_tool post "$TITLE" 0x449 74 75 >/dev/null; sleep 0.5; done
zv_expect "keep-alives every 500 ms keep a 1000 ms agent alive for 4 s" "$(wait_agent_end 0)" "running"

zv_tool post "$TITLE" 0x10 0 0 >/dev/null                 # WM_CLOSE
zv_tool post "$TITLE" 0x448 72 9 >/dev/null               # close, wrong parameters
zv_tool post "$TITLE" 0x448 9 73 >/dev/null
zv_tool post "$TITLE" 0x449 74 75 >/dev/null
sleep 0.5
zv_tool post "$TITLE" 0x449 74 75 >/dev/null
zv_expect "WM_CLOSE and a close with other parameters leave it running" "$(wait_agent_end 0)" "running"

zv_tool send "$TITLE" 0x448 9 72 >/dev/null
zv_expect "UM_REZUV_CLOSE 9/72 ends it with exit code 0" "$(wait_agent_end 10)" "0"
# The guards write their own stop lines between the filters' and the last one.
STOP_TAIL='INFO: ProtectKeyCheatStop OK\|INFO: ProtectMouseCheatStop OK\|(INFO: ProtectAppCheatStop OK\|)?(INFO: ProtectExplorerCheatStop OK\|)?INFO: ZedudeVeri stopped\|$'
zv_expect_match "close line, then the stop sequence in order" "$(agent_log | tr '\n' '|')" \
  "INFO: ABOUT TO CLOSE by UM_REZUV_CLOSE\|$STOP_TAIL"
zv_expect_match "session start lines" "$(agent_log | tr '\n' '|')" \
  '^INFO: ZedudeVeri started\|INFO: exec option : -DebugLog 1 -KeepAliveMillisec 1000 [^|]*\|(INFO: ChangeRegistryIE [^|]*\|)?INFO: ProtectKeyCheatStart OK\|INFO: ProtectMouseCheatStart OK\|'

# --- the watch expires without keep-alives ---------------------------------
start_agent '-DebugLog 1 -ProtectKeyCheat 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectExplorerCheat 0'
for i in $(seq 1 6); do zv_tool post "$TITLE" 0x449 75 74 >/dev/null; sleep 0.25; done  # wrong parameters
zv_expect "without keep-alives a 1000 ms agent ends by itself, exit 0" "$(wait_agent_end 15)" "0"
zv_expect_match "the exact timer line" "$(agent_log)" \
  '^INFO: ABOUT TO CLOSE by timer ::  m_nKeepAliveIdleTime: 1100 > m_nKeepAliveIdleTime: 1000$'
zv_expect_match "stop sequence without hooks" "$(agent_log | tr '\n' '|')" \
  'INFO: ABOUT TO CLOSE by UM_REZUV_CLOSE\|(INFO: ProtectAppCheatStop OK\|)?(INFO: ProtectExplorerCheatStop OK\|)?INFO: ZedudeVeri stopped\|$'

# --- no watch with a period of 0; Exit from the tray menu -------------------
start_agent '-DebugLog 1 -KeepAliveMillisec 0 -ProtectAppCheat 0 -ProtectExplorerCheat 0'
sleep 2
zv_expect "period 0: no watch, still running after 2 s" "$(wait_agent_end 0)" "running"
zv_tool post "$TITLE" 0x111 0xE141 0 >/dev/null   # WM_COMMAND Exit, as the tray menu sends it
zv_expect "tray Exit ends the session with exit code 0" "$(wait_agent_end 10)" "0"
zv_expect_match "tray Exit runs the same stop sequence" "$(agent_log | tr '\n' '|')" "$STOP_TAIL"
zv_expect_match "no timer line without a watch" "$(agent_log | grep -c 'ABOUT TO CLOSE by timer')" '^0$'

# --- the tray icon's menu: About keeps the session, Exit ends it ------------
# (the mouse filter would swallow the right click on the icon, so it is off here)
start_agent '-DebugLog 1 -KeepAliveMillisec 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectExplorerCheat 0'
sleep 1.5
TRAY=$(xdotool search --name 'Wine System Tray' 2>/dev/null | head -n 1)
if [ -z "$TRAY" ]; then
  zv_fail "the tray icon is shown in Wine's system tray"
else
  zv_ok "the tray icon is shown in Wine's system tray"
  # tray_menu_pick DY: right-click the icon until the menu is open, then click
  # the item DY pixels below the cursor.
  tray_menu_pick() {
    local try
    for try in 1 2 3 4; do
      xdotool mousemove --window "$TRAY" 10 10 click 3; sleep 0.8
      if zv_tool findclass '#32768' >/dev/null; then xdotool mousemove_relative 30 "$1" click 1; return 0; fi
      xdotool key Escape; sleep 0.3
    done
    return 1
  }
  tray_mapped() { xwininfo -id "$TRAY" 2>/dev/null | grep -c 'IsViewable'; }
  zv_expect "the tray shows the agent's icon" "$(tray_mapped)" "1"
  zv_tool traydelete "$TITLE" 128 >/dev/null; sleep 0.5
  zv_expect "with its icon gone (as after a shell restart) the tray is empty" "$(tray_mapped)" "0"
  zv_tool sendregistered "$TITLE" TaskbarCreated >/dev/null; sleep 0.5
  zv_expect "TaskbarCreated puts the icon back" "$(tray_mapped)" "1"
  tray_menu_pick 37                                 # third item: Exit
  zv_expect "Exit in the tray menu ends the agent with exit code 0" "$(wait_agent_end 10)" "0"
  zv_expect_match "...after the full stop sequence" "$(agent_log | tr '\n' '|')" \
    'INFO: ProtectKeyCheatStop OK\|(INFO: ProtectAppCheatStop OK\|)?(INFO: ProtectExplorerCheatStop OK\|)?INFO: ZedudeVeri stopped\|$'

  # Wine's stand-alone tray window hides itself once a modal dialog has been
  # up, so About comes last, with a fresh agent.
  start_agent '-DebugLog 1 -KeepAliveMillisec 0 -ProtectMouseCheat 0 -ProtectAppCheat 0 -ProtectExplorerCheat 0'
  sleep 1.5
  ABOUT="ZedudeVeri 정보"
  tray_menu_pick 10                                 # first item: About
  zv_waitwin "$ABOUT" 5 >/dev/null
  zv_expect_match "About opens the About dialog" "$(zv_tool wintext "$ABOUT")" 'ZedudeVeri, '
  frame=$(zv_tool findwin "$TITLE"); about=$(zv_tool findwin "$ABOUT")
  if [ -n "$frame" ] && [ "$frame" != "$about" ]; then zv_ok "FindWindow by the title finds the frame, not the About box"; else zv_fail "FindWindow by the title finds the frame, not the About box" "frame=$frame about=$about"; fi
  zv_expect "the session runs on while About is open" "$(wait_agent_end 0)" "running"
  zv_tool click "$ABOUT" "확인" >/dev/null; sleep 0.5
  if zv_tool findwin "$ABOUT" >/dev/null; then zv_fail "OK closes About"; else zv_ok "OK closes About"; fi
  zv_expect "About closed, the session stays" "$(wait_agent_end 0)" "running"
fi
stop_agent

# --- the filters on a real window --------------------------------------------
TARGET_OUT="$WORK/target.txt"
# The target keeps writing at its own offset after we empty the file: drop the gap.
target_lines() { tr -d '\r\000' < "$TARGET_OUT"; }
( zv_wine64 "$ZV_BUILD64/tests/input_target.exe" "$(zv_winpath "$WORK")\\target.txt" ) </dev/null >/dev/null 2>&1 &
TARGET_JOB=$!
for i in $(seq 1 50); do grep -q ready "$TARGET_OUT" 2>/dev/null && break; sleep 0.1; done
WID=$(xdotool search --name "zv input target" 2>/dev/null | head -n 1)
if [ -z "$WID" ]; then
  zv_fail "input target window appears"
else
  focus() { xdotool windowfocus --sync "$WID" 2>/dev/null; xdotool mousemove --window "$WID" 100 100 2>/dev/null; sleep 0.2; }
  focus
  zv_key a F5; xdotool click 3; xdotool click 1; sleep 0.5
  zv_expect "without a session the window sees every key and button" \
    "$(target_lines | grep -v ready | tr '\n' ' ')" "key 41 key 74 rbutton lbutton "
  : > "$TARGET_OUT"
  start_agent '-DebugLog 1 -KeepAliveMillisec 0 -ProtectKeyList "f5,ctrl" -ProtectAppCheat 0 -ProtectExplorerCheat 0'
  focus
  zv_key F5 b ctrl+c F6; xdotool click 3; xdotool click 1; sleep 0.5
  zv_expect "listed keys and the right button are swallowed, others pass" \
    "$(target_lines | tr '\n' ' ')" "key 42 key 43 key 75 lbutton "
  stop_agent
  zv_expect_match "swallowed keys are logged as blocked" "$(agent_log)" \
    '^DEBUG: Key Event blocked : flag: 0x[ 0-9a-f]{2}, vkCode: 0x74, \(code:0, wParam:100, lParam:[0-9a-f]+\)$'
  zv_expect_match "other keys are logged as unblocked" "$(agent_log)" '^DEBUG: ### Key Event unblocked : .*vkCode: 0x42,'
  zv_expect_match "the right button is logged" "$(agent_log)" '^DEBUG: Mouse\(R\) Event blocked :$'
  : > "$TARGET_OUT"
  focus
  zv_key F5; sleep 0.3
  zv_expect "after the session keys pass again" "$(target_lines | tr '\n' ' ')" "key 74 "
  zv_tool post "zv input target" 0x10 0 0 >/dev/null
fi
wait "$TARGET_JOB" 2>/dev/null

zv_summary
