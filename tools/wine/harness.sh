# The Wine test harness, sourced by ./run and by the scenarios in tests/wine.
#
# zv_wine_start   a throwaway prefix with its own Xvfb display and HOME
# zv_wine_stop    wineserver of that prefix and Xvfb (by pid) go away; called from a trap
# zv_wine64 / zv_wine32 ARGS   run a 64-/32-bit Windows program under timeout
# zv_winpath PATH              the Z: path Wine sees for a Linux path
# zv_exit EXE CMDLINE          full 32-bit exit code of EXE run with exactly CMDLINE
# zv_findwin TITLE / zv_waitwin TITLE SECONDS / zv_post TITLE MSG WP LP / zv_send ... (through zvtool)
# zv_reg_query KEY [VALUE]     wine reg query; zv_reg ARGS: any reg.exe command, quiet
# zv_reg_value KEY NAME / zv_reg_exists KEY   one value's "TYPE DATA" / yes or no
# zv_key KEYSPEC              xdotool key into the focused window
# zv_screenshot FILE           the whole Xvfb screen as PNG
# zv_can_run32 / zv_can_test32 / zv_skip   whether 32-bit programs run here (at
#                              all / natively, for the i686 tests) / a check that cannot run here
# zv_ok / zv_fail / zv_expect / zv_expect_match / zv_summary   the scenario's checks
# zv_expect_exits EXE <<ROWS   a table of "check|command line|exit code" rows
# zv_gtest LOADER EXE LABEL    a GoogleTest program, one check per test
# zv_standalone                a scenario run on its own gets its own prefix
# zv_on_exit COMMAND / zv_wait_jobs   cleanups at exit / the scenario's background jobs
#
# Helpers of one family of scenarios live beside them: tests/wine/agent/common.sh
# (the agent and guard scenarios), tests/wine/control/common.sh (the control's).
#
# 64-bit programs always go through /usr/lib/wine/wine64: once wine32 is
# installed, plain `wine` becomes the 32-bit loader.

ZV_ROOT=${ZV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
ZV_WINE64_BIN=/usr/lib/wine/wine64
ZV_WINE32_BIN=/usr/lib/wine/wine
ZV_TIMEOUT=${ZV_TIMEOUT:-120}
ZV_BUILD64=${ZV_BUILD64:-$ZV_ROOT/build/mingw64}
ZV_BUILD32=${ZV_BUILD32:-$ZV_ROOT/build/mingw32}

zv_winpath() {
  case "$1" in
    [A-Za-z]:\\*) echo "$1" ;;  # already a Windows path
    *) local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}" ;;
  esac
}

zv_wine64() { timeout -k 5 "$ZV_TIMEOUT" "$ZV_WINE64_BIN" "$@"; }

# zv_can_run32: whether this machine runs 32-bit programs at all. The 32-bit
# Wine loader is itself a 32-bit Linux program, and a kernel built without
# 32-bit support refuses to start it ("Exec format error"); `./run` then has
# it emulated by qemu-i386 where it may (enable_run32 in ./run).
zv_can_run32() {
  if [ -z "${ZV_RUN32:-}" ]; then
    if timeout -k 5 60 "$ZV_WINE32_BIN" --version >/dev/null 2>&1 </dev/null; then ZV_RUN32=yes; else ZV_RUN32=no; fi
    export ZV_RUN32
  fi
  [ "$ZV_RUN32" = yes ]
}
ZV_NO_RUN32="this machine does not run 32-bit programs"
# zv_can_test32: whether the i686 builds' own tests run here: only where
# 32-bit programs run natively. Under emulation a 32-bit process takes up to
# a minute to start and Wine's 32-bit half is not faithful (processes that
# start others, or that raise an exception, crash in qemu); there 32-bit
# programs serve only the packages' registration capture.
zv_run32_emulated() { grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; }
zv_can_test32() { zv_can_run32 && ! zv_run32_emulated; }
zv_no_test32() {
  if zv_can_run32; then echo "32-bit programs are only emulated here (qemu-i386)"; else echo "$ZV_NO_RUN32"; fi
}
# An emulated 32-bit program is given five times as long.
zv_wine32() {
  local limit=$ZV_TIMEOUT
  zv_run32_emulated && limit=$((ZV_TIMEOUT * 5))
  timeout -k 5 "$limit" "$ZV_WINE32_BIN" "$@"
}

