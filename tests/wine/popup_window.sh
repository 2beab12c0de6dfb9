#!/usr/bin/env bash
# The notification popup on the Xvfb desktop: its GoogleTest program (64- and
# 32-bit), then the popup shown by popup_driver the way the control shows it,
# looked at through screenshots (with a compositor, so alpha is real), clicked
# and dragged with the X pointer; then all of it again at 144 DPI (150 %),
# where the popup must be one and a half times as large with no text cut.
#
# ZV_POPUP_DOCS=DIR also writes the README screenshots (popup-*.png) there.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone

WORK=$ZV_WINE_WORK
STATUS=$WORK/popup-status.txt
SHOTS=${ZV_POPUP_DOCS:-$WORK}
CONVERT=/usr/bin/convert
DRIVER=$ZV_BUILD64/tests/win/popup/popup_driver.exe

X11KEY='HKCU\Software\Wine\X11 Driver'
DESKTOP='HKCU\Control Panel\Desktop'
LOGPIXELS=$(zv_reg_value "$DESKTOP" LogPixels | awk '{print $2}')
cleanup() {
  [ -n "${DRIVER_PID:-}" ] && kill "$DRIVER_PID" 2>/dev/null
  [ -n "${ZV_XCOMPMGR_PID:-}" ] && kill "$ZV_XCOMPMGR_PID" 2>/dev/null
  zv_reg delete "$X11KEY" /v Managed /f
  if [ -n "$LOGPIXELS" ]; then
    zv_reg add "$DESKTOP" /v LogPixels /t REG_DWORD /d $((LOGPIXELS)) /f
  else
    zv_reg delete "$DESKTOP" /v LogPixels /f
  fi
}
zv_on_exit cleanup
# Without a window manager, Wine waits two seconds for every managed window
# it hides or destroys; unmanaged windows do not wait. (The other scenarios
# keep managed windows: their tray menus and focus rely on it.) The harness
# maps the dialog font to NanumGothic for Hangul glyphs.
zv_reg add "$X11KEY" /v Managed /d N /f
zv_reg add "$DESKTOP" /v LogPixels /t REG_DWORD /d 96 /f

# --- the GoogleTest program ------------------------------------------------
zv_gtest "$ZV_WINE64_BIN" "$ZV_BUILD64/tests/win/popup/popup_win_tests.exe" "win64"
if zv_can_test32; then
  zv_gtest "$ZV_WINE32_BIN" "$ZV_BUILD32/tests/win/popup/popup_win_tests.exe" "win32"
else
  zv_skip "win32 popup_win_tests ($(zv_no_test32))"
fi

