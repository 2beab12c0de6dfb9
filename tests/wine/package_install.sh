#!/usr/bin/env bash
# The Windows Installer packages: every shipped binary and both packages carry
# a signature that verifies against the root in the release; installed with
# the README's own command lines (msiexec /qn), the machine's class
# registrations hold exactly what regsvr32 of the same DLLs in the same
# folders writes; the files, the install folder values (the machine-wide one
# wins over the user's), the Active Setup entry for other users, the
# site-lock policy, the protected-mode policies and Edge's IE mode list are in
# place; the installed control, created by its ProgID, plays the exam page
# with the installed agent; a second install, a repair, a policy change,
# another build of the same version and a major upgrade leave one product and
# one registration, the 32-bit package refuses 64-bit Windows; an uninstall
# with a snapshot of the user's settings pending restores them first; an
# organisation's own IE mode list is never touched; every uninstall leaves the
# registry exactly as it was (but for the two shared component categories,
# which stay as they stay after regsvr32 /u).
# Two package builds, each with a registration capture that runs 32-bit
# programs, which may be emulated (slow):
# zv-limit: 1800
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

# The x64 package carries the i686 control's registration, which only a
# 32-bit regsvr32 can show: no packages can be made on a machine without it.
if ! zv_can_run32; then
  zv_skip "the packages ($ZV_NO_RUN32: the i686 registration cannot be captured)"
  zv_summary
  exit 0
fi

PKG=$ZV_WINE_WORK/pkg
NEXT=$ZV_WINE_WORK/pkg-next
REGFILE=$ZV_ROOT/tools/package/regfile.py
PY=/usr/bin/python3

# A version whose fourth field is not 0 is refused before anything is built.
out=$(bash "$ZV_ROOT/tools/package/package.sh" "$ZV_WINE_WORK/pkg-bad" 1.4.4.1 2>&1)
zv_expect "a version 1.4.4.1 is refused" "$?:$(ls "$ZV_WINE_WORK/pkg-bad" 2>/dev/null | wc -l)" "1:0"
zv_expect_match "the refusal says why" "$out" 'fourth field must be 0'

if ! bash "$ZV_ROOT/tools/package/package.sh" "$PKG" 1.4.4.0 >"$ZV_WINE_WORK/package.log" 2>&1 ||
   ! bash "$ZV_ROOT/tools/package/package.sh" "$NEXT" 1.4.5.0 >>"$ZV_WINE_WORK/package.log" 2>&1; then
  zv_fail "the packages are built" "$(tail -n 20 "$ZV_WINE_WORK/package.log")"
  zv_summary
  exit 0
fi
zv_ok "the packages are built"
# Cut short (the time limit), the scenario may leave a product behind whose
# machine-wide folder the later scenarios' controls would prefer.
zv_on_exit "zv_reg delete 'HKLM\SOFTWARE\Zaduze' /v Path /f"

# A registration row that would delete a key not below the control's own
# identifiers on uninstall stops the build.
bad=$ZV_WINE_WORK/capture-bad
# (The capture of the builds above; a fresh clone has none before them.)
if cp -r "$ZV_ROOT/build/package/capture" "$bad"; then
  printf '\n[HKEY_LOCAL_MACHINE\\Software\\Classes\\Interface\\ZvNotOurs]\n' >>"$bad/64-after.reg"
  out=$("$PY" "$ZV_ROOT/tools/package/make_wxs.py" x64 1.4.4.0 "$bad" . "$bad/x.wxs" "$bad/x.sql" 0 2>&1)
  zv_expect_match "a whole-key row outside the control's identifiers stops the build" "$?:$out" \
    '^1:.*Interface\\ZvNotOurs on uninstall, which is not below'
else
  zv_fail "the builds left their registration capture" "$ZV_ROOT/build/package/capture"
fi

