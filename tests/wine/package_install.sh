#!/usr/bin/env bash
# The Windows Installer packages: installed with msiexec /qn, the machine's
# class registrations hold exactly what regsvr32 of the same DLLs in the same
# folders writes; the files, the install folder value, the Active Setup entry
# for other users and the site-lock policy are in place; the installed control,
# created by its ProgID, plays the exam page with the installed agent; a second
# install, a repair and a major upgrade leave one registration; the uninstall
# leaves the registry as it was (but for the two shared component categories,
# which stay as they stay after regsvr32 /u).
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
if ! bash "$ZV_ROOT/tools/package/package.sh" "$PKG" 1.4.4.0 >"$ZV_WINE_WORK/package.log" 2>&1 ||
   ! bash "$ZV_ROOT/tools/package/package.sh" "$NEXT" 1.4.5.0 >>"$ZV_WINE_WORK/package.log" 2>&1; then
  zv_fail "the packages are built" "$(tail -n 20 "$ZV_WINE_WORK/package.log")"
  zv_summary
  exit 0
fi
zv_ok "the packages are built"

PF="$WINEPREFIX/drive_c/Program Files/Zaduze"
PF86="$WINEPREFIX/drive_c/Program Files (x86)/Zaduze"
ASETUP='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{6E2F4A90-1C3B-4F7D-8E5A-0B9C7D3E2F14}'

