#!/usr/bin/env bash
# The site lock: the container plays a browser that tells the control the
# address of its own document and of the top page (--url for a control in
# the top page, --top-url/--doc-url/--doc-source for one in a frame); the
# allowed sites come from HKLM or HKCU SOFTWARE\Zaduze AllowedSites. With the
# recording stand-in as the agent: an allowed page works as without a
# policy, a refused page starts no agent at all, its methods return their
# failure values, its properties still work and it writes nothing.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

ctl_register64
ctl_install_recorder 0
PAGE=$ZV_WINE_WORK/ctl-lock.html
ctl_page "$PAGE"

# lock_policy ROOT VALUE : "-" deletes it, "empty" writes "", "multi:A;B" a
# multi-string, "expand:A" a REG_EXPAND_SZ, "dword" a value of the wrong
# type, "hex1:A;B" / "hex7:A;;B" a REG_SZ / REG_MULTI_SZ whose data holds a
# NUL for each ";" (written by import: reg add cannot). Written by the 64-bit
# reg.exe (/reg:64), as an administrator's prompt or a policy item does.
lock_policy() {
  local key="$1\\SOFTWARE\\Zaduze"
  case "$2" in
    -) zv_reg delete "$key" /v AllowedSites /f /reg:64 ;;
    multi:*) local v=${2#multi:}; zv_reg add "$key" /v AllowedSites /t REG_MULTI_SZ /d "${v//;/\\0}" /f /reg:64 ;;
    expand:*) zv_reg add "$key" /v AllowedSites /t REG_EXPAND_SZ /d "${2#expand:}" /f /reg:64 ;;
    empty) zv_reg add "$key" /v AllowedSites /d "" /f /reg:64 ;;
    dword) zv_reg add "$key" /v AllowedSites /t REG_DWORD /d 1 /f /reg:64 ;;
    hex1:* | hex7:*)
      local bytes
      bytes=$(printf '%s\0\0' "${2#hex?:}" | tr ';' '\0' | iconv -f latin1 -t UTF-16LE | od -An -tx1 -v | tr -s ' \n' ',,')
      bytes=${bytes#,}
      # A version 5 file is UTF-16 (an ANSI one would have its hex(1) data converted).
      { printf '\xff\xfe'
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"AllowedSites"=hex(%s):%s\r\n' \
          "$(echo "$key" | sed 's/^HKLM/HKEY_LOCAL_MACHINE/; s/^HKCU/HKEY_CURRENT_USER/')" "${2:3:1}" "${bytes%,}" |
          iconv -f latin1 -t UTF-16LE; } > "$ZV_WINE_WORK/lock.reg"
      zv_reg import "$(zv_winpath "$ZV_WINE_WORK/lock.reg")" /reg:64 ;;
    *) zv_reg add "$key" /v AllowedSites /d "$2" /f /reg:64 ;;
  esac
}