# --- signatures ----------------------------------------------------------------
ROOTCRT=$(ls "$PKG"/Zaduze-1.4.4.0-*-root.crt 2>/dev/null)
zv_expect "the release holds the signing root (PEM)" "$(head -n 1 "$ROOTCRT" 2>/dev/null)" "-----BEGIN CERTIFICATE-----"
SIGNED=$ZV_WINE_WORK/signed
mkdir -p "$SIGNED/zip" "$SIGNED/x64" "$SIGNED/x86"
unzip -q "$PKG/Zaduze-1.4.4.0-bin.zip" -d "$SIGNED/zip"
msiextract -C "$SIGNED/x64" "$PKG/Zaduze-1.4.4.0-x64.msi" >/dev/null
msiextract -C "$SIGNED/x86" "$PKG/Zaduze-1.4.4.0-x86.msi" >/dev/null
verified=0 unverified=()
while IFS= read -r f; do
  if osslsigncode verify -CAfile "$ROOTCRT" -in "$f" >/dev/null 2>&1; then
    verified=$((verified + 1))
  else
    unverified+=("${f#$ZV_WINE_WORK/}")
  fi
done < <(find "$SIGNED" "$PKG" -type f \( -iname '*.exe' -o -iname '*.dll' -o -iname '*.msi' \) | sort)
zv_expect "every shipped exe, dll (zip and packages) and both packages verify against the root" \
  "$verified ${unverified[*]}" "11 "
cp "$SIGNED/zip/x64/ZedudeVeri.exe" "$SIGNED/changed.exe"
printf 'X' | dd of="$SIGNED/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
osslsigncode verify -CAfile "$ROOTCRT" -in "$SIGNED/changed.exe" >/dev/null 2>&1
zv_expect "a binary changed after signing does not verify" "$?" 1
osslsigncode verify -CAfile /etc/ssl/certs/ca-certificates.crt -in "$PKG/Zaduze-1.4.4.0-x64.msi" >/dev/null 2>&1
zv_expect "the signature does not verify against another root" "$?" 1

PF="$WINEPREFIX/drive_c/Program Files/Zaduze"
PF86="$WINEPREFIX/drive_c/Program Files (x86)/Zaduze"
ASETUP='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{6E2F4A90-1C3B-4F7D-8E5A-0B9C7D3E2F14}'
LOWRIGHTS='SOFTWARE\Microsoft\Internet Explorer\Low Rights'
ELEVATION="$LOWRIGHTS\\ElevationPolicy\\{8D4C2B7A-5E13-4F6B-9A0D-3C7E1F2B6D58}"
PREAPPROVED='SOFTWARE\Microsoft\Windows\CurrentVersion\Ext\PreApproved'
EDGE='HKLM\SOFTWARE\Policies\Microsoft\Edge'
RUN='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
SITELIST_URL='file:///C:/Program%20Files/Zaduze/ZaduzeSiteList.xml'

