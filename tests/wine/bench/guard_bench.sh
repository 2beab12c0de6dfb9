#!/usr/bin/env bash
# Application guard under Wine: ms per close pass and per count with 50, 200
# and 1000 application windows (and the process list of the prefix), to set
# against the pass's one-second tick. Uses build/mingw64 unless ZV_BUILD64
# says otherwise; starts its own prefix unless run inside the harness.
source "$(dirname "$0")/../../../tools/wine/harness.sh"

if [ -z "${ZV_IN_HARNESS:-}" ]; then
  trap 'zv_wine_stop' EXIT
  zv_wine_start || exit 1
fi
BENCH="$ZV_BUILD64/tests/guard_bench.exe"
[ -f "$BENCH" ] || { echo "missing $BENCH: build the mingw64 preset first" >&2; exit 1; }
echo "== application guard pass under Wine (${GUARD_BENCH_PASSES:-10} passes each)"
zv_wine64 "$BENCH" "${GUARD_BENCH_PASSES:-10}" 50 200 1000 </dev/null 2>/dev/null | tr -d '\r'