# name | HKLM value | HKCU value | page | allowed? The page is an address the
# container tells for a control in the top page, the container's own options
# (a control in a frame), or "none" (no address told).
while IFS='|' read -r name hklm hkcu url allowed; do
  [ -z "$name" ] && continue
  # Written only when it changes from the row before.
  [ "$hklm" != "${last_hklm:-}" ] && lock_policy HKLM "$hklm"
  [ "$hkcu" != "${last_hkcu:-}" ] && lock_policy HKCU "$hkcu"
  last_hklm=$hklm last_hkcu=$hkcu
  ctl_clear_records
  args=()
  case "$url" in none) ;; --*) read -r -a args <<<"$url" ;; *) args=(--url "$url") ;; esac
  # An allowed session needs a moment to record itself and to end before the restore.
  waits=()
  [ "$allowed" = yes ] && waits=('sleep 700')
  out=$(ctl_container "$PAGE" "${args[@]}" 'TrustzoneAddDomain("exam.example")' 'GetVersion()' \
    'KeepAliveMillisec = 2000' 'KeepAliveMillisec' 'StartZaduzeApp()' "${waits[@]}" 'StopZaduzeApp()' "${waits[@]}")
  calls=$(ctl_calls); [ -n "${ZV_DEBUG_LOCK:-}" ] && echo "$out" >&2
  zv_expect "$name: the property still reads and writes" "$(echo "$out" | grep -c '^KeepAliveMillisec -> 2000$')" 1
  if [ "$allowed" = yes ]; then
    # (A loaded machine may start the session agent twice: its window came
    # late for the first supervision tick.)
    zv_expect "$name: allowed, all agent runs happen" \
      "$(echo "$calls" | sed 's/ .*//' | uniq | tr '\n' ' ')" "-RegistrySave -RegistrySetLoose -TrustzoneAddDomain -WebSandboxMode -RegistryRestore "
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
subdomain pattern|*.exam.example,exam.example|-|https://room1.exam.example/|yes
multi-string, second entry|multi:other.example;exam.example|-|https://exam.example/|yes
same-site frame|https://exam.example|-|--top-url https://exam.example/a.html --doc-url https://exam.example/f.html|yes
own document told by its moniker alone|https://exam.example|-|--top-url https://exam.example/ --doc-source moniker=https://exam.example/f.html|yes
foreign frame in an allowed page|https://exam.example|-|--top-url https://exam.example/a.html --doc-url https://evil.test/ad.html|no
allowed frame in a foreign top page|https://exam.example|-|--top-url https://evil.test/ --doc-url https://exam.example/f.html|no
own document unknown|https://exam.example|-|--top-url https://exam.example/a.html|no
top page unknown|https://exam.example|-|--doc-url https://exam.example/a.html|no
the moniker names a foreign document|https://exam.example|-|--url https://exam.example/ --doc-source moniker=https://evil.test/|no
the document's dispatch names a foreign one|https://exam.example|-|--url https://exam.example/ --doc-source dispatch=https://evil.test/|no
the container document is a foreign one|https://exam.example|-|--url https://exam.example/ --doc-source container=https://evil.test/|no
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
REG_EXPAND_SZ allows nothing|expand:https://exam.example|-|https://exam.example/|no
REG_SZ with a NUL inside: not the part it hides|hex1:exam.example;evil.test|-|https://evil.test/|no
REG_SZ with a NUL inside: nothing at all|hex1:exam.example;evil.test|-|https://exam.example/|no
REG_SZ written whole by import|hex1:exam.example|-|https://exam.example/|yes
multi-string with an empty string: not what follows|hex7:exam.example;;evil.test|-|https://evil.test/|no
wildcard over an address|*.0.0.1|-|http://10.0.0.1/|no
wildcard over a top-level name|*.test|-|https://evil.test/|no
T

# Re-siting: the verdict goes with the client site. Allowed, taken away,
# refused, allowed again, refused when the page is left: what the creation
# did for the allowed page is still undone.
lock_policy HKLM https://exam.example
ctl_clear_records
out=$(ctl_container "$PAGE" --url https://exam.example/ 'GetVersion()' unsite 'GetVersion()' \
  'resite https://evil.test/' 'GetVersion()' 'TrustzoneAddDomain("exam.example")' \
  'resite https://exam.example/b.html' 'GetVersion()' 'resite https://evil.test/')
zv_expect "re-siting: each call follows the verdict of the site it is made under" \
  "$(echo "$out" | grep -E '^(GetVersion|TrustzoneAddDomain)' | sed 's/.* -> //; s/"[0-9.]\+"/V/' | tr '\n' ' ')" \
  'V "" "" -1 V '
zv_expect "re-siting: the allowed creation is undone although the page is refused by then" \
  "$(ctl_calls | sed 's/ .*//' | tr '\n' ' ')" "-RegistrySave -RegistrySetLoose -RegistryRestore "