# dump NAME: the machine's classes (both views: the 64-bit reg.exe shows the
# 32-bit view's keys below Wow6432Node), the product's own keys, and the
# trees the package writes into, with their parents, as UTF-8 exports NAME-*.reg.
dump() {
  local entry view key file
  for entry in "cls HKLM\\Software\\Classes" "usr HKCU\\SOFTWARE\\Zaduze" "m64 HKLM\\SOFTWARE\\Zaduze" \
              "m32 HKLM\\SOFTWARE\\Wow6432Node\\Zaduze" "ase $ASETUP" "lr64 HKLM\\$LOWRIGHTS" \
              "lr32 HKLM\\SOFTWARE\\Wow6432Node\\${LOWRIGHTS#SOFTWARE\\}" "pa64 HKLM\\$PREAPPROVED" \
              "pa32 HKLM\\SOFTWARE\\Wow6432Node\\${PREAPPROVED#SOFTWARE\\}" "pol HKLM\\SOFTWARE\\Policies" "run $RUN"; do
    read -r view key <<<"$entry"
    file="$ZV_WINE_WORK/$1-$view.reg"
    rm -f "$WINEPREFIX/drive_c/d.reg"
    timeout -k 5 120 "$ZV_WINE64_BIN" reg export "$key" 'C:\d.reg' /y </dev/null >/dev/null 2>&1
    if [ -f "$WINEPREFIX/drive_c/d.reg" ]; then
      iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/d.reg" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' >"$file"
    else
      : >"$file"
    fi
  done
}
PARTS="usr m64 m32 ase lr64 lr32 pa64 pa32 pol run"
# classes A B: the class registrations B adds to or lacks from A, without
# Windows Installer's own records (Classes\Installer).
classes() { changes "$1" "$2" cls | grep -v '^. HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer'; }
# changes A B PART: what B adds to or lacks from A in that part of the dump.
# A package cannot write a folder without its final backslash: the type
# library's HELPDIR is compared without it.
changes() {
  "$PY" "$REGFILE" "$ZV_WINE_WORK/$1-$3.reg" "$ZV_WINE_WORK/$2-$3.reg" | sed 's/^\(.*\\HELPDIR | @ | sz | .*\)\\$/\1/'
}
# as_before A B: every part of B as in A: the classes but the shared
# component categories and Windows Installer's own (empty) folders of records.
as_before() {
  local v
  zv_expect "$2: the classes as before but the shared component categories" \
    "$(changes "$1" "$2" cls | not_categories | not_installer_keys)" ""
  for v in $PARTS; do zv_expect "$2: $v as before" "$(changes "$1" "$2" "$v")" ""; done
}
# msi ARGS: msiexec (64-bit) with the full exit code.
# (Programs that custom actions start write to the same console: only the
# runner's own "exit" line counts.)
msi() { zv_tool run 'C:\windows\system32\msiexec.exe' "msiexec $*" | awk '$1 == "exit" {print $2}'; }
winpkg() { zv_winpath "$1"; }
reg_count() { grep -c '^+' <<<"$1"; }
# same NAME ACTUAL EXPECTED: like zv_expect, the difference shown as a diff.
same() {
  if [ "$2" == "$3" ]; then zv_ok "$1"; else zv_fail "$1" "$(diff <(echo "$3") <(echo "$2") | head -n 30)"; fi
}
# Windows Installer's own folders of records stay, empty, as on every Windows.
not_installer_keys() { grep -v -E '^. HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\[A-Za-z]+)?$'; }
not_categories() { grep -v 'Component Categories'; }
products() {
  zv_wine64 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /v DisplayName </dev/null 2>/dev/null |
    tr -d '\r' | grep -c 'Zaduze exam lockdown'
}
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk '$1 == "ProductCode" {print $2}'; }

# The README's command lines, run exactly as written (the package named in
# them replaced by its path). doc_line REGEX: the one line of the README's
# administrator section that starts with msiexec and matches.
doc_line() {
  local lines
  lines=$(awk '/^## / { p = ($0 == "## Installing (administrators)") } p' "$ZV_ROOT/README.md" | grep '^msiexec ' |
    grep -E -- "$1")
  [ "$(grep -c . <<<"$lines")" = 1 ] && echo "$lines"
}
DOC_INSTALL=$(doc_line '^msiexec /i [^ ]+ /qn ALLOWEDSITES=.* IEMODE=1$')
DOC_REPAIR=$(doc_line '^msiexec /i [^ ]+ /qn REINSTALL=ALL REINSTALLMODE=omus$')
DOC_CHANGE=$(doc_line '^msiexec /i [^ ]+ /qn REINSTALL=ALL REINSTALLMODE=omus ALLOWEDSITES=.* IEMODE=1$')
DOC_UNINSTALL=$(doc_line '^msiexec /x [^ ]+ /qn$')
zv_expect "the README documents install, repair, policy change and uninstall lines" \
  "$([ -n "$DOC_INSTALL" ] && [ -n "$DOC_REPAIR" ] && [ -n "$DOC_CHANGE" ] && [ -n "$DOC_UNINSTALL" ] && echo yes)" yes