# --- the driver ------------------------------------------------------------
st() { { tr -d '\r' <"$STATUS"; } 2>/dev/null | awk -v k="$1" '$1 == k { $1 = ""; print substr($0, 2) }'; }
wait_for() {  # wait_for KEY VALUE: up to 10 s
  local i
  for i in $(seq 1 100); do
    [ "$(st "$1")" == "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
post() { zv_tool post ZvPopupDriver "$@" >/dev/null; }
WM_APP=32768
hex() {  # hex FILE X Y: the pixel as #RRGGBB
  "$CONVERT" "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- | sed -n 's/.*\(#[0-9A-Fa-f]\{6\}\).*/\1/p' | tail -n 1
}
colours() {  # colours FILE W H X Y: number of distinct colours in the area
  "$CONVERT" "$1" -crop "${2}x${3}+$4+$5" +repage -format '%k' info:
}

# start_driver TEXT: the driver in the background, its popup opaque.
start_driver() {
  rm -f "$STATUS"
  zv_wine64 "$DRIVER" -text "$1" -display 600000 -status "$(zv_winpath "$WORK")\\popup-status.txt" -seconds 90 \
    </dev/null >/dev/null 2>&1 &
  DRIVER_PID=$!
  wait_for alpha 255
}
# text_fits NAME: the control's text extent lies inside its client area.
text_fits() {
  local tw th cw ch
  read -r _ tw th cw ch <<<"$(st text | awk -v n="$1" '$1 == n')"
  if [ -n "$cw" ] && [ "$tw" -le "$cw" ] && [ "$th" -le "$ch" ]; then
    zv_ok "$2: the $1's text (${tw}x$th) fits its control (${cw}x$ch)"
  else
    zv_fail "$2: the $1's text fits its control" "text and client: $(st text | awk -v n="$1" '$1 == n')"
  fi
}

zv_compositor

if ! start_driver 0; then
  zv_fail "the popup fades in to 255" "$(cat "$STATUS" 2>/dev/null)"
  zv_summary
  exit 0
fi
zv_ok "the popup fades in to 255 and its display timer runs"
# Alpha reaches 255 one fade step before the fade-in timer ends, so the
# display timer may start a moment after alpha 255 is first seen.
if wait_for timers "0 444 0"; then
  zv_ok "display timer 444 is running alone"
else
  zv_expect "display timer 444 is running alone" "$(st timers)" "0 444 0"
fi

read -r wl wt wr wb <<<"$(st work)"
read -r l t r b <<<"$(st rect)"
W96=$((r - l))
H96=$((b - t))
zv_expect "laid out for 96 DPI" "$(st dpi)" "96"
read -r sw sh <<<"$(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')"
zv_expect "work area is the Xvfb screen" "$wl $wt $wr $wb" "0 0 $sw $sh"
zv_expect "one pixel clear of the work area's right edge" "$r" "$((wr - 1))"
zv_expect "flush with the work area's bottom edge" "$b" "$wb"
zv_expect "topmost and layered" "$(st topmost) $(st layered)" "1 1"
zv_expect "not activated" "$(st foreground)" "0"

read -r fr fg fb <<<"$(st face)"
FACE=$(printf '#%02X%02X%02X' "$fr" "$fg" "$fb")
zv_screenshot "$WORK/shown.png"
zv_expect "outer frame line" "$(hex "$WORK/shown.png" "$l" "$t")" "#7B969C"
zv_expect "inner frame line" "$(hex "$WORK/shown.png" $((l + 1)) $((b - 2)))" "#7B969C"
zv_expect "background inside the frame" "$(hex "$WORK/shown.png" $((l + 2)) $((b - 3)))" "$FACE"
read -r pl pt pr pb <<<"$(st picture)"
zv_expect "picture is 48 x 48" "$((pr - pl)) $((pb - pt))" "48 48"
zv_expect "picture's transparent corner shows the background" "$(hex "$WORK/shown.png" "$pl" "$pt")" "$FACE"
zv_expect "picture's other corner too" "$(hex "$WORK/shown.png" $((pr - 1)) $((pb - 1)))" "$FACE"
zv_expect "picture's shield is drawn" "$(hex "$WORK/shown.png" $((pl + 24)) $((pt + 40)))" "#224E96"

# The three messages of the control, for the README.
n=0
for name in started session-started session-stopped; do
  post $((WM_APP + 1)) $n 0
  post $((WM_APP + 2)) 0 0
  sleep 0.3
  wait_for alpha 255 && wait_for timers "0 444 0"
  sleep 0.3
  zv_screenshot "$WORK/text$n.png"
  "$CONVERT" "$WORK/text$n.png" -crop "$((r - l + 40))x$((b - t + 30))+$((l - 30))+$((t - 30))" +repage \
    "$SHOTS/popup-$name.png"
  n=$((n + 1))
done
read -r kl kt kr kb <<<"$(st link)"
lw=$((kr - kl))
lh=$((kb - kt))
zv_expect_match "the link's text is drawn in blue" \
  "$("$CONVERT" "$WORK/text2.png" -crop "${lw}x${lh}+$kl+$kt" +repage -depth 8 txt:- | grep -c '#0000FF')" '^[1-9][0-9]*$'
text_fits title "96 DPI"
text_fits link "96 DPI"

# A long message, then a short one: nothing of the long one stays.
post $((WM_APP + 1)) 3 0
sleep 0.5
zv_screenshot "$WORK/long.png"
third=$((lw / 3))
zv_expect_match "the long message fills the link's right third" "$(colours "$WORK/long.png" "$third" "$lh" $((kr - third)) "$kt")" '^([2-9]|[1-9][0-9]+)$'
post $((WM_APP + 1)) 0 0
sleep 0.5
zv_screenshot "$WORK/short.png"
zv_expect "the short message leaves the right third clean" "$(colours "$WORK/short.png" "$third" "$lh" $((kr - third)) "$kt")" "1"
zv_expect "... in the background colour" "$(hex "$WORK/short.png" $((kr - 2)) $((kt + lh / 2)))" "$FACE"

# Half opacity through the compositor: the background blends with the desktop.
post $((WM_APP + 2)) 128 0
if wait_for alpha 128 && wait_for timers "0 444 0"; then
  sleep 0.3
  zv_screenshot "$WORK/half.png"
  x=$((l + 5))
  y=$((b - 5))
  under=$(hex "$WORK/half.png" $((l - 10)) "$y")  # the desktop is one colour
  seen=$(hex "$WORK/half.png" "$x" "$y")
  expected=$((((16#${under:1:2}) * 127 + fr * 128) / 255))
  got=$((16#${seen:1:2}))
  if [ $((got - expected)) -le 3 ] && [ $((expected - got)) -le 3 ]; then
    zv_ok "alpha 128 blends the popup with the desktop ($seen over $under)"
  else
    zv_fail "alpha 128 blends the popup with the desktop" "under $under, face $FACE, seen $seen, red expected about $expected"
  fi
else
  zv_fail "ShowAlert with maximum alpha 128 settles" "$(cat "$STATUS")"
fi

# A click on the message hides the popup and notifies once.
post $((WM_APP + 2)) 0 0
wait_for alpha 255
xdotool mousemove $((kl + 15)) $((kt + lh / 2)) click 1
wait_for visible 0
zv_expect "a click on the link hides the popup" "$(st visible)" "0"
sleep 0.5
zv_expect "one notification, with the link's id" "$(st clicks)" "1 204"

# A press elsewhere drags it; the top edge stops at the work area's top.
post $((WM_APP + 2)) 0 0
wait_for alpha 255
read -r l t r b <<<"$(st rect)"
x=$((l + 150))
y=$((b - 10))
xdotool mousemove "$x" "$y" mousedown 1
sleep 0.2
xdotool mousemove "$x" $((y - 100))
sleep 0.2
zv_expect "dragging" "$(st dragging)" "1"
zv_expect "the popup follows the pointer" "$(st rect)" "$l $((t - 100)) $r $((b - 100))"
xdotool mousemove "$x" 3
sleep 0.2
xdotool mousemove "$x" 1 mouseup 1
sleep 0.3
zv_expect "dragged past the top, it stops at the work area's top" "$(st rect)" "$l $wt $r $((wt + b - t))"
zv_expect "the drag is over and it is still shown" "$(st dragging) $(st visible)" "0 1"
zv_expect "no notification from the drag" "$(st clicks)" "1 204"

post 16 0 0
wait "$DRIVER_PID"
DRIVER_PID=

# --- 144 DPI (150 %) -------------------------------------------------------
# Wine reports LogPixels to every process started after the change; the
# GoogleTest program's DPI tests run again there.
zv_reg add "$DESKTOP" /v LogPixels /t REG_DWORD /d 144 /f
GTEST_FILTER='PopupResourceTest.*:PopupTest.Dpi*' \
  zv_gtest "$ZV_WINE64_BIN" "$ZV_BUILD64/tests/win/popup/popup_win_tests.exe" "win64 144dpi"

if start_driver 1 && wait_for timers "0 444 0"; then
  sleep 0.3
  read -r l t r b <<<"$(st rect)"
  zv_expect "laid out for 144 DPI" "$(st dpi)" "144"
  # 1.5 times the 96 DPI size, halves rounded up.
  zv_expect "one and a half times the size of the 96 DPI popup ($W96 x $H96)" \
    "$((r - l)) $((b - t))" "$(((W96 * 3 + 1) / 2)) $(((H96 * 3 + 1) / 2))"
  zv_expect "two pixels clear of the right edge, flush with the bottom" "$r $b" "$((wr - 2)) $wb"
  zv_screenshot "$WORK/dpi144.png"
  y=$(((t + b) / 2))
  zv_expect "the frame is three pixels wide" \
    "$(for x in $l $((l + 1)) $((l + 2)) $((l + 3)); do hex "$WORK/dpi144.png" "$x" "$y"; done | tr '\n' ' ')" \
    "#7B969C #7B969C #7B969C $FACE "
  read -r pl pt pr pb <<<"$(st picture)"
  zv_expect "picture is 72 x 72" "$((pr - pl)) $((pb - pt))" "72 72"
  zv_expect "picture's transparent corners show the background" \
    "$(hex "$WORK/dpi144.png" "$pl" "$pt") $(hex "$WORK/dpi144.png" $((pr - 1)) $((pb - 1)))" "$FACE $FACE"
  zv_expect "picture's shield is drawn" "$(hex "$WORK/dpi144.png" $((pl + 36)) $((pt + 60)))" "#224E96"
  read -r kl kt kr kb <<<"$(st link)"
  zv_expect_match "the link's text is drawn in blue" \
    "$("$CONVERT" "$WORK/dpi144.png" -crop "$((kr - kl))x$((kb - kt))+$kl+$kt" +repage -depth 8 txt:- | grep -c '#0000FF')" \
    '^[1-9][0-9]*$'
  text_fits title "144 DPI"
  text_fits link "144 DPI"
  "$CONVERT" "$WORK/dpi144.png" -crop "$((r - l + 60))x$((b - t + 45))+$((l - 45))+$((t - 45))" +repage \
    "$SHOTS/popup-session-started-150.png"
else
  zv_fail "the popup fades in at 144 DPI" "$(cat "$STATUS" 2>/dev/null)"
fi
post 16 0 0
wait "$DRIVER_PID"
DRIVER_PID=

zv_summary