zv_wine_start() {
  ZV_WINE_WORK=$(mktemp -d /tmp/zvwine.XXXXXX)
  export WINEPREFIX=$ZV_WINE_WORK/prefix
  export HOME=$ZV_WINE_WORK/home
  export WINEDEBUG=-all
  # No desktop menu entries, and no offers to download Mono or Gecko (modal).
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  mkdir -p "$HOME"
  # A free display: lock files can race with other users of the machine, so
  # a display whose Xvfb does not come up is given up and the next one tried.
  local d i
  ZV_XVFB_PID=
  for d in $(seq 91 190); do
    if [ -e "/tmp/.X$d-lock" ] || [ -e "/tmp/.X11-unix/X$d" ]; then continue; fi
    Xvfb ":$d" -screen 0 1280x1024x24 -nolisten tcp >"$ZV_WINE_WORK/xvfb.log" 2>&1 &
    ZV_XVFB_PID=$!
    export DISPLAY=":$d"
    for i in $(seq 1 50); do
      kill -0 "$ZV_XVFB_PID" 2>/dev/null || break
      xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    if kill -0 "$ZV_XVFB_PID" 2>/dev/null && xdpyinfo >/dev/null 2>&1; then break; fi
    kill "$ZV_XVFB_PID" 2>/dev/null; wait "$ZV_XVFB_PID" 2>/dev/null
    ZV_XVFB_PID=
  done
  if [ -z "$ZV_XVFB_PID" ]; then
    echo "no Xvfb display could be started" >&2
    rm -rf "$ZV_WINE_WORK"; ZV_WINE_WORK=
    return 1
  fi
  ZV_DOCS="$HOME"   # Documents of the prefix's user points at $HOME
  # A copy of the run's template prefix, when there is one: a prefix whose
  # 32-bit half is emulated takes minutes to make, a copy seconds. Its user
  # folders point at the template's HOME: they are pointed at this one.
  if [ -n "${ZV_PREFIX_TEMPLATE:-}" ] && [ -d "$ZV_PREFIX_TEMPLATE/prefix" ] &&
     cp -a "$ZV_PREFIX_TEMPLATE/prefix" "$WINEPREFIX"; then
    local old_home link
    old_home=$(cat "$ZV_PREFIX_TEMPLATE/home")
    for link in "$WINEPREFIX"/drive_c/users/*/*; do
      if [ -L "$link" ] && [ "$(readlink "$link")" = "$old_home" ]; then ln -sfn "$HOME" "$link"; fi
    done
  fi
  # A persistent server first: starts drop from ~0.5 s to ~0.05 s, and the
  # helper processes that Wine starts with the first program (services,
  # winedevice, rpcss, the desktop's explorer) stay up for the whole run.
  # They inherit that first program's standard handles, so the first
  # programs write to files: a pipe held by them would never close and any
  # `$(wine ...)` would hang.
  wineserver -p 900 >/dev/null 2>&1 </dev/null
  # A new prefix takes seconds; minutes where 32-bit programs are emulated
  # (the 32-bit half registers its DLLs in 32-bit processes).
  timeout -k 5 600 "$ZV_WINE64_BIN" wineboot -i >"$ZV_WINE_WORK/wineboot.log" 2>&1 </dev/null
  # Hangul glyphs for dialogs (the popup's Korean notices).
  timeout -k 5 60 "$ZV_WINE64_BIN" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'MS Shell Dlg' /d NanumGothic /f >>"$ZV_WINE_WORK/wineboot.log" 2>&1 </dev/null
  zv_warmup
}

zv_warmup() {
  if [ -f "$ZV_BUILD64/tools/zvtool.exe" ]; then
    timeout -k 5 60 "$ZV_WINE64_BIN" "$ZV_BUILD64/tools/zvtool.exe" warmup >"$ZV_WINE_WORK/warmup.log" 2>&1 </dev/null
  fi
}

# zv_save_prefix_template DIR: a copy of the fresh prefix in DIR, for the
# prefixes made later in the run (export ZV_PREFIX_TEMPLATE=DIR). The server
# is ended first, so that the registry is on disk, and then started again.
zv_save_prefix_template() {
  timeout 60 wineserver -k >/dev/null 2>&1
  timeout 60 wineserver -w >/dev/null 2>&1
  mkdir -p "$1" && cp -a "$WINEPREFIX" "$1/prefix" && printf '%s\n' "$HOME" >"$1/home"
  local rc=$?
  wineserver -p 900 >/dev/null 2>&1 </dev/null
  zv_warmup
  return $rc
}

zv_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "${WINEPREFIX:-/nonexistent}" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "${ZV_XCOMPMGR_PID:-}" ]; then kill "$ZV_XCOMPMGR_PID" 2>/dev/null || true; fi
  if [ -n "${ZV_XVFB_PID:-}" ]; then
    kill "$ZV_XVFB_PID" 2>/dev/null || true
    wait "$ZV_XVFB_PID" 2>/dev/null || true
  fi
  if [ -n "${ZV_WINE_WORK:-}" ] && [ -z "${ZV_KEEP_WINE:-}" ]; then rm -rf "$ZV_WINE_WORK"; fi
  ZV_XVFB_PID=
}

zv_compositor() { xcompmgr -d "$DISPLAY" >/dev/null 2>&1 & ZV_XCOMPMGR_PID=$!; }

# Keeps zvtool's own exit status (not the filter's).
zv_tool() {
  zv_wine64 "$ZV_BUILD64/tools/zvtool.exe" "$@" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}

# zv_exit EXE CMDLINE: prints the exit code (signed decimal) of EXE.
zv_exit() {
  local out
  out=$(zv_tool run "$(zv_winpath "$1")" "$2")
  case "$out" in
    exit\ *) echo "$out" | awk '{print $2}' ;;
    *) echo "runner: $out" >&2; echo "none" ;;
  esac
}

# zv_waitwin TITLE SECONDS: polls until a top-level window has that title.
# (Polled from here rather than inside one zvtool run: a zvtool started in the
# very same instant as the program it waits for has been seen to fail early.)
zv_waitwin() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -le $deadline ]; do
    zv_tool findwin "$1" >/dev/null && return 0
    sleep 0.1
  done
  return 1
}

zv_agent() { echo "$ZV_BUILD64/agent/res/ZedudeVeri.exe"; }
zv_findwin() { zv_tool findwin "$1"; }
zv_post() { zv_tool post "$@"; }
zv_send() { zv_tool send "$@"; }
zv_reg_query() { zv_wine64 reg query "$@" 2>/dev/null | tr -d '\r'; }
# zv_reg_value KEY NAME: "TYPE DATA" of one value as reg query prints it ("" when absent).
zv_reg_value() {
  zv_reg_query "$1" /v "$2" </dev/null | awk -v n="$2" '$1 == n { $1 = ""; sub(/^ +/, ""); print; exit }'
}
# zv_reg_exists KEY: "yes" or "no".
zv_reg_exists() { zv_wine64 reg query "$1" >/dev/null 2>&1 </dev/null && echo yes || echo no; }
# zv_reg ARGS: reg.exe (add, delete, import ...), quiet; its exit status.
zv_reg() { zv_wine64 reg "$@" </dev/null >/dev/null 2>&1; }
# zv_count_image IMAGE: how many processes of that image name run.
zv_count_image() { zv_wine64 "$ZV_BUILD64/tests/guard_windows.exe" -countimage "$1" </dev/null 2>/dev/null | tr -d '\r'; }
zv_key() { xdotool key --delay 50 "$@"; }
zv_screenshot() { import -window root "$1"; }

# Agent log files of the current prefix, newest last.
zv_agent_logs() { ls -1tr "$ZV_DOCS"/zaduze/log/*_app.log 2>/dev/null; }

# --- a tiny test-case counter for the scenarios (TAP-like lines) -----------
ZV_PASSED=0
ZV_FAILED=0
ZV_SKIPPED=0
zv_skip() { ZV_SKIPPED=$((ZV_SKIPPED + 1)); echo "skip - $1"; }
zv_ok() { ZV_PASSED=$((ZV_PASSED + 1)); echo "ok - $1"; }
zv_fail() { ZV_FAILED=$((ZV_FAILED + 1)); echo "not ok - $1"; shift; [ $# -gt 0 ] && printf '    %s\n' "$@"; return 0; }
# zv_expect NAME ACTUAL EXPECTED
zv_expect() {
  if [ "$2" == "$3" ]; then zv_ok "$1"; else zv_fail "$1" "expected: $3" "actual:   $2"; fi
}
# zv_expect_match NAME TEXT REGEX
zv_expect_match() {
  if printf '%s' "$2" | grep -q -E -- "$3"; then zv_ok "$1"; else zv_fail "$1" "no match for: $3" "in: $(printf '%s' "$2" | head -c 2000)"; fi
}
zv_summary() {
  if [ "$ZV_SKIPPED" -gt 0 ]; then
    echo "scenario: $ZV_PASSED passed, $ZV_FAILED failed, $ZV_SKIPPED skipped"
  else
    echo "scenario: $ZV_PASSED passed, $ZV_FAILED failed"
  fi
}

# zv_expect_exits EXE: one check per row read from stdin, "NAME|CMDLINE|CODE":
# EXE run with exactly CMDLINE ends with exit code CODE. Rows run in order
# (a row may rely on what the rows before it did); blank and # lines are skipped.
zv_expect_exits() {
  local exe=$1 name cmdline code
  while IFS='|' read -r name cmdline code; do
    case "$name" in '' | '#'*) continue ;; esac
    zv_expect "$name" "$(zv_exit "$exe" "$cmdline" </dev/null)" "$code"
  done
}

# zv_gtest LOADER EXE LABEL [SECONDS]: a cross-compiled GoogleTest program
# under Wine, one check per test ("LABEL TestSuite.Test (N ms)"). A program
# that is missing, runs no test at all, or ends without a failed test but
# with another exit code than 0 (a crash, the timeout) is a failed check.
zv_gtest() {
  local name rc
  name=$(basename "$2" .exe)
  [ -f "$2" ] || { zv_fail "$3 $name.exe exists" "$2"; return; }
  local out
  # Output through a file, never a pipe: a Wine helper process that inherited
  # the pipe would keep it open.
  timeout -k 5 "${4:-120}" "$1" "$2" --gtest_color=no </dev/null >"$ZV_WINE_WORK/$name-gtest.out" 2>&1
  rc=$?
  out=$(tr -d '\r' < "$ZV_WINE_WORK/$name-gtest.out")
  local line n=0 failed=0
  while IFS= read -r line; do
    case "$line" in
      "[       OK ] "*) zv_ok "$3 ${line#\[       OK \] }"; n=$((n + 1)) ;;
      "[  FAILED  ] "*" ms)") zv_fail "$3 ${line#\[  FAILED  \] }"; n=$((n + 1)); failed=1 ;;
    esac
  done <<<"$out"
  if [ "$n" -eq 0 ]; then
    zv_fail "$3 $name ran" "$(printf '%s' "$out" | tail -n 20)"
  elif [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
    zv_fail "$3 $name exited $rc" "$(printf '%s' "$out" | tail -n 20)"
  fi
  printf '%s\n' "$out" | grep -E -A8 ': (Failure|error: )' | head -n 40
}

# --- exit hooks and background jobs -----------------------------------------
# zv_on_exit COMMAND: COMMAND runs when the scenario exits, the latest first
# (a scenario's own cleanup before the throwaway prefix of zv_standalone goes).
ZV_EXIT_HOOKS=()
zv_on_exit() {
  ZV_EXIT_HOOKS=("$1" "${ZV_EXIT_HOOKS[@]}")
  trap zv_run_exit_hooks EXIT
}
zv_run_exit_hooks() {
  local hook
  for hook in "${ZV_EXIT_HOOKS[@]}"; do eval "$hook"; done
}
# zv_wait_jobs: waits for the scenario's background jobs, not for the Xvfb
# or compositor the harness started in this shell (a bare `wait` would).
zv_wait_jobs() {
  local job
  for job in $(jobs -p); do
    [ "$job" = "${ZV_XVFB_PID:-}" ] || [ "$job" = "${ZV_XCOMPMGR_PID:-}" ] || wait "$job"
  done
}

# zv_standalone: a scenario run on its own (bash tests/wine/NAME.sh) gets its
# own prefix and display, stopped when it exits; inside ./run test nothing happens.
zv_standalone() {
  [ -n "${ZV_IN_HARNESS:-}" ] && return 0
  zv_wine_start || { echo "scenario: 0 passed, 1 failed"; exit 1; }
  zv_on_exit zv_wine_stop
}

# zv_virtual_desktop [WxH]: from now on every window of the prefix lives in
# one Wine virtual desktop of that size (default 1280x1024): windows get
# title bars and frames, and the desktop shows a taskbar with the tray. The
# server is restarted so that the setting takes effect.
zv_virtual_desktop() {
  local size=${1:-1280x1024}
  zv_wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
  zv_wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$size" /f </dev/null >/dev/null 2>&1
  timeout 20 wineserver -k >/dev/null 2>&1
  timeout 20 wineserver -w >/dev/null 2>&1
  wineserver -p 900 >/dev/null 2>&1 </dev/null
  # A new prefix takes seconds; minutes where 32-bit programs are emulated
  # (the 32-bit half registers its DLLs in 32-bit processes).
  # The first program starts the desktop's explorer; it must not hold a pipe.
  timeout -k 5 60 "$ZV_WINE64_BIN" cmd /c exit >"$ZV_WINE_WORK/desktop.log" 2>&1 </dev/null
}