# doc LINE PACKAGE: the line with its package file replaced.
doc() {
  local name=Zaduze-1.4.4.0-x64.msi
  zv_tool run 'C:\windows\system32\msiexec.exe' "${1%%"$name"*}$(winpkg "$2")${1#*"$name"}" | awk '$1 == "exit" {print $2}'
}
# sites_in_list: the site list's hosts (one line), "version N" first; the
# list must parse and each site open in IE11 with the default mode.
sites_in_list() {
  "$PY" - "$PF/ZaduzeSiteList.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    root = ET.parse(sys.argv[1]).getroot()
except Exception as e:
    print("unreadable: %s" % e); sys.exit()
assert root.tag == "site-list", root.tag
out = ["version", str(int(root.get("version")))]
for site in root.findall("site"):
    ok = site.findtext("compat-mode") == "Default" and site.findtext("open-in") == "IE11"
    out.append(site.get("url") + ("" if ok else "(?)"))
print(" ".join(out))
PY
}

# A 32-bit script client (JScript under 32-bit Wine) creates the control (i686).
cat >"$ZV_WINE_WORK/create.js" <<'JS'
try { var z = new ActiveXObject("ZADUZE.ZaduzeCtrl.1"); WScript.Echo("created"); }
catch (e) { WScript.Echo("failed " + e.message); }
JS
client32() { zv_wine32 cscript //nologo "$(zv_winpath "$ZV_WINE_WORK/create.js")" </dev/null 2>/dev/null | tr -d '\r'; }
# The script host registers its own type library at its first start: before
# the first dump.
client32 >/dev/null
# A machine without the product: no install folder key left by others. As
# on Windows, the protected-mode keys hold other programs' entries, and the
# policies key the system's own.
zv_reg delete 'HKCU\SOFTWARE\Zaduze' /f
zv_reg add 'HKLM\SOFTWARE\Policies\Microsoft\Windows\ZvSystem' /v Other /d 1 /f
for node in "" "Wow6432Node\\"; do
  zv_reg add "HKLM\\SOFTWARE\\$node${LOWRIGHTS#SOFTWARE\\}\\ElevationPolicy\\{0E5BB8A1-0000-4000-8000-00000000AAAA}" /v AppName /d other.exe /f
  zv_reg add "HKLM\\SOFTWARE\\$node${PREAPPROVED#SOFTWARE\\}\\{0E5BB8A1-0000-4000-8000-00000000BBBB}" /f
done

dump before

# 1. Install, quietly, with the site-lock policy and the IE mode list.
zv_expect "README install line exits 0" "$(doc "$DOC_INSTALL" "$PKG/Zaduze-1.4.4.0-x64.msi")" 0
dump installed
for f in "$PF/ZedudeVeri.exe" "$PF/Zaduze.dll" "$PF86/Zaduze.dll"; do
  if [ -f "$f" ]; then zv_ok "installed: ${f#$WINEPREFIX/drive_c/}"; else zv_fail "installed: ${f#$WINEPREFIX/drive_c/}"; fi
done
zv_expect "each folder's control is the build of its bitness" \
  "$(x86_64-w64-mingw32-objdump -f "$PF/Zaduze.dll" "$PF86/Zaduze.dll" | sed -n 's/.*file format //p' | tr '\n' ' ')" "pei-x86-64 pei-i386 "
zv_expect "Path is the install folder" "$(changes before installed usr)" \
  '+ HKEY_CURRENT_USER\SOFTWARE\Zaduze | Path | sz | C:\Program Files\Zaduze\'
same "HKLM\\SOFTWARE\\Zaduze (64-bit view): the policy, the machine-wide Path, what IE mode wrote" \
  "$(changes before installed m64)" \
  "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Zaduze | AllowedSites | sz | https://exam.example,https://b.example
+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Zaduze | EdgeIntegrationLevel | dword | 1
+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Zaduze | EdgeSiteList | sz | $SITELIST_URL
+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Zaduze | Path | sz | C:\\Program Files\\Zaduze\\"
zv_expect "AllowedSites in HKLM\\SOFTWARE\\Wow6432Node\\Zaduze" "$(changes before installed m32)" \
  "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Zaduze | AllowedSites | sz | https://exam.example,https://b.example"
for entry in "lr64 pa64 " "lr32 pa32 Wow6432Node\\"; do
  read -r lr pa node <<<"$entry"
  same "protected mode ($lr): the agent's elevation policy" "$(changes before installed "$lr")" \
    "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\$node${ELEVATION#SOFTWARE\\} | AppName | sz | ZedudeVeri.exe
+ HKEY_LOCAL_MACHINE\\SOFTWARE\\$node${ELEVATION#SOFTWARE\\} | AppPath | sz | C:\\Program Files\\Zaduze\\
+ HKEY_LOCAL_MACHINE\\SOFTWARE\\$node${ELEVATION#SOFTWARE\\} | Policy | dword | 3"
  zv_expect "protected mode ($pa): the control is pre-approved" "$(changes before installed "$pa")" \
    "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\$node${PREAPPROVED#SOFTWARE\\}\\{9780D491-D11F-4447-889A-C2A0F3280C51}"
done
same "IE mode: Edge's two machine policies" "$(changes before installed pol)" \
  "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Edge | InternetExplorerIntegrationLevel | dword | 1
+ HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Microsoft\\Edge | InternetExplorerIntegrationSiteList | sz | $SITELIST_URL"
LIST1=$(sites_in_list)
zv_expect_match "IE mode: the site list names each allowed host" "$LIST1" '^version [0-9]+ exam\.example b\.example$'
stub=$(changes before installed ase | sed -n 's/^+ .* | StubPath | sz | //p')
zv_expect "Active Setup writes Path at other users' logon (64-bit reg.exe)" "$stub" \
  '"C:\windows\system32\reg.exe" add HKCU\SOFTWARE\Zaduze /v Path /d "C:\Program Files\Zaduze\\" /f'
# What that entry runs, run here for a user without the value.
zv_reg delete 'HKCU\SOFTWARE\Zaduze' /f
zv_tool run 'C:\windows\system32\reg.exe' "$stub" >/dev/null
dump stub
zv_expect "the Active Setup command writes the same Path" "$(changes before stub usr)" "$(changes before installed usr)"
PKG_CLS=$(classes before installed)
echo "# the package writes $(reg_count "$PKG_CLS") class values and keys, $(grep -c Wow6432Node <<<"$PKG_CLS") of them in the 32-bit view"

# 2. The installed control by its ProgID, the installed agent, the template
# page. The user's own Path names a stand-in that does nothing: the control
# starts the agent of the machine-wide folder all the same.
cp "$ZV_ROOT/tools/container/exam_page.html" "$ZV_ROOT/tools/container/exam_page.calls" "$ZV_WINE_WORK/"
ctl_install_recorder
# The package set a site lock: the page comes from an allowed site.
out=$(ctl_container "$ZV_WINE_WORK/exam_page.html" --url https://exam.example/exam/ --script "$(zv_winpath "$ZV_WINE_WORK/exam_page.calls")")
zv_expect_match "installed: created by ProgID" "$out" '^created ZADUZE\.ZaduzeCtrl\.1$'
zv_expect_match "installed: the session starts" "$out" '^StartZaduzeApp\(\) -> 0$'
zv_expect_match "installed: the session stops" "$out" '^StopZaduzeApp\(\) -> 0$'
zv_expect_match "installed: the page is left normally" "$out" '^released, references left 0$'
zv_expect "installed: the agent of the machine-wide folder ran, not the user's Path" "$(ctl_calls | wc -l)" 0
zv_tool waitgone ZedudeVeri 3000 >/dev/null
zv_tool run 'C:\windows\system32\reg.exe' "$stub" >/dev/null
zv_expect_match "installed: a 32-bit client creates the i686 control by ProgID" "$(client32)" '^created'

# 3. Install again, repair after damage, change the policy, another build of
# the same version, the 32-bit package, a major upgrade: one product and one
# registration each time.
# step NAME COMMAND [DAMAGE]: COMMAND prints msiexec's exit code.
step() {
  [ -n "${3:-}" ] && eval "$3"
  zv_expect "$1: msiexec exits 0" "$(eval "$2")" 0
  dump "$1"
  same "$1: the classes as installed" "$(classes before "$1")" "$PKG_CLS"
  zv_expect "$1: Path as installed" "$(changes before "$1" usr)" "$(changes before installed usr)"
  zv_expect "$1: one product" "$(products)" 1
}
X64=$(winpkg "$PKG/Zaduze-1.4.4.0-x64.msi")
step again 'msi /i "$X64" /qn'
step repair 'doc "$DOC_REPAIR" "$PKG/Zaduze-1.4.4.0-x64.msi"' \
  'rm -f "$PF/Zaduze.dll"; zv_reg delete "HKCR\ZADUZE.ZaduzeCtrl.1" /f; zv_reg delete "HKCU\SOFTWARE\Zaduze" /f'
[ -f "$PF/Zaduze.dll" ] && zv_ok "repair: the removed DLL is back" || zv_fail "repair: the removed DLL is back"
zv_expect "repair: the policies as installed" "$(for v in m64 m32 pol; do changes installed repair $v; done)" ""
step change 'doc "$DOC_CHANGE" "$PKG/Zaduze-1.4.4.0-x64.msi"'
SITES2=$(sed -n 's/.*ALLOWEDSITES="\([^"]*\)".*/\1/p' <<<"$DOC_CHANGE")
for entry in "m64 " "m32 Wow6432Node\\"; do
  read -r part node <<<"$entry"
  same "change: AllowedSites replaced ($part)" "$(changes installed change "$part")" \
    "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\${node}Zaduze | AllowedSites | sz | $SITES2
- HKEY_LOCAL_MACHINE\\SOFTWARE\\${node}Zaduze | AllowedSites | sz | https://exam.example,https://b.example"
done
LIST2=$(sites_in_list)
zv_expect_match "change: the site list names the new hosts" "$LIST2" '^version [0-9]+ exam\.example school\.example$'
zv_expect "change: the list's version grew" \
  "$([ "$(awk '{print $2}' <<<"$LIST2")" -gt "$(awk '{print $2}' <<<"$LIST1")" ] && echo yes)" yes
# Another build of the same version: another product code, replaced.
cp "$PKG/Zaduze-1.4.4.0-x64.msi" "$ZV_WINE_WORK/rebuilt.msi"
msibuild "$ZV_WINE_WORK/rebuilt.msi" -q "UPDATE \`Property\` SET \`Value\` = '{0E5BB8A1-0000-4000-8000-0000000000CC}' WHERE \`Property\` = 'ProductCode'"
msibuild "$ZV_WINE_WORK/rebuilt.msi" -s "Installation Database" Zaduze "x64;1033" '{0E5BB8A1-0000-4000-8000-0000000000DD}'
step rebuilt 'msi /i "$(winpkg "$ZV_WINE_WORK/rebuilt.msi")" /qn'
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
zv_expect "rebuilt: the other build replaced the first" \
  "$(zv_reg_exists "$UNINSTALL\\{0E5BB8A1-0000-4000-8000-0000000000CC}") $(zv_reg_exists "$UNINSTALL\\$(product_code "$PKG/Zaduze-1.4.4.0-x64.msi")")" \
  "yes no"
# The 32-bit package of the same version on 64-bit Windows: refused, naming
# the x64 package.
zv_expect "x86 package on 64-bit Windows: refused" \
  "$(msi /i "$(winpkg "$PKG/Zaduze-1.4.4.0-x86.msi")" /qn '/l*' 'C:\x86.log')" 1603
# (Wine's log does not show the message; the table is checked in 8.)
zv_expect "x86 package: stopped by its launch condition" \
  "$(grep -a 'Action start' "$WINEPREFIX/drive_c/x86.log" | tail -n 1 | sed 's/.*: //')" "LaunchConditions."
zv_expect "x86 package: still one product" "$(products)" 1
step upgrade 'msi /i "$(winpkg "$NEXT/Zaduze-1.4.5.0-x64.msi")" /qn'
zv_expect "upgrade: the site-lock policy and IE mode are kept" "$(for v in m64 m32 pol; do changes change upgrade $v; done)" ""
zv_expect_match "upgrade: the site list written again" "$(sites_in_list)" '^version [0-9]+ exam\.example school\.example$'
zv_expect_match "upgrade: Active Setup announces the new version" "$(changes before upgrade ase)" 'Version \| sz \| 1,4,5,0'

# 4. Uninstall while a snapshot of the user's settings is pending: the
# installed agent saved and loosened them, and nothing restored them yet.
SANDBOX="$ZV_DOCS/zaduze/sandbox"
IS='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
settings() {
  local k
  for k in "$IS" 'HKCU\Software\Microsoft\Windows\CurrentVersion\Ext'; do
    rm -f "$WINEPREFIX/drive_c/s.reg"
    zv_wine64 reg export "$k" 'C:\s.reg' /y >/dev/null 2>&1 </dev/null
    [ -f "$WINEPREFIX/drive_c/s.reg" ] && iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/s.reg" | tr -d '\r'
  done
}
settings >"$ZV_WINE_WORK/settings-before.txt"
AGENT_INSTALLED='C:\Program Files\Zaduze\ZedudeVeri.exe'
zv_exit "$AGENT_INSTALLED" '-RegistrySave "20200101-000000"' >/dev/null
zv_exit "$AGENT_INSTALLED" '-RegistrySetLoose 1' >/dev/null
zv_exit "$AGENT_INSTALLED" '-TrustzoneAddDomain "exam.example"' >/dev/null
settings >"$ZV_WINE_WORK/settings-exam.txt"
zv_expect_match "pending: the exam loosened the settings and added its trusted site" \
  "$(diff "$ZV_WINE_WORK/settings-before.txt" "$ZV_WINE_WORK/settings-exam.txt")" 'ZoneMap\\Domains\\example\\exam\]'

zv_expect "pending: the logon entry starts the installed agent's recovery" "$(zv_reg_value "$RUN" ZaduzeRecover)" \
  'REG_SZ "C:\Program Files\Zaduze\ZedudeVeri.exe" -RegistryRecover 1'
zv_expect "README uninstall line exits 0" "$(doc "$DOC_UNINSTALL" "$NEXT/Zaduze-1.4.5.0-x64.msi")" 0
settings >"$ZV_WINE_WORK/settings-after.txt"
same "uninstall: the user's settings restored" "$(diff "$ZV_WINE_WORK/settings-before.txt" "$ZV_WINE_WORK/settings-after.txt")" ""
zv_expect "uninstall: no snapshot left pending" "$(ls "$SANDBOX" 2>/dev/null | grep -v -e '^_failed_' -e '^_debug_' | wc -l)" 0
zv_expect "uninstall: the logon entry is gone" "$(zv_reg_value "$RUN" ZaduzeRecover)" ""
dump removed
[ ! -e "$PF" ] && [ ! -e "$PF86" ] && zv_ok "uninstall: the install folders are gone" || zv_fail "uninstall: the install folders are gone" "$(ls -R "$PF" "$PF86" 2>&1)"
as_before before removed

# 5. What regsvr32 writes for the same DLLs in the same folders.
mkdir -p "$PF" "$PF86"
cp "$ZV_ROOT/build/package/stage/x64/Zaduze.dll" "$PF/"; cp "$ZV_ROOT/build/package/stage/x86/Zaduze.dll" "$PF86/"
# In the order the package's registration was captured: the type library's
# HELPDIR is written by the first registration only.
zv_wine32 regsvr32 /s 'C:\Program Files (x86)\Zaduze\Zaduze.dll' </dev/null >/dev/null 2>&1
zv_wine64 regsvr32 /s 'C:\Program Files\Zaduze\Zaduze.dll' </dev/null >/dev/null 2>&1
dump regsvr32
same "the package's classes = regsvr32's" "$(classes before regsvr32)" "$PKG_CLS"
zv_wine64 regsvr32 /s /u 'C:\Program Files\Zaduze\Zaduze.dll' </dev/null >/dev/null 2>&1
zv_wine32 regsvr32 /s /u 'C:\Program Files (x86)\Zaduze\Zaduze.dll' </dev/null >/dev/null 2>&1
rm -rf "$PF" "$PF86"

# 6. Policies given later: installed without them, the README's change line
# adds the site lock and the IE mode list.
dump before2
zv_expect "IEMODE=1 without ALLOWEDSITES: refused" "$(msi /i "$X64" /qn IEMODE=1)" 1603
zv_expect "plain install exits 0" "$(msi /i "$X64" /qn)" 0
dump plain
zv_expect "plain install: no policy" "$(changes before2 plain m64)$(changes before2 plain pol)" \
  '+ HKEY_LOCAL_MACHINE\SOFTWARE\Zaduze | Path | sz | C:\Program Files\Zaduze\'
zv_expect "README change line on it exits 0" "$(doc "$DOC_CHANGE" "$PKG/Zaduze-1.4.4.0-x64.msi")" 0
dump later
zv_expect "later: the site lock and IE mode added as by the change line" "$(for v in m64 m32 pol; do changes change later $v; done)" ""
zv_expect_match "later: the site list names the hosts" "$(sites_in_list)" '^version [0-9]+ exam\.example school\.example$'
zv_expect "later: uninstall exits 0" "$(msi /x "$X64" /qn)" 0
dump later-removed
as_before before2 later-removed

# 7. An organisation's own IE mode list (and level): never replaced, never removed.
zv_reg add "$EDGE" /v InternetExplorerIntegrationSiteList /d 'https://intranet.example/sites.xml' /f
zv_reg add "$EDGE" /v InternetExplorerIntegrationLevel /t REG_DWORD /d 1 /f
dump org
zv_expect "organisation's list: README install line exits 0" "$(doc "$DOC_INSTALL" "$PKG/Zaduze-1.4.4.0-x64.msi")" 0
dump org-installed
zv_expect "organisation's list: Edge's policies untouched" "$(changes org org-installed pol)" ""
zv_expect "organisation's list: no list file, no IE mode marker" \
  "$([ -e "$PF/ZaduzeSiteList.xml" ] && echo file)$(changes org org-installed m64 | grep -c Edge)" "0"
zv_expect "organisation's list: the site lock still set" "$(changes org org-installed m64 | grep -c AllowedSites)" 1
zv_expect "organisation's list: uninstall exits 0" "$(msi /x "$X64" /qn)" 0
dump org-removed
as_before org org-removed
zv_reg delete "$EDGE" /f

# 8. The 32-bit package, made for 32-bit Windows (a 64-bit prefix cannot
# install it): one registry view only, refused on 64-bit Windows.
zv_expect "x86 package: no component in the 64-bit view" \
  "$(msiinfo export "$PKG/Zaduze-1.4.4.0-x86.msi" Component | tr -d '\r' | awk -F'\t' 'NR > 3 && int($4 / 256) % 2 == 1' | wc -l)" 0
zv_expect_match "x86 package: its launch condition" \
  "$(msiinfo export "$PKG/Zaduze-1.4.4.0-x86.msi" LaunchCondition | tr -d '\r')" \
  '^Installed OR NOT VersionNT64	This package is for 32-bit Windows\. On 64-bit Windows install Zaduze-1\.4\.4\.0-x64\.msi\.$'
rm -rf "$ZV_DOCS/zaduze"
zv_summary
