#!/usr/bin/env bash
# Self-registration of both builds of the control: regsvr32 registers and
# unregisters (the i686 build under 32-bit Wine); ProgIDs, class keys, the
# type library and the component categories appear and go away; the entry
# points' exact return codes.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

CATS=('{7DD95801-9882-11CF-9FA9-00AA006C42C4}' '{7DD95802-9882-11CF-9FA9-00AA006C42C4}')
PP='{3A09F545-C31F-458E-90CA-8113A981F0C8}'

# q WINE KEY [VALUE-OPTS]: prints the reg query output of the key, empty if missing.
q() { local w=$1; shift; "$w" reg query "$@" </dev/null 2>/dev/null | tr -d '\r'; }
has_key() { "$1" reg query "$2" </dev/null >/dev/null 2>&1; }

check_bitness() {  # WINE DLL TAG WIN
  local w=$1 dll=$2 tag=$3 plat=$4
  local path
  path=$(zv_winpath "$dll")
  "$w" regsvr32 /s "$path" </dev/null >/dev/null 2>&1
  zv_expect "$tag: regsvr32 exits 0" "$?" "0"
  zv_expect_match "$tag: ProgID names the class" "$(q "$w" 'HKCR\ZADUZE.ZaduzeCtrl.1\CLSID')" "$ZV_CTL_CLSID"
  zv_expect_match "$tag: type name" "$(q "$w" 'HKCR\ZADUZE.ZaduzeCtrl.1' /ve)" "Zaduze Control"
  zv_expect_match "$tag: page ProgID" "$(q "$w" 'HKCR\ZADUZE.ZaduzePropPage.1\CLSID')" "$PP"
  zv_expect_match "$tag: page type name" "$(q "$w" "HKCR\\CLSID\\$PP" /ve)" "Zaduze Property Page"
  local cls="HKCR\\CLSID\\$ZV_CTL_CLSID"
  zv_expect_match "$tag: in-process server path" "$(q "$w" "$cls\\InprocServer32" /ve)" "Zaduze\\.dll"
  zv_expect_match "$tag: apartment threading" "$(q "$w" "$cls\\InprocServer32" /v ThreadingModel)" "Apartment"
  zv_expect_match "$tag: misc status 0x20191" "$(q "$w" "$cls\\MiscStatus\\1" /ve)" "131473"
  zv_expect_match "$tag: marked as a control" "$(q "$w" "$cls\\Control")" "Control"
  zv_expect_match "$tag: tool-box bitmap 1" "$(q "$w" "$cls\\ToolboxBitmap32" /ve)" "Zaduze\\.dll, 1"
  zv_expect_match "$tag: type library version 1.0" "$(q "$w" "$cls\\Version" /ve)" "REG_SZ\\s+1\\.0"
  zv_expect_match "$tag: library named by the class" "$(q "$w" "$cls\\TypeLib" /ve)" "$ZV_CTL_LIBID"
  zv_expect_match "$tag: type library registered as 1.3 ($plat)" \
    "$(q "$w" "HKCR\\TypeLib\\$ZV_CTL_LIBID\\1.3\\409\\$plat" /ve)" "Zaduze\\.dll"
  local c
  for c in "${CATS[@]}"; do
    zv_expect_match "$tag: category $c exists" "$(q "$w" "HKCR\\Component Categories\\$c" /v 409)" "Control"
    if has_key "$w" "$cls\\Implemented Categories\\$c"; then zv_ok "$tag: class implements $c"; else zv_fail "$tag: class implements $c"; fi
  done
  zv_expect_match "$tag: category descriptions" \
    "$(q "$w" "HKCR\\Component Categories\\${CATS[1]}" /v 409)" "Controls safely initializable from persistent data"

  "$w" regsvr32 /s /u "$path" </dev/null >/dev/null 2>&1
  zv_expect "$tag: regsvr32 /u exits 0" "$?" "0"
  for k in 'HKCR\ZADUZE.ZaduzeCtrl.1' 'HKCR\ZADUZE.ZaduzePropPage.1' "$cls" "HKCR\\CLSID\\$PP" \
           "HKCR\\TypeLib\\$ZV_CTL_LIBID\\1.3\\409\\$plat"; do
    if has_key "$w" "$k"; then zv_fail "$tag: $k removed"; else zv_ok "$tag: $k removed"; fi
  done
  for c in "${CATS[@]}"; do
    if has_key "$w" "HKCR\\Component Categories\\$c"; then zv_ok "$tag: category $c stays"; else zv_fail "$tag: category $c stays"; fi
  done
}

check_bitness "$ZV_WINE64_BIN" "$ZV_CTL_DLL64" x86_64 win64
if ! zv_can_test32; then
  zv_skip "i686: registration ($(zv_no_test32))"
elif [ -f "$ZV_CTL_DLL32" ]; then
  check_bitness "$ZV_WINE32_BIN" "$ZV_CTL_DLL32" i686 win32
else
  zv_fail "i686 build of the control exists" "$ZV_CTL_DLL32"
fi

# Return codes of the entry points themselves.
SELFREG=$ZV_BUILD64/tests/control_selfreg.exe
dll=$(zv_winpath "$ZV_CTL_DLL64")
zv_expect "DllRegisterServer returns 0" "$(zv_wine64 "$SELFREG" register "$dll" </dev/null | tr -d '\r')" "hr 0x00000000"
zv_expect "DllUnregisterServer returns 0" "$(zv_wine64 "$SELFREG" unregister "$dll" </dev/null | tr -d '\r')" "hr 0x00000000"
zv_expect "a second unregistration finds no type library (SELFREG_E_TYPELIB)" \
  "$(zv_wine64 "$SELFREG" unregister "$dll" </dev/null | tr -d '\r')" "hr 0x80040200"

# The library keeps its Korean help strings in code page 949.
tlb=$ZV_BUILD64/control/res/zaduze.tlb
for word in "속성 KeepAliveMillisec" "메서드 StartZaduzeApp"; do
  needle=$(printf '%s' "$word" | iconv -f UTF-8 -t CP949 | od -An -tx1 | tr -d ' \n')
  if od -An -tx1 -v "$tlb" | tr -d ' \n' | grep -q "$needle"; then zv_ok "library holds \"$word\" in CP949"; else zv_fail "library holds \"$word\" in CP949"; fi
done

zv_summary
