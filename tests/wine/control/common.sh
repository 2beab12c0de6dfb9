# Shared by the control scenarios (tests/wine/control_*.sh): the control's
# DLL and container, the recording stand-in agent, pages. Sourced after
# tools/wine/harness.sh and zv_standalone (it needs the prefix's work folder).
ZV_CTL_DLL64=$ZV_BUILD64/control/res/Zaduze.dll
ZV_CTL_DLL32=$ZV_BUILD32/control/res/Zaduze.dll
ZV_CTL_CONTAINER=$ZV_BUILD64/tools/container/zaduze_container.exe
ZV_CTL_RECORDER=$ZV_BUILD64/tests/control_recorder.exe
ZV_CTL_AGENT_DIR=$ZV_WINE_WORK/ctl-agent
ZV_CTL_CLSID='{9780D491-D11F-4447-889A-C2A0F3280C51}'
ZV_CTL_LIBID='{226602AD-68F4-443D-AA07-6AF1412B8192}'

ctl_register64() { zv_wine64 regsvr32 /s "$(zv_winpath "$ZV_CTL_DLL64")" </dev/null >/dev/null 2>&1; }
ctl_unregister64() { zv_wine64 regsvr32 /s /u "$(zv_winpath "$ZV_CTL_DLL64")" </dev/null >/dev/null 2>&1; }

# ctl_set_path FOLDER|"" : the install folder value the control reads.
ctl_set_path() {
  if [ -z "$1" ]; then
    zv_reg delete 'HKCU\SOFTWARE\Zaduze' /v Path /f
  else
    zv_reg add 'HKCU\SOFTWARE\Zaduze' /v Path /d "$(zv_winpath "$1")" /f
  fi
}

# ctl_install_recorder [EXITCODE]: the stand-in as ZedudeVeri.exe, records cleared.
ctl_install_recorder() {
  rm -rf "$ZV_CTL_AGENT_DIR"
  mkdir -p "$ZV_CTL_AGENT_DIR"
  cp "$ZV_CTL_RECORDER" "$ZV_CTL_AGENT_DIR/ZedudeVeri.exe"
  [ -n "${1:-}" ] && echo "$1" > "$ZV_CTL_AGENT_DIR/exitcode.txt"
  ctl_set_path "$ZV_CTL_AGENT_DIR"
}
ctl_clear_records() { rm -f "$ZV_CTL_AGENT_DIR"/calls.txt "$ZV_CTL_AGENT_DIR"/args.txt "$ZV_CTL_AGENT_DIR"/messages.txt; }
ctl_calls() { cat "$ZV_CTL_AGENT_DIR/calls.txt" 2>/dev/null; }
ctl_messages() { cat "$ZV_CTL_AGENT_DIR/messages.txt" 2>/dev/null; }

# ctl_page FILE [PARAM=VALUE ...]: an exam page with an object element.
ctl_page() {
  local file=$1
  shift
  {
    echo '<html><body>'
    echo "<object id=\"Zaduze\" classid=\"clsid:${ZV_CTL_CLSID:1:36}\" width=\"200\" height=\"50\">"
    local p
    for p in "$@"; do echo "  <param name=\"${p%%=*}\" value=\"${p#*=}\">"; done
    echo '</object></body></html>'
  } > "$file"
}

# ctl_container PAGE [ARGS ...]: runs the container, stdout and stderr merged, CR dropped.
ctl_container() {
  local page=$1
  shift
  zv_wine64 "$ZV_CTL_CONTAINER" "$(zv_winpath "$page")" "$@" </dev/null 2>&1 | tr -d '\r'
}

# ctl_expect_order NAME TEXT REGEX1 REGEX2: a line matching REGEX2 follows a
# line matching REGEX1.
ctl_expect_order() {
  if printf '%s\n' "$2" | awk -v a="$3" -v b="$4" 'f && $0 ~ b {ok=1} $0 ~ a {f=1} END {exit !ok}'; then
    zv_ok "$1"
  else
    zv_fail "$1" "no line /$4/ after /$3/" "in: $(printf '%s' "$2" | head -c 2000)"
  fi
}
