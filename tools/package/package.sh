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
#   Zaduze-VERSION-TEST-ONLY-root.crt  the root of the test signature (without a release certificate)
#   SHA256SUMS
#
# Every binary and both packages carry an Authenticode signature. Without a
# release certificate they are signed with the TEST-ONLY certificate of
# tools/package/test-signing. A release build names its certificate in the
# environment:
#   ZV_SIGN_CERT       PEM: the code-signing certificate (then any intermediates)
#   ZV_SIGN_KEY        PEM: its private key
#   ZV_SIGN_PASSFILE   a file holding the key's password (optional)
#   ZV_SIGN_ROOT       PEM: the root it chains to, checked here and shipped
#                      as Zaduze-VERSION-root.crt (optional)
#   ZV_SIGN_TIMESTAMP  an RFC 3161 time-stamp server (optional; the packages
#                      are then no longer byte for byte reproducible)
#
# Reproducible: the same commit gives the same files. Every time stamp (PE
# headers, the packages' summary information, the cabinet, the zips, the
# signing time) is SOURCE_DATE_EPOCH, by default the commit's time.
#
# The control's registration is captured from regsvr32 in a scratch Wine
# prefix (capture_registration.sh), once per build of the DLLs and Wine version.
set -u -o pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
OUT=$1
VERSION=${2:-1.4.4.0}
B64=$ROOT/build/mingw64
B32=$ROOT/build/mingw32
WORK=$ROOT/build/package
export LC_ALL=C TZ=UTC
umask 022

fail() { echo "package: $*" >&2; exit 1; }
# Debian's Python: the summary information is written through its libmsi bindings.
PY=/usr/bin/python3
[ -x "$PY" ] || fail "python3 is missing"
"$PY" "$HERE/make_wxs.py" --check-version "$VERSION" || fail "refused version $VERSION"
for tool in wixl osslsigncode zip; do
  command -v "$tool" >/dev/null || fail "$tool is missing (./run deps)"
done
for f in "$B64/agent/res/ZedudeVeri.exe" "$B64/control/res/Zaduze.dll" "$B32/agent/res/ZedudeVeri.exe" \
         "$B32/control/res/Zaduze.dll"; do
  [ -f "$f" ] || fail "missing $f (build the mingw64 and mingw32 presets first)"
done
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null) ||
    fail "no commit to take the time from: set SOURCE_DATE_EPOCH"