# dump NAME: the machine's classes (both views: the 64-bit reg.exe shows the
# 32-bit view's keys below Wow6432Node) and the product's own keys, as UTF-8
# exports NAME-*.reg.
dump() {
  local entry view key file
  for entry in "cls HKLM\\Software\\Classes" "usr HKCU\\SOFTWARE\\Zaduze" "m64 HKLM\\SOFTWARE\\Zaduze" \
              "m32 HKLM\\SOFTWARE\\Wow6432Node\\Zaduze" "ase $ASETUP"; do
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
# classes A B: the class registrations B adds to or lacks from A, without
# Windows Installer's own records (Classes\Installer).
classes() { changes "$1" "$2" cls | grep -v '^. HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer'; }
# changes A B PART: what B adds to or lacks from A in that part of the dump.
# A package cannot write a folder without its final backslash: the type
# library's HELPDIR is compared without it.
changes() {
  python3 "$REGFILE" "$ZV_WINE_WORK/$1-$3.reg" "$ZV_WINE_WORK/$2-$3.reg" | sed 's/^\(.*\\HELPDIR | @ | sz | .*\)\\$/\1/'
}
# msi ARGS: msiexec (64-bit) with the full exit code.
msi() { zv_tool run 'C:\windows\system32\msiexec.exe' "msiexec $*" | awk '{print $2}'; }
winpkg() { zv_winpath "$1"; }
reg_count() { grep -c '^+' <<<"$1"; }
# same NAME ACTUAL EXPECTED: like zv_expect, the difference shown as a diff.
same() {
  if [ "$2" == "$3" ]; then zv_ok "$1"; else zv_fail "$1" "$(diff <(echo "$3") <(echo "$2") | head -n 30)"; fi
}
# Windows Installer's own folders of records stay, empty, as on every Windows.
not_installer_keys() { grep -v -E '^. HKEY_LOCAL_MACHINE\\Software\\Classes\\Installer(\\[A-Za-z]+)?$'; }
not_categories() { grep -v 'Component Categories'; }

# A 32-bit script client (JScript under 32-bit Wine) creates the control (i686).
cat >"$ZV_WINE_WORK/create.js" <<'JS'
try { var z = new ActiveXObject("ZADUZE.ZaduzeCtrl.1"); WScript.Echo("created"); }
catch (e) { WScript.Echo("failed " + e.message); }
JS
client32() { zv_wine32 cscript //nologo "$(zv_winpath "$ZV_WINE_WORK/create.js")" </dev/null 2>/dev/null | tr -d '\r'; }
# The script host registers its own type library at its first start: before
# the first dump.
client32 >/dev/null
# A machine without the product: no install folder key left by others.
zv_reg delete 'HKCU\SOFTWARE\Zaduze' /f

dump before

# 1. Install, quietly, with the site-lock policy.
zv_expect "msiexec /i /qn ALLOWEDSITES=... exits 0" \
  "$(msi /i "$(winpkg "$PKG/Zaduze-1.4.4.0-x64.msi")" /qn 'ALLOWEDSITES="https://exam.example,https://b.example"')" 0
dump installed
for f in "$PF/ZedudeVeri.exe" "$PF/Zaduze.dll" "$PF86/Zaduze.dll"; do
  if [ -f "$f" ]; then zv_ok "installed: ${f#$WINEPREFIX/drive_c/}"; else zv_fail "installed: ${f#$WINEPREFIX/drive_c/}"; fi
done
zv_expect "each folder's control is the build of its bitness" \
  "$(x86_64-w64-mingw32-objdump -f "$PF/Zaduze.dll" "$PF86/Zaduze.dll" | sed -n 's/.*file format //p' | tr '\n' ' ')" "pei-x86-64 pei-i386 "
zv_expect "Path is the install folder" "$(changes before installed usr)" \
  '+ HKEY_CURRENT_USER\SOFTWARE\Zaduze | Path | sz | C:\Program Files\Zaduze\'
for entry in "m64 " "m32 Wow6432Node\\"; do
  read -r part node <<<"$entry"
  zv_expect "AllowedSites in HKLM\\SOFTWARE\\${node}Zaduze" "$(changes before installed "$part")" \
    "+ HKEY_LOCAL_MACHINE\\SOFTWARE\\${node}Zaduze | AllowedSites | sz | https://exam.example,https://b.example"
done
stub=$(changes before installed ase | sed -n 's/^+ .* | StubPath | sz | //p')
zv_expect_match "Active Setup writes Path at other users' logon" "$stub" 'reg\.exe" add HKCU\\SOFTWARE\\Zaduze /v Path /d "C:\\Program Files\\Zaduze\\\\" /f$'
# What that entry runs, run here for a user without the value.
zv_reg delete 'HKCU\SOFTWARE\Zaduze' /f
zv_tool run 'C:\windows\system32\reg.exe' "$stub" >/dev/null
dump stub
zv_expect "the Active Setup command writes the same Path" "$(changes before stub usr)" "$(changes before installed usr)"
PKG_CLS=$(classes before installed)
echo "# the package writes $(reg_count "$PKG_CLS") class values and keys, $(grep -c Wow6432Node <<<"$PKG_CLS") of them in the 32-bit view"

# 2. The installed control by its ProgID, the installed agent, the template page.
cp "$ZV_ROOT/tools/container/exam_page.html" "$ZV_ROOT/tools/container/exam_page.calls" "$ZV_WINE_WORK/"
# The package set a site lock: the page comes from an allowed site.
out=$(ctl_container "$ZV_WINE_WORK/exam_page.html" --url https://exam.example/exam/ --script "$(zv_winpath "$ZV_WINE_WORK/exam_page.calls")")
zv_expect_match "installed: created by ProgID" "$out" '^created ZADUZE\.ZaduzeCtrl\.1$'
zv_expect_match "installed: the session starts (agent from the install folder)" "$out" '^StartZaduzeApp\(\) -> 0$'
zv_expect_match "installed: the session stops" "$out" '^StopZaduzeApp\(\) -> 0$'
zv_expect_match "installed: the page is left normally" "$out" '^released, references left 0$'
zv_tool waitgone ZedudeVeri 3000 >/dev/null
zv_expect_match "installed: a 32-bit client creates the i686 control by ProgID" "$(client32)" '^created'


# 3. Install again, repair after damage, major upgrade: one registration each time.
# step NAME MSIEXEC-ARGS [DAMAGE]
step() {
  [ -n "${3:-}" ] && eval "$3"
  zv_expect "$1: msiexec exits 0" "$(msi $2)" 0
  dump "$1"
  same "$1: the classes as installed" "$(classes before "$1")" "$PKG_CLS"
  zv_expect "$1: Path as installed" "$(changes before "$1" usr)" "$(changes before installed usr)"
}
X64=$(winpkg "$PKG/Zaduze-1.4.4.0-x64.msi")
PRODUCT=$(msiinfo export "$PKG/Zaduze-1.4.4.0-x64.msi" Property | tr -d '\r' | awk '$1 == "ProductCode" {print $2}')
step again "/i $X64 /qn"
# A repair as REINSTALL/REINSTALLMODE (what /f sets; Wine's msiexec refuses /f).
step repair "/i $PRODUCT REINSTALL=ALL REINSTALLMODE=omus /qn" 'rm -f "$PF/Zaduze.dll"'
[ -f "$PF/Zaduze.dll" ] && zv_ok "repair: the removed DLL is back" || zv_fail "repair: the removed DLL is back"
step repair-registry "/i $PRODUCT REINSTALL=ALL REINSTALLMODE=mu /qn" \
  'zv_reg delete "HKCR\ZADUZE.ZaduzeCtrl.1" /f; zv_reg delete "HKCU\SOFTWARE\Zaduze" /f'
step upgrade "/i $(winpkg "$NEXT/Zaduze-1.4.5.0-x64.msi") /qn"
products=$(zv_wine64 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /v DisplayName </dev/null 2>/dev/null | tr -d '\r' | grep -c 'Zaduze exam lockdown')
zv_expect "upgrade: one product in Add/Remove Programs" "$products" 1
zv_expect "upgrade: the site-lock policy is kept" "$(changes installed upgrade m64)$(changes installed upgrade m32)" ""
zv_expect_match "upgrade: Active Setup announces the new version" "$(changes before upgrade ase)" 'Version \| sz \| 1,4,5,0'

# 4. Uninstall: files gone, the registry as before.
zv_expect "msiexec /x /qn exits 0" "$(msi /x "$(winpkg "$NEXT/Zaduze-1.4.5.0-x64.msi")" /qn)" 0
dump removed
[ ! -e "$PF" ] && [ ! -e "$PF86" ] && zv_ok "uninstall: the install folders are gone" || zv_fail "uninstall: the install folders are gone" "$(ls -R "$PF" "$PF86" 2>&1)"
zv_expect "uninstall: the classes as before but the shared component categories" \
  "$(changes before removed cls | not_categories | not_installer_keys)" ""
for v in usr m64 m32 ase; do zv_expect "uninstall: $v as before" "$(changes before removed $v)" ""; done

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

# 6. The 32-bit package (made for 32-bit Windows), here in the 32-bit view.
X86=$(winpkg "$PKG/Zaduze-1.4.4.0-x86.msi")
zv_expect "x86 package: msiexec /i exits 0" "$(msi /i "$X86" /qn)" 0
[ -f "$PF86/ZedudeVeri.exe" ] && [ -f "$PF86/Zaduze.dll" ] && zv_ok "x86 package: agent and control installed" ||
  zv_fail "x86 package: agent and control installed"
zv_expect "x86 package: Path is its folder" "$(zv_reg_query 'HKCU\SOFTWARE\Zaduze' /v Path | sed -n 's/.*REG_SZ *//p')" \
  'C:\Program Files (x86)\Zaduze\'
zv_expect_match "x86 package: a 32-bit client creates the control by ProgID" "$(client32)" '^created'

zv_expect "x86 package: msiexec /x exits 0" "$(msi /x "$X86" /qn)" 0
dump x86-removed
zv_expect "x86 package: the classes as before" "$(changes before x86-removed cls | not_categories | not_installer_keys)" ""
zv_expect "x86 package: Path gone" "$(changes before x86-removed usr)" ""
rm -rf "$ZV_DOCS/zaduze"
zv_summary
