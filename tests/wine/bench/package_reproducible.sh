#!/usr/bin/env bash
# The release is reproducible: `./run package` in two fresh clones of the
# committed HEAD gives the same SHA256SUMS (and so the same files). Two full
# builds of both Windows presets (the compiler cache shortens them): run by
# ./run bench, not by ./run test. The clones live below build/repro of this
# tree (inside the compiler cache's base folder) and are removed at the end;
# ZV_REPRO_KEEP=1 keeps them.
set -u -o pipefail
ROOT=$(cd "$(dirname "$0")/../../.." && pwd)
WORK=$ROOT/build/repro
commit=$(git -C "$ROOT" rev-parse HEAD) || exit 1
rm -rf "$WORK"
mkdir -p "$WORK"
[ -z "${ZV_REPRO_KEEP:-}" ] && trap 'rm -rf "$WORK"' EXIT
echo "== reproducible release: two clones of $commit"
for c in a b; do
  git clone -q --no-checkout "$ROOT" "$WORK/$c" && git -C "$WORK/$c" checkout -q --detach "$commit" || exit 1
  start=$SECONDS
  if ! (cd "$WORK/$c" && ./run package) >"$WORK/$c.log" 2>&1; then
    tail -n 30 "$WORK/$c.log"
    echo "clone $c: ./run package failed"
    exit 1
  fi
  echo "clone $c: ./run package in $((SECONDS - start)) s"
done
if cmp -s "$WORK/a/dist/SHA256SUMS" "$WORK/b/dist/SHA256SUMS"; then
  echo "same SHA256SUMS ($(wc -l <"$WORK/a/dist/SHA256SUMS") files): reproducible"
else
  diff "$WORK/a/dist/SHA256SUMS" "$WORK/b/dist/SHA256SUMS"
  echo "NOT reproducible: the SHA256SUMS differ"
  exit 1
fi
