#!/usr/bin/env bash
# The site lock: the container plays a browser that tells the control its
# page address (--url); the allowed sites come from HKLM or HKCU
# SOFTWARE\Zaduze AllowedSites. With the recording stand-in as the agent: an
# allowed page works as without a policy, a refused page starts no agent at
# all, its methods return their failure values and its properties still work.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

ctl_register64
ctl_install_recorder 0
PAGE=$ZV_WINE_WORK/ctl-lock.html
ctl_page "$PAGE"

# lock_policy ROOT|PARENTKEY VALUE : "-" deletes it, "empty" writes "", "multi:A;B" a
# multi-string, "dword" a value of the wrong type.
lock_policy() {
  local key="$1\\SOFTWARE\\Zaduze"
  case "$1" in *\\*) key="$1\\Zaduze" ;; esac  # a parent key given whole
  case "$2" in
    -) zv_reg delete "$key" /v AllowedSites /f ;;
    multi:*) local v=${2#multi:}; zv_reg add "$key" /v AllowedSites /t REG_MULTI_SZ /d "${v//;/\\0}" /f ;;
    empty) zv_reg add "$key" /v AllowedSites /d "" /f ;;
    dword) zv_reg add "$key" /v AllowedSites /t REG_DWORD /d 1 /f ;;
    *) zv_reg add "$key" /v AllowedSites /d "$2" /f ;;
  esac
}

# name | HKLM value | HKCU value | page address ("" = none told) | allowed?
while IFS='|' read -r name hklm hkcu url allowed; do
  [ -z "$name" ] && continue
  # Written only when it changes from the row before.
  [ "$hklm" != "${last_hklm:-}" ] && lock_policy HKLM "$hklm"
  [ "$hkcu" != "${last_hkcu:-}" ] && lock_policy HKCU "$hkcu"
  last_hklm=$hklm last_hkcu=$hkcu
  ctl_clear_records
  args=()
  [ "$url" != "none" ] && args=(--url "$url")
  # An allowed session needs a moment to record itself and to end before the restore.
  waits=()
  [ "$allowed" = yes ] && waits=('sleep 700')
  out=$(ctl_container "$PAGE" "${args[@]}" 'TrustzoneAddDomain("exam.example")' 'GetVersion()' \
    'KeepAliveMillisec = 2000' 'KeepAliveMillisec' 'StartZaduzeApp()' "${waits[@]}" 'StopZaduzeApp()' "${waits[@]}")
  calls=$(ctl_calls); [ -n "${ZV_DEBUG_LOCK:-}" ] && echo "$out" >&2
  zv_expect "$name: the property still reads and writes" "$(echo "$out" | grep -c '^KeepAliveMillisec -> 2000$')" 1
  if [ "$allowed" = yes ]; then
    zv_expect "$name: allowed, all agent runs happen" \
      "$(echo "$calls" | sed 's/ .*//' | tr '\n' ' ')" "-RegistrySave -RegistrySetLoose -TrustzoneAddDomain -WebSandboxMode -RegistryRestore "
    zv_expect_match "$name: allowed, the method returns the agent's code" "$out" '^TrustzoneAddDomain\("exam\.example"\) -> 0$'
  else
    zv_expect "$name: refused, no command reaches the agent" "$calls" ""
    zv_expect "$name: refused, methods return failure values" \
      "$(echo "$out" | grep -E '^(TrustzoneAddDomain|GetVersion|StartZaduzeApp|StopZaduzeApp)' | sed 's/.* -> //' | tr '\n' ' ')" \
      '-1 "" -1 -1 '
    zv_expect_match "$name: refused, one log line says why" "$out" 'INFO: site lock : (page not allowed|the page.s address is unknown)'
  fi
