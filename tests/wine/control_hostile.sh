#!/usr/bin/env bash
# Hostile input: a random script client (cscript, the control never
# activated) and a random page in the container (calls before activation,
# activation, calls, deactivation and closing in random order, calls after
# close), both bounded by count and time. The host never crashes, every
# command line that reaches the recording stand-in agent carries its command,
# and nothing is written outside Documents\zaduze; under a site policy that
# refuses them, nothing reaches the agent and nothing is written at all.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

ctl_register64
ctl_install_recorder 0
mkdir -p "$ZV_DOCS/zaduze/doc/sub"
cp "$(dirname "$0")/control/hostile.js" "$ZV_WINE_WORK/ctl-hostile.js"
DRIVE_C=$WINEPREFIX/drive_c
touch "$ZV_WINE_WORK/before-hostile"
sleep 1
SEED=${ZV_HOSTILE_SEED:-$(( $(date +%s) % 100000 ))}
echo "# hostile seed $SEED"

# Every command line must name a one-shot command with a value the agent
# keeps, or be a session's.
check_calls() {
  local bad
  bad=$(ctl_calls | grep -Ev \
    -e '^-WebSandboxMode -?[0-9]+ -ProtectKeyCheat ' \
    -e '^-Trustzone(AddIP|AddDomain|QueryIP|QueryDomain) "([^-"]|\\")' \
    -e ' -DebugLog 1 -QueryCheatApp 1$' \
    -e '^-Registry(Save|Restore) "[0-9]{8}-[0-9]{6}' \
    -e '^-RegistryRecover 1 ' \
    -e '^-RegistrySetLoose 1 ')
  zv_expect "$1: every command line reaching the agent carries its command" "$bad" ""
}

# 1. The script client: up to 10000 calls or 40 s.
ctl_clear_records
start=$(date +%s)
out=$(zv_wine64 cscript //nologo "$(zv_winpath "$ZV_WINE_WORK/ctl-hostile.js")" "$SEED" 10000 40 </dev/null 2>&1 | tr -d '\r')
rc=${PIPESTATUS[0]}
zv_expect "script client: the host ends normally" "$rc" 0
zv_expect_match "script client: the run ends" "$out" '^calls [0-9]+ errors [0-9]+$'
echo "# script client: $(echo "$out" | grep '^calls') in $(( $(date +%s) - start )) s, $(ctl_calls | wc -l) agent starts"
check_calls "script client"

# 2. A random page in the container, from calls before activation to calls
# after close: 1000 statements.
ctl_clear_records
big=$(head -c 100000 /dev/zero | tr '\0' 'x')
RANDOM=$SEED
names=(Text GetVersion ProtectKeyList DebugLog WebSandboxMode KeepAliveMillisec ProtectAppBlackList
  SaveTextAsFile LoadTextFromFile GetMonitorCount GetCheatAppCount TrustzoneAddIP TrustzoneAddDomain
  TrustzoneQueryIP TrustzoneQueryDomain StopZaduzeApp NoSuchMember)
vals=('""' '"-x"' '"a\0b"' '"\0"' '"exam.example"' '"..\\escape.txt"' '"C:\\escape.txt"' '"t.txt"' 40000 -1 0
  '"1e10"' "\"$big\"")
{
  for i in $(seq 1 1000); do
    case $((RANDOM % 12)) in
      0) echo activate ;;
      1) echo deactivate ;;
      2) echo close ;;
      *)
        n=${names[RANDOM % ${#names[@]}]}
        a=()
        for k in $(seq 1 $((RANDOM % 4))); do a+=("${vals[RANDOM % ${#vals[@]}]}"); done
        case $((RANDOM % 3)) in
          0) echo "$n = ${a[0]:-\"\"}" ;;
          1) echo "$n" ;;
          *) (IFS=,; echo "$n(${a[*]})") ;;
        esac ;;
    esac
  done
} > "$ZV_WINE_WORK/ctl-hostile.calls"
ctl_page "$ZV_WINE_WORK/ctl-hostile.html" "AppNotification=0"
start=$(date +%s)
out=$(ZV_TIMEOUT=90 ctl_container "$ZV_WINE_WORK/ctl-hostile.html" --no-activate --script "$(zv_winpath "$ZV_WINE_WORK/ctl-hostile.calls")" | tr -d '\0')
zv_expect_match "container page: the host ends normally" "$out" '^released, references left 0$'
echo "# container page: $(echo "$out" | grep -c ' -> ') calls in $(( $(date +%s) - start )) s, $(ctl_calls | wc -l) agent starts"
check_calls "container page"

# Nothing outside Documents\zaduze (the recorder's own folder aside).
outside=$( { find "$ZV_DOCS" -newer "$ZV_WINE_WORK/before-hostile" -type f -not -path "$ZV_DOCS/zaduze/*";
  find "$DRIVE_C" -maxdepth 1 -newer "$ZV_WINE_WORK/before-hostile" -type f; } 2>/dev/null)
zv_expect "nothing is written outside Documents\\zaduze" "$outside" ""

# 3. Both again under a site policy that refuses them (the script client has
# no page at all, the container page is a foreign one): whatever the order of
# calls, no agent command and no new file anywhere (a log folder is there to
# be written to).
zv_reg add 'HKLM\SOFTWARE\Zaduze' /v AllowedSites /d https://exam.example /f /reg:64
mkdir -p "$ZV_DOCS/zaduze/log" "$ZV_DOCS/zaduze/sandbox"
touch "$ZV_WINE_WORK/before-refused"
sleep 1
ctl_clear_records
out=$(zv_wine64 cscript //nologo "$(zv_winpath "$ZV_WINE_WORK/ctl-hostile.js")" "$SEED" 3000 20 </dev/null 2>&1 | tr -d '\r')
zv_expect_match "refused script client: the run ends" "$out" '^calls [0-9]+ errors [0-9]+$'
out=$(ZV_TIMEOUT=90 ctl_container "$ZV_WINE_WORK/ctl-hostile.html" --no-activate --url https://evil.test/ \
  --script "$(zv_winpath "$ZV_WINE_WORK/ctl-hostile.calls")" | tr -d '\0')
zv_expect_match "refused container page: the host ends normally" "$out" '^released, references left 0$'
zv_expect "refused pages: no command reaches the agent" "$(ctl_calls)" ""
written=$( { find "$ZV_DOCS" -newer "$ZV_WINE_WORK/before-refused" -type f;
  find "$DRIVE_C" -maxdepth 1 -newer "$ZV_WINE_WORK/before-refused" -type f; } 2>/dev/null)
zv_expect "refused pages: no new file" "$written" ""
zv_reg delete 'HKLM\SOFTWARE\Zaduze' /f /reg:64

ctl_unregister64
rm -rf "$ZV_DOCS/zaduze"
zv_summary