# Under a policy the trusted zone follows it; without one nothing changes.
trusted() {
  ctl_clear_records
  ctl_container "$PAGE" --url https://exam.example/ 'TrustzoneAddDomain("'"$1"'")' 'TrustzoneAddIP("'"$2"'")' |
    grep -E '^Trustzone' | sed 's/.* -> //' | tr '\n' ' '
}
zv_expect "policy: TrustzoneAddDomain/IP add only hosts the policy allows" "$(trusted evil.test 10.0.0.1)" "-1 -1 "
zv_expect "policy: refused trusted sites reach no agent" "$(ctl_calls | grep -c Trustzone)" 0
zv_expect "policy: an allowed host is added" "$(trusted exam.example,EXAM.example https://exam.example)" "0 0 "
lock_policy HKLM -
zv_expect "no policy: any trusted site as before" "$(trusted evil.test 10.0.0.1)" "0 0 "

# A refused page with DebugLog=1 writes nothing under Documents\zaduze (no log
# file), and the process's log keeps its stream: the verdict of a later site
# still reaches the container's error output, not a file.
lock_policy HKLM https://exam.example
mkdir -p "$ZV_DOCS/zaduze/log" "$ZV_DOCS/zaduze/doc" "$ZV_DOCS/zaduze/sandbox"
LOGPAGE=$ZV_WINE_WORK/ctl-lock-log.html
ctl_page "$LOGPAGE" "DebugLog=1"
touch "$ZV_WINE_WORK/before-refused"
sleep 1
ctl_clear_records
out=$(ctl_container "$LOGPAGE" --url https://evil.test/ 'SaveTextAsFile("t.txt", "x")' 'StartZaduzeApp()' \
  'resite https://evil.test/again')
zv_expect "refused page with DebugLog=1: no new file under Documents\\zaduze" \
  "$(find "$ZV_DOCS/zaduze" -newer "$ZV_WINE_WORK/before-refused" -type f)" ""
ctl_expect_order "refused page with DebugLog=1: the log's stream is left as it was" "$out" \
  '^activate -> ' 'site lock : page not allowed, the control does nothing : https://evil.test/again'
zv_expect "refused page with DebugLog=1: no agent" "$(ctl_calls)" ""
rm -rf "$ZV_DOCS/zaduze"
lock_policy HKLM -

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

# The i686 control reads the 64-bit view of HKLM as well: a policy written
# by a 64-bit reg.exe (/reg:64) alone reaches it; a value in the 32-bit view
# (WOW6432Node) alone is read by neither build.
if ! zv_can_test32; then
  zv_skip "i686: the machine-wide policy ($(zv_no_test32))"
elif [ -f "$ZV_CTL_DLL32" ]; then
  zv_wine32 regsvr32 /s "$(zv_winpath "$ZV_CTL_DLL32")" </dev/null >/dev/null 2>&1
  ctl32() {
    zv_wine32 "$ZV_BUILD32/tools/container/zaduze_container.exe" "$(zv_winpath "$PAGE")" --url "$1" \
      'TrustzoneAddDomain("exam.example")' </dev/null 2>&1 | tr -d '\r' | sed -n 's/^TrustzoneAddDomain.* -> //p'
  }
  lock_policy HKLM https://exam.example
  zv_expect "i686: the 64-bit view's policy refuses" "$(ctl32 https://evil.test/)" -1
  zv_expect "i686: and allows" "$(ctl32 https://exam.example/)" 0
  lock_policy HKLM -
  zv_reg add 'HKLM\SOFTWARE\Zaduze' /v AllowedSites /d https://exam.example /f /reg:32
  zv_expect "i686: a value in the 32-bit view alone is no policy" "$(ctl32 https://evil.test/)" 0
  zv_reg delete 'HKLM\SOFTWARE\Zaduze' /v AllowedSites /f /reg:32
  zv_wine32 regsvr32 /s /u "$(zv_winpath "$ZV_CTL_DLL32")" </dev/null >/dev/null 2>&1
fi
# The policy keys this scenario made go with it.
zv_reg delete 'HKLM\SOFTWARE\Zaduze' /f
zv_reg delete 'HKLM\SOFTWARE\WOW6432Node\Zaduze' /f
ctl_unregister64
zv_summary
