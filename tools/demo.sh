#!/usr/bin/env bash
# The demo: a whole examination under Wine + Xvfb, played from the sample
# exam page (tools/container/exam_page.html) by the test container, which
# hosts the control the way the browser does. Started by `./run demo`, which
# prepares the prefix and exports its settings. Prints a short report of each
# step; screenshots and logs go to $ZV_DEMO_OUT.
set -u
source "$(dirname "$0")/wine/harness.sh"

OUT=${ZV_DEMO_OUT:-/tmp}
CONTAINER=$ZV_BUILD64/tools/container/zaduze_container.exe
GW=$ZV_BUILD64/tests/guard_windows.exe
LOGDIR=$ZV_DOCS/zaduze/log
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
step() { printf '\n--- %s\n' "$*"; }
IS='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
PF="$WINEPREFIX/drive_c/Program Files/Zaduze"
PF86="$WINEPREFIX/drive_c/Program Files (x86)/Zaduze"
# What the package put on the machine: files, the install folder value, the
# control's class in both registry views, the Add/Remove Programs entry.
show_install() {
  local f
  for f in "$PF/ZedudeVeri.exe" "$PF/Zaduze.dll" "$PF86/Zaduze.dll"; do
    if [ -f "$f" ]; then echo "    C:${f#$WINEPREFIX/drive_c}  $(stat -c %s "$f") bytes"; else echo "    C:${f#$WINEPREFIX/drive_c}  (none)"; fi
  done
  echo "    HKCU\SOFTWARE\Zaduze Path = $(zv_reg_query 'HKCU\SOFTWARE\Zaduze' /v Path | sed -n 's/.*REG_SZ *//p')"
  echo "    ZADUZE.ZaduzeCtrl.1 -> $(zv_reg_query 'HKCR\ZADUZE.ZaduzeCtrl.1\CLSID' /ve | sed -n 's/.*REG_SZ *//p')"
  local clsid='{9780D491-D11F-4447-889A-C2A0F3280C51}'
  echo "    64-bit view: $(zv_reg_query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve | sed -n 's/.*REG_SZ *//p')"
  echo "    32-bit view: $(zv_reg_query "HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\$clsid\\InprocServer32" /ve | sed -n 's/.*REG_SZ *//p')"
  echo "    Add/Remove Programs: $(zv_reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /v DisplayName | sed -n 's/.*REG_SZ *\(Zaduze.*\)/\1/p')"
}
export_settings() {  # export_settings FILE: the browser's settings as UTF-8 text
  zv_wine64 reg export "$IS" "$(zv_winpath "$WORK")\\settings.reg" /y >/dev/null 2>&1 </dev/null
  iconv -f UTF-16LE -t UTF-8 "$WORK/settings.reg" | tr -d '\r' > "$1"
}

# The desktop as a person sees it: windows with title bars in one Wine
# virtual desktop.
zv_virtual_desktop 1280x1024

step "1. Installation from the Windows Installer package (msiexec /i ... /qn)"
PKGDIR=$WORK/dist
if ! bash "$ZV_ROOT/tools/package/package.sh" "$PKGDIR" >"$WORK/package.log" 2>&1; then
  tail -n 20 "$WORK/package.log"; echo "  the package could not be built"; exit 1