fi
[[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || fail "SOURCE_DATE_EPOCH is not a number: $SOURCE_DATE_EPOCH"
# strip and objcopy write it into the PE headers.
export SOURCE_DATE_EPOCH

# The signing certificate: the release one from the environment, or the test one.
TEST_SIGNING=$HERE/test-signing
if [ -n "${ZV_SIGN_CERT:-}${ZV_SIGN_KEY:-}" ]; then
  [ -f "${ZV_SIGN_CERT:-}" ] && [ -f "${ZV_SIGN_KEY:-}" ] || fail "ZV_SIGN_CERT and ZV_SIGN_KEY must both name files"
  SIGN_CERT=$ZV_SIGN_CERT SIGN_KEY=$ZV_SIGN_KEY SIGN_ROOT=${ZV_SIGN_ROOT:-}
  ROOT_NAME=Zaduze-$VERSION-root.crt
else
  SIGN_CERT=$TEST_SIGNING/zaduze-TEST-ONLY-codesign.crt SIGN_KEY=$TEST_SIGNING/zaduze-TEST-ONLY-codesign.key
  SIGN_ROOT=$TEST_SIGNING/zaduze-TEST-ONLY-root.crt
  ROOT_NAME=Zaduze-$VERSION-TEST-ONLY-root.crt
fi
SIGN_ARGS=(-certs "$SIGN_CERT" -key "$SIGN_KEY" -h sha256 -n "Zaduze exam lockdown" -time "$SOURCE_DATE_EPOCH")
[ -n "${ZV_SIGN_PASSFILE:-}" ] && SIGN_ARGS+=(-readpass "$ZV_SIGN_PASSFILE")
[ -n "${ZV_SIGN_TIMESTAMP:-}" ] && SIGN_ARGS+=(-ts "$ZV_SIGN_TIMESTAMP")
# sign FILE: signed in place, then checked against the root when there is one.
sign() {
  rm -f "$1.signed"
  osslsigncode sign "${SIGN_ARGS[@]}" -in "$1" -out "$1.signed" >"$WORK/sign.log" 2>&1 ||
    { cat "$WORK/sign.log"; fail "signing $1"; }
  mv "$1.signed" "$1"
  if [ -n "$SIGN_ROOT" ]; then
    osslsigncode verify -CAfile "$SIGN_ROOT" -in "$1" >"$WORK/sign.log" 2>&1 ||
      { cat "$WORK/sign.log"; fail "the signature of $1 does not verify"; }
  fi
}

mkdir -p "$OUT" "$WORK"
OUT=$(cd "$OUT" && pwd)

# ship BIN TOOLPREFIX STAGEDIR SYMDIR: a stripped, signed copy in STAGEDIR,
# its debug symbols in SYMDIR, the copy linked to them by name and checksum.
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

# The registration, captured again whenever a control build or Wine changed
# (captured from the stripped DLLs; the signature does not change it).
CAP=$WORK/capture
wine_version=$(/usr/lib/wine/wine64 --version 2>/dev/null)
stamp="$(sha256sum "$B64/control/res/Zaduze.dll" "$B32/control/res/Zaduze.dll" | awk '{print $1}' | tr -d '\n') $wine_version"
if [ "$(cat "$CAP/stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$CAP"
  bash "$HERE/capture_registration.sh" "$CAP" "$STAGE/x64/Zaduze.dll" "$STAGE/x86/Zaduze.dll" ||
    fail "capturing the registration failed"
  echo "$stamp" >"$CAP/stamp"
fi

for f in "$STAGE"/x64/* "$STAGE"/x86/*; do sign "$f"; done

# What the packages install: x64 = 64-bit agent and control, the i686
# control in x86/; x86 = the 32-bit agent and control. Beside them the site
# list's custom actions, which go into the packages' Binary table.
rm -rf "$WORK/bin-x64" "$WORK/bin-x86"
mkdir -p "$WORK/bin-x64/x86" "$WORK/bin-x86"
cp "$STAGE/x64/ZedudeVeri.exe" "$STAGE/x64/Zaduze.dll" "$ROOT/agent/res/ZedudeVeri.ico" "$HERE/site_list.js" "$WORK/bin-x64/"
cp "$STAGE/x86/Zaduze.dll" "$WORK/bin-x64/x86/"
cp "$STAGE/x86/ZedudeVeri.exe" "$STAGE/x86/Zaduze.dll" "$ROOT/agent/res/ZedudeVeri.ico" "$HERE/site_list.js" "$WORK/bin-x86/"
cp "$ROOT/README.md" "$STAGE/README.md"
# Fixed modes and times for everything that goes into an archive.
find "$STAGE" "$WORK/bin-x64" "$WORK/bin-x86" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$STAGE" "$WORK/bin-x64" "$WORK/bin-x86" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

for arch in x64 x86; do
  msi=$OUT/Zaduze-$VERSION-$arch.msi
  payload=$(cd "$WORK/bin-$arch" && find . -type f | sort | xargs sha256sum | sha256sum | awk '{print $1}')
  # wixl takes source files relative to the folder it runs in.
  "$PY" "$HERE/make_wxs.py" "$arch" "$VERSION" "$CAP" . "$WORK/zaduze-$arch.wxs" \
    "$WORK/zaduze-$arch.sql" "$payload" || fail "generating the $arch source failed"
  rm -f "$msi"
  (cd "$WORK/bin-$arch" && wixl -a "$arch" -o "$msi" "$WORK/zaduze-$arch.wxs") >"$WORK/wixl-$arch.log" 2>&1 ||
    { cat "$WORK/wixl-$arch.log"; fail "wixl $arch"; }
  "$PY" "$HERE/finish_msi.py" "$msi" "$SOURCE_DATE_EPOCH" "$WORK/zaduze-$arch.wxs" "$WORK/zaduze-$arch.sql" ||
    fail "completing the $arch package failed"
  sign "$msi"
done

# The binaries with the README, their symbols: sorted entries, no directory
# entries, no extra fields, the fixed times (zip stores local time: UTC here).
rm -f "$OUT/Zaduze-$VERSION-bin.zip" "$OUT/Zaduze-$VERSION-symbols.zip"
(cd "$STAGE" && find README.md x64 x86 -type f | sort | zip -q -X -D "$OUT/Zaduze-$VERSION-bin.zip" -@) || fail "zip"
(cd "$STAGE/symbols" && find x64 x86 -type f | sort | zip -q -X -D "$OUT/Zaduze-$VERSION-symbols.zip" -@) ||
  fail "zip symbols"
rm -f "$OUT"/Zaduze-"$VERSION"-*root.crt
[ -n "$SIGN_ROOT" ] && { cp "$SIGN_ROOT" "$OUT/$ROOT_NAME"; chmod 644 "$OUT/$ROOT_NAME"; }
(cd "$OUT" && sha256sum Zaduze-"$VERSION"-* >SHA256SUMS)
# The release build (./run package) writes its sizes into the README; the
# scenarios' builds of other versions leave the tree alone.
if [ -n "${ZV_README_SIZES:-}" ]; then
  "$PY" "$HERE/size_table.py" "$ROOT/README.md" "$OUT" "$STAGE" "$VERSION" || fail "README size tables"
fi
echo "package: $OUT"
(cd "$STAGE" && ls -l x64/* x86/* symbols/*/* | awk '{printf "  %-28s %10d\n", $9, $5}')
(cd "$OUT" && ls -l Zaduze-"$VERSION"-* | awk '{printf "  %-36s %10d\n", $9, $5}')
