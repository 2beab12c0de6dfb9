#!/usr/bin/env bash
# What DllRegisterServer writes, captured from the control itself: both builds
# are registered with regsvr32 in a scratch Wine prefix (the x86_64 build in the
# 64-bit registry view, the i686 build in the 32-bit view), and the machine's
# class registrations are exported before and after each registration.
#
#   capture_registration.sh OUTDIR DLL64 DLL32
#
# OUTDIR receives {64,32}-{before,after}.reg (UTF-8) and paths.txt, the scratch
# paths the DLLs were registered from (the generator turns them back into the
# package's file and folder references). The 32-bit build is registered first,
# so that the 64-bit view's capture shows only what the x86_64 build adds.
set -u -o pipefail
OUT=$1 DLL64=$2 DLL32=$3
source "$(dirname "$0")/../wine/harness.sh"
trap 'zv_wine_stop' EXIT
zv_wine_start || { echo "capture: no Wine prefix" >&2; exit 1; }
mkdir -p "$OUT"

# The scratch folders carry names that cannot occur in a registry value by
# chance; the generator replaces them.
D64='C:\zvcapture64' D32='C:\zvcapture32'
mkdir -p "$WINEPREFIX/drive_c/zvcapture64" "$WINEPREFIX/drive_c/zvcapture32"
cp "$DLL64" "$WINEPREFIX/drive_c/zvcapture64/Zaduze.dll"
cp "$DLL32" "$WINEPREFIX/drive_c/zvcapture32/Zaduze.dll"
printf '%s\n%s\n' "$D64" "$D32" >"$OUT/paths.txt"

# The 64-bit reg.exe sees the classes as they are stored: the 32-bit view's
# own keys appear below Wow6432Node.
export_classes() {  # export_classes FILE
  rm -f "$WINEPREFIX/drive_c/x.reg"
  timeout -k 5 120 "$ZV_WINE64_BIN" reg export 'HKLM\Software\Classes' 'C:\x.reg' /y </dev/null >/dev/null 2>&1 || return 1
  iconv -f UTF-16LE -t UTF-8 "$WINEPREFIX/drive_c/x.reg" | tr -d '\r' | sed '1s/^\xEF\xBB\xBF//' >"$1"
}

capture() {  # capture zv_wine32|zv_wine64 DIR BITS
  export_classes "$OUT/$3-before.reg" || return 1
  "$1" regsvr32 /s "$2\\Zaduze.dll" </dev/null >/dev/null 2>&1 || { echo "capture: regsvr32 $2 failed" >&2; return 1; }
  export_classes "$OUT/$3-after.reg"
}

zv_can_run32 || { echo "capture: $ZV_NO_RUN32: the i686 registration cannot be captured" >&2; exit 1; }
capture zv_wine32 "$D32" 32 && capture zv_wine64 "$D64" 64