done <<'T'
no policy, no address|-|-|none|yes
no policy, any address|-|-|https://evil.test/|yes
allowed origin (HKLM)|https://exam.example|-|https://exam.example/exam/page.html|yes
allowed origin with its default port|https://exam.example|-|https://exam.example:443/|yes
upper case page address|https://exam.example|-|HTTPS://EXAM.Example/x|yes
subdomain pattern|*.exam.example|-|https://room1.exam.example/|yes
multi-string, second entry|multi:other.example;exam.example|-|https://exam.example/|yes
disallowed origin|https://exam.example|-|https://evil.test/|no
look-alike suffix|https://exam.example|-|https://exam.example.evil.test/|no
look-alike prefix|https://exam.example|-|https://evil-exam.example/|no
user-info trick|https://exam.example|-|https://exam.example@evil.test/|no
other scheme|https://exam.example|-|http://exam.example/|no
other port|https://exam.example|-|https://exam.example:8443/|no
IDN look-alike (Cyrillic e)|https://exam.example|-|https://еxam.example/|no
address unknown|https://exam.example|-|none|no
per-user policy allows|-|exam.example|https://exam.example/|yes
per-user policy refuses|-|exam.example|https://evil.test/|no
machine-wide wins over per-user|other.example|exam.example|https://exam.example/|no
empty policy allows nothing|empty|-|https://exam.example/|no
unreadable policy allows nothing|dword|-|https://exam.example/|no
T

# With the real agent: a refused page leaves the browser's settings as they
# were; the same page allowed reaches the agent (the trusted site it adds is
# found while the page is open) and its restore takes the site away again.
ctl_set_path "$ZV_BUILD64/agent/res"
settings() { zv_wine64 reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /s </dev/null 2>&1 | tr -d '\r'; }
before=$(settings)
ctl_container "$PAGE" --url https://evil.test/ 'TrustzoneAddDomain("evil.test")' >/dev/null
zv_expect "real agent, refused page: the browser's settings are untouched" "$(settings)" "$before"
lock_policy HKLM https://evil.test
out=$(ctl_container "$PAGE" --url https://evil.test/ 'TrustzoneAddDomain("evil.test")' 'TrustzoneQueryDomain("evil.test")')
zv_expect_match "real agent, allowed page: the site is trusted while the page is open" "$out" \
  '^TrustzoneQueryDomain\("evil\.test"\) -> 0$'
zv_expect "real agent, allowed page: the settings are as before once it is left" "$(settings)" "$before"
ctl_install_recorder 0

lock_policy HKLM -
lock_policy HKCU -

# The i686 control reads the 32-bit view of HKLM: a machine-wide policy for it
# lives under SOFTWARE\WOW6432Node\Zaduze; the 64-bit view alone leaves it open.
if ! zv_can_run32; then
  zv_skip "i686: the machine-wide policy ($ZV_NO_RUN32)"
elif [ -f "$ZV_CTL_DLL32" ]; then
  zv_wine32 regsvr32 /s "$(zv_winpath "$ZV_CTL_DLL32")" </dev/null >/dev/null 2>&1
  ctl32() {
    zv_wine32 "$ZV_BUILD32/tools/container/zaduze_container.exe" "$(zv_winpath "$PAGE")" --url "$1" \
      'TrustzoneAddDomain("exam.example")' </dev/null 2>&1 | tr -d '\r' | sed -n 's/^TrustzoneAddDomain.* -> //p'
  }
  lock_policy HKLM https://exam.example
  zv_expect "i686: a policy in the 64-bit view only does not reach it" "$(ctl32 https://evil.test/)" 0
  lock_policy 'HKLM\SOFTWARE\WOW6432Node' https://exam.example
  zv_expect "i686: the 32-bit view's policy refuses" "$(ctl32 https://evil.test/)" -1
  zv_expect "i686: and allows" "$(ctl32 https://exam.example/)" 0
  lock_policy 'HKLM\SOFTWARE\WOW6432Node' -
  lock_policy HKLM -
  zv_wine32 regsvr32 /s /u "$(zv_winpath "$ZV_CTL_DLL32")" </dev/null >/dev/null 2>&1
fi
# The policy keys this scenario made go with it.
zv_reg delete 'HKLM\SOFTWARE\Zaduze' /f
zv_reg delete 'HKLM\SOFTWARE\WOW6432Node\Zaduze' /f
ctl_unregister64
zv_summary