fi
MSI=$(ls "$PKGDIR"/Zaduze-*-x64.msi)
echo "  package: $(basename "$MSI") ($(stat -c %s "$MSI") bytes)"
rc=$(zv_tool run 'C:\windows\system32\msiexec.exe' "msiexec /i $(zv_winpath "$MSI") /qn" | awk '{print $2}')
echo "  msiexec /i -> $rc"
show_install
mkdir -p "$LOGDIR"; rm -f "$LOGDIR"/*.log
export_settings "$OUT/settings-before.txt"

# The sample page with this desktop's programs: the test window that receives
# keys and Wine's shell (its tray) are excepted; "blacklisted.exe" must end.
# Wine has no browser windows to guard, so that guard stays off here. Without
# a window manager Wine can stall a thread for 2 s when the focus moves, so the
# agent waits 3 s for a keep-alive instead of 1 s.
PAGE=$WORK/exam_page.html
sed -e 's|name="ProtectAppExceptionList" value="[^"]*"|name="ProtectAppExceptionList" value="explorer.exe,input_target.exe"|' \
    -e 's|name="m_ProtectAppBlackList" value="[^"]*"|name="m_ProtectAppBlackList" value="blacklisted.exe"|' \
    -e 's|name="ProtectKeyList" value="[^"]*"|name="ProtectKeyList" value="ALT+TAB,CTRL,F5"|' \
    -e 's|name="ProtectExplorerCheat" value="1"|name="ProtectExplorerCheat" value="0"|' \
    -e 's|name="DebugLog" value="0"|name="DebugLog" value="1"|' \
    -e 's|name="KeepAliveMillisec" value="1000"|name="KeepAliveMillisec" value="3000"|' \
    "$ZV_ROOT/tools/container/exam_page.html" > "$PAGE"
echo "  the page's parameters:"
grep -o '<param name="[^"]*" value="[^"]*"' "$PAGE" | sed 's/<param name="\([^"]*\)" value="\([^"]*\)"/    \1 = \2/'

step "2. A cheat program and a black-listed one are running; a test window takes keys"
cp "$GW" "$WORK/cheat.exe"; cp "$GW" "$WORK/blacklisted.exe"
( zv_wine64 "$WORK/cheat.exe" -name "zv cheat" "Cheat sheet:v" ) </dev/null >/dev/null 2>&1 &
( zv_wine64 "$WORK/blacklisted.exe" -name "zv blacklisted" ) </dev/null >/dev/null 2>&1 &
( zv_wine64 "$ZV_BUILD64/tests/input_target.exe" "$(zv_winpath "$WORK")\\keys.txt" ) </dev/null >/dev/null 2>&1 &
zv_waitwin "Cheat sheet" 10 >/dev/null; zv_waitwin "zv input target" 10 >/dev/null
echo "  \"Cheat sheet\" of cheat.exe is open; $(zv_count_image blacklisted.exe) blacklisted.exe running"

step "3. The page is loaded: the control is created, snapshots and loosens the settings"
cat > "$WORK/calls.txt" <<'CALLS'
echo [page] AfterCreated: version and Windows
GetVersion()
GetOSVersion()
echo [page] our server among the trusted sites, forbidden programs, monitors
TrustzoneAddDomain("exam.example")
TrustzoneQueryDomain("exam.example")
GetCheatAppCount()
GetMonitorCount()
echo [page] the candidate begins
StartZaduzeApp()
sleep 12000
echo [page] the candidate hands in
SaveTextAsFile("answers.txt", "answer 1\nanswer 2")
StopZaduzeApp()
echo [page] the page is left
CALLS
( zv_wine64 "$CONTAINER" "$(zv_winpath "$PAGE")" --script "$(zv_winpath "$WORK")\\calls.txt" ) \
  </dev/null >"$WORK/page.txt" 2>&1 &
PAGE_JOB=$!
zv_waitwin ZedudeVeri 30 >/dev/null
echo "  the page started the protection: the agent's window \"ZedudeVeri\" is there"
sleep 1
zv_screenshot "$OUT/exam-started.png"
echo "  screenshot (the page's window with its title and status, the start notice bottom right): $OUT/exam-started.png"

step "4. During the exam"
if zv_tool waitgone "Cheat sheet" 5000; then echo "  the cheat program's window was closed"; else echo "  the cheat program's window is still open"; fi
for i in $(seq 1 30); do [ "$(zv_count_image blacklisted.exe)" = "0" ] && break; sleep 0.2; done
echo "  blacklisted.exe processes left: $(zv_count_image blacklisted.exe)"
# Inside the virtual desktop Wine's windows are not X windows of their own:
# the desktop's X window takes the focus and the click at the test window
# (placed at 100,100, 400x300) brings it to the front.
WID=$(xdotool search --name "zv input target" 2>/dev/null | head -n 1)
CLICK="100 100"
if [ -z "$WID" ]; then WID=$(xdotool search --name "Wine desktop" 2>/dev/null | head -n 1); CLICK="200 160"; fi
if [ -n "$WID" ]; then
  xdotool windowraise "$WID" 2>/dev/null; xdotool windowfocus --sync "$WID" 2>/dev/null
  xdotool mousemove --window "$WID" $CLICK click 1 2>/dev/null; sleep 0.5
  xdotool key F5 x ctrl+c y; sleep 0.5
  echo "  typed F5 x Ctrl+C y into the test window; it received: $(tr -d '\r\000' < "$WORK/keys.txt" | grep -v -E 'ready|button' | tr '\n' ' ')"
  echo "  (0x58 = X, 0x43 = C, 0x59 = Y: F5 and Ctrl were swallowed)"
fi
zv_screenshot "$OUT/exam-running.png"
echo "  screenshot: $OUT/exam-running.png"

step "5. The candidate hands in, the page is left"
wait "$PAGE_JOB"
echo "  what the page's script saw (container output):"
grep -v '^\[[0-9:.]*\] ' "$WORK/page.txt" | sed 's/^/    /'
zv_tool waitgone ZedudeVeri 5000 && echo "  the agent has ended"
zv_tool post "zv input target" 0x10 0 0 >/dev/null
export_settings "$OUT/settings-after.txt"
echo "  the browser's settings after the page, compared with before the page:"
if diff -q "$OUT/settings-before.txt" "$OUT/settings-after.txt" >/dev/null; then
  echo "    identical"
else
  echo "    values that existed before and differ now: $(diff "$OUT/settings-before.txt" "$OUT/settings-after.txt" | grep -c '^<')"
  echo "    what a restore cannot take back (it rewrites saved values and deletes nothing):"
  diff "$OUT/settings-before.txt" "$OUT/settings-after.txt" | grep '^[<>]' | sed 's/^/      /' | head -n 20
fi
echo "  snapshot files left in Documents\\zaduze\\sandbox: $(ls "$ZV_DOCS/zaduze/sandbox" 2>/dev/null | wc -l)"
echo "  the page's answers in Documents\\zaduze\\doc: $(tr -d '\r\000' < "$ZV_DOCS/zaduze/doc/answers.txt" 2>/dev/null | tr '\n' '|')"

step "6. The logs (Documents\\zaduze\\log)"
for f in "$LOGDIR"/*_ocx.log $(grep -l 'exec option : -WebSandboxMode' "$LOGDIR"/*_app.log 2>/dev/null); do
  [ -f "$f" ] || continue
  echo "  $(basename "$f"):"
  tr -d '\r' < "$f" | sed 's/^/    /' | head -n 40
  cp "$f" "$OUT"/
done
cp "$PAGE" "$OUT"/

step "7. The browser is killed in the middle of an exam; the next page puts the settings back"
EXT='HKCU\Software\Microsoft\Windows\CurrentVersion\Ext'
RUNKEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
export_both() {  # export_both FILE: Internet Settings and Ext as UTF-8 text
  local k
  for k in "$IS" "$EXT"; do
    zv_wine64 reg export "$k" "$(zv_winpath "$WORK")\\both.reg" /y >/dev/null 2>&1 </dev/null
    iconv -f UTF-16LE -t UTF-8 "$WORK/both.reg" | tr -d '\r'
  done > "$1"
}
export_both "$OUT/settings-before-crash.txt"
printf '%s\n' 'TrustzoneAddDomain("exam.example")' 'StartZaduzeApp()' 'sleep 60000' > "$WORK/crash.txt"
( zv_wine64 "$CONTAINER" "$(zv_winpath "$PAGE")" --script "$(zv_winpath "$WORK")\\crash.txt" ) </dev/null >/dev/null 2>&1 &
CRASH_JOB=$!
zv_waitwin ZedudeVeri 30 >/dev/null
sleep 3  # the window above may be a one-shot run's: the session is up by now
echo "  the exam runs; pending snapshot: $(ls "$ZV_DOCS/zaduze/sandbox" | tr '\n' ' ')"
zv_wine64 taskkill /f /im zaduze_container.exe </dev/null >/dev/null 2>&1
wait "$CRASH_JOB" 2>/dev/null
zv_tool waitgone ZedudeVeri 10000 >/dev/null
export_both "$WORK/crashed.txt"
echo "  the browser was killed; its settings now differ from before in $(diff "$OUT/settings-before-crash.txt" "$WORK/crashed.txt" | grep -c '^[<>]') lines"
echo "  the snapshot is still there: $(ls "$ZV_DOCS/zaduze/sandbox" | tr '\n' ' ')"
echo "  logon entry: $(zv_wine64 reg query "$RUNKEY" /v ZaduzeRecover 2>/dev/null </dev/null | tr -d '\r' | grep ZaduzeRecover | sed 's/^ *//')"
printf '%s\n' 'echo [page] the next exam page' 'GetVersion()' > "$WORK/next.txt"
zv_wine64 "$CONTAINER" "$(zv_winpath "$PAGE")" --script "$(zv_winpath "$WORK")\\next.txt" </dev/null >/dev/null 2>&1
zv_tool waitgone ZedudeVeri 10000 >/dev/null
export_both "$OUT/settings-after-recovery.txt"
echo "  the next page recovered the snapshot at its creation and restored its own at its end"
echo "  diff of the settings before the killed exam and now: $(diff "$OUT/settings-before-crash.txt" "$OUT/settings-after-recovery.txt" | grep -c '^[<>]') lines"
diff "$OUT/settings-before-crash.txt" "$OUT/settings-after-recovery.txt" | grep '^[<>]' | sed 's/^/    /' | head -n 20
echo "  pending snapshots: $(ls "$ZV_DOCS/zaduze/sandbox" | wc -l); logon entry: $(zv_wine64 reg query "$RUNKEY" /v ZaduzeRecover 2>/dev/null </dev/null | grep -c ZaduzeRecover)"

step "8. Uninstallation (msiexec /x ... /qn)"
rc=$(zv_tool run 'C:\windows\system32\msiexec.exe' "msiexec /x $(zv_winpath "$MSI") /qn" | awk '{print $2}')
echo "  msiexec /x -> $rc"
show_install
echo
echo "Screenshots, logs and the page are in $OUT"
