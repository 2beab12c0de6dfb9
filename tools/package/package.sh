#!/usr/bin/env bash
# Builds the release from the cross builds (build/mingw64, build/mingw32):
#
#   package.sh OUTDIR [VERSION]
#
# OUTDIR receives
#   Zaduze-VERSION-x64.msi   agent + x86_64 control (64-bit view) + i686 control (32-bit view)
#   Zaduze-VERSION-x86.msi   agent + control for 32-bit Windows
#   Zaduze-VERSION-bin.zip   the stripped binaries (x64/, x86/) and README.md
#   Zaduze-VERSION-symbols.zip  their debug symbols, found by the binaries' debug links
#   SHA256SUMS
# The control's registration is captured from regsvr32 in a scratch Wine
# prefix (capture_registration.sh), once per build of the DLLs.
set -u -o pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
OUT=$1
VERSION=${2:-1.4.4.0}
B64=$ROOT/build/mingw64
B32=$ROOT/build/mingw32
WORK=$ROOT/build/package
mkdir -p "$OUT" "$WORK"
OUT=$(cd "$OUT" && pwd)

fail() { echo "package: $*" >&2; exit 1; }
for f in "$B64/agent/res/ZedudeVeri.exe" "$B64/control/res/Zaduze.dll" "$B32/agent/res/ZedudeVeri.exe" \
         "$B32/control/res/Zaduze.dll"; do
  [ -f "$f" ] || fail "missing $f (build the mingw64 and mingw32 presets first)"
done

# ship BIN TOOLPREFIX STAGEDIR SYMDIR: a stripped copy in STAGEDIR, its debug
# symbols in SYMDIR, the copy linked to them by name and checksum.
ship() {
  local bin=$1 tp=$2 stage=$3 sym=$4 name
  name=$(basename "$bin")
  mkdir -p "$stage" "$sym"
  "$tp-objcopy" --only-keep-debug "$bin" "$sym/$name.debug" || fail "objcopy $bin"
  "$tp-strip" --strip-all -o "$stage/$name" "$bin" || fail "strip $bin"
  (cd "$sym" && "$tp-objcopy" --add-gnu-debuglink="$name.debug" "$stage/$name") || fail "debuglink $bin"
}

STAGE=$WORK/stage
rm -rf "$STAGE"
ship "$B64/agent/res/ZedudeVeri.exe" x86_64-w64-mingw32 "$STAGE/x64" "$STAGE/symbols/x64"
ship "$B64/control/res/Zaduze.dll" x86_64-w64-mingw32 "$STAGE/x64" "$STAGE/symbols/x64"
ship "$B32/agent/res/ZedudeVeri.exe" i686-w64-mingw32 "$STAGE/x86" "$STAGE/symbols/x86"
ship "$B32/control/res/Zaduze.dll" i686-w64-mingw32 "$STAGE/x86" "$STAGE/symbols/x86"

# What the packages install: x64 = 64-bit agent and control, the i686
# control in x86/; x86 = the 32-bit agent and control.
mkdir -p "$WORK/bin-x64/x86" "$WORK/bin-x86"
cp "$STAGE/x64/ZedudeVeri.exe" "$STAGE/x64/Zaduze.dll" "$ROOT/agent/res/ZedudeVeri.ico" "$WORK/bin-x64/"
cp "$STAGE/x86/Zaduze.dll" "$WORK/bin-x64/x86/"
cp "$STAGE/x86/ZedudeVeri.exe" "$STAGE/x86/Zaduze.dll" "$ROOT/agent/res/ZedudeVeri.ico" "$WORK/bin-x86/"

# The registration, captured again whenever a control build changed.
CAP=$WORK/capture
stamp=$(sha256sum "$B64/control/res/Zaduze.dll" "$B32/control/res/Zaduze.dll" | awk '{print $1}' | tr -d '\n')
if [ "$(cat "$CAP/stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$CAP"
  bash "$HERE/capture_registration.sh" "$CAP" "$STAGE/x64/Zaduze.dll" "$STAGE/x86/Zaduze.dll" ||
    fail "capturing the registration failed"
  echo "$stamp" >"$CAP/stamp"
fi

PY=$(command -v python3) || fail "python3 is missing"
for arch in x64 x86; do
  msi=$OUT/Zaduze-$VERSION-$arch.msi
  # wixl takes source files relative to the folder it runs in.
  "$PY" "$HERE/make_wxs.py" "$arch" "$VERSION" "$CAP" . "$WORK/zaduze-$arch.wxs" \
    "$WORK/zaduze-$arch.sql" || fail "generating the $arch source failed"
  rm -f "$msi"
  (cd "$WORK/bin-$arch" && wixl -a "$arch" -o "$msi" "$WORK/zaduze-$arch.wxs") >"$WORK/wixl-$arch.log" 2>&1 ||
    { cat "$WORK/wixl-$arch.log"; fail "wixl $arch"; }
  while IFS= read -r q; do
    [ -n "$q" ] || continue
    msibuild "$msi" -q "$q" || fail "msibuild $arch: $q"
  done <"$WORK/zaduze-$arch.sql"
done

# The binaries with the README, their symbols, the checksums.
rm -f "$OUT/Zaduze-$VERSION-bin.zip" "$OUT/Zaduze-$VERSION-symbols.zip"
cp "$ROOT/README.md" "$STAGE/README.md"
(cd "$STAGE" && zip -q -X -r "$OUT/Zaduze-$VERSION-bin.zip" README.md x64 x86) || fail "zip"
(cd "$STAGE/symbols" && zip -q -X -r "$OUT/Zaduze-$VERSION-symbols.zip" x64 x86) || fail "zip symbols"
(cd "$OUT" && sha256sum Zaduze-"$VERSION"-* >SHA256SUMS)
"$PY" "$HERE/size_table.py" "$ROOT/README.md" "$OUT" "$STAGE" "$VERSION" || fail "README size tables"
echo "package: $OUT"
(cd "$STAGE" && ls -l x64/* x86/* symbols/*/* | awk '{printf "  %-28s %10d\n", $9, $5}')
(cd "$OUT" && ls -l Zaduze-"$VERSION"-* | awk '{printf "  %-28s %10d\n", $9, $5}')
