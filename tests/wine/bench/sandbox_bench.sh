#!/usr/bin/env bash
# First a page that opens and closes in the test container, with the real
# agent and without one (no install folder: the control runs nothing), in
# pairs; then the page's three agent commands and a bare lookup, each as a
# whole agent run and inside the agent (from its log): where the page's extra
# time goes. Then snapshot save and restore of a generated
# subtree (2,000 keys, 20,000 values below Internet Settings) against Wine's
# `reg export` and `reg import` of the same subtree, in one prefix, one after
# the other.
# Starts its own prefix unless the harness already runs one. The restore is
# timed twice: over an unchanged registry, and after the settings step and a
# trusted site (the clean-up then removes what they added).
# ZV_BENCH_AGENT=PATH times another build of the agent (for comparisons).
source "$(dirname "$0")/../../../tools/wine/harness.sh"
if [ -z "${ZV_IN_HARNESS:-}" ]; then
  trap zv_wine_stop EXIT
  zv_wine_start || exit 1
  export WINEPREFIX HOME WINEDEBUG WINEDLLOVERRIDES DISPLAY ZV_DOCS ZV_WINE_WORK
fi

AGENT=${ZV_BENCH_AGENT:-$(zv_agent)}
KEYS=${ZV_BENCH_KEYS:-2000}
VALUES=${ZV_BENCH_VALUES:-10}
IS='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
WORK=$(mktemp -d)
cleanup_bench() { zv_wine64 reg delete "$IS\\ZvBench" /f >/dev/null 2>&1 </dev/null; rm -rf "$WORK"; }
trap 'cleanup_bench; [ -z "${ZV_IN_HARNESS:-}" ] && zv_wine_stop' EXIT

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
timed() { local t0 t1; t0=$(now); "$@" >/dev/null 2>&1 </dev/null; t1=$(now); seconds "$t0" "$t1"; }
# median_of N COMMAND...: the median of N runs, in seconds.
median_of() {
  local n=$1 i all=""
  shift
  for i in $(seq 1 "$n"); do all="$all $(timed "$@")"; done
  echo "$all" | median
}

# --- a page that opens and closes ------------------------------------------------
source "$(dirname "$0")/../control/common.sh"
PAIRS=${ZV_BENCH_PAIRS:-7}
PAGE_FILE=$WORK/bench_page.html
ctl_register64
ctl_page "$PAGE_FILE" "AppNotification=0"
page_with() { ctl_set_path "$(dirname "$AGENT")"; ctl_container "$PAGE_FILE"; }
page_without() { ctl_set_path ""; ctl_container "$PAGE_FILE"; }
page_with >/dev/null 2>&1 </dev/null
with_all="" without_all="" diff_all=""
for i in $(seq 1 "$PAIRS"); do
  a=$(timed page_with)
  b=$(timed page_without)
  with_all="$with_all $a" without_all="$without_all $b" diff_all="$diff_all $(seconds "$b" "$a")"
done
ctl_set_path "$(dirname "$AGENT")"
# Each command through the runner (the whole agent run), and inside the agent:
# from its first log line to its last (the log's milliseconds count from the
# first line; every command here takes well under a second).
LOGS=$ZV_DOCS/zaduze/log
inside_ms() { tr -d '\r' < "$(ls -1tr "$LOGS"/*_app.log | tail -n 1)" | tail -n 1 | sed 's/^\[[0-9:]*\.\([0-9]*\)\].*/\1/'; }
declare -A outside inside
for i in $(seq 1 "$PAIRS"); do
  for command in bare save loose restore; do
    case $command in
      bare) line='-TrustzoneQueryDomain "nodot" -DebugLog 1' ;;
      save) line='-RegistrySave "page" -DebugLog 1' ;;
      loose) line='-RegistrySetLoose 1 -DebugLog 1' ;;
      restore) line='-RegistryRestore "page" -DebugLog 1' ;;
    esac
    rm -f "$LOGS"/*_app.log  # the run's own log is the only one
    outside[$command]="${outside[$command]} $(timed zv_exit "$AGENT" "$line")"
    inside[$command]="${inside[$command]} $(inside_ms)"
  done
done
page_diff=$(echo "$diff_all" | median)
echo "page open and close, median of $PAIRS pairs: with the agent $(echo "$with_all" | median) s," \
  "without $(echo "$without_all" | median) s, difference $page_diff s"
for command in bare save loose restore; do
  printf 'agent run: %-8s %8s s whole (through the runner), %4d ms inside the agent\n' "$command" \
    "$(echo "${outside[$command]}" | median)" "$(echo "${inside[$command]}" | median | cut -d. -f1)"
done

# The subtree, as a version 5 registry file (UTF-16LE).
awk -v keys="$KEYS" -v values="$VALUES" -v root="$IS\\ZvBench" 'BEGIN {
  print "Windows Registry Editor Version 5.00\r"; print "\r"
  for (k = 0; k < keys; k++) {
    printf "[%s\\Group%d\\Key %d]\r\n", root, int(k / 100), k
    for (v = 0; v < values; v++) {
      t = v % 5
      if (t == 0) printf "\"Text %d\"=\"C:\\\\Program Files\\\\Vendor %d\\\\app.exe\"\r\n", v, k
      else if (t == 1) printf "\"Number %d\"=dword:%08x\r\n", v, k * 31 + v
      else if (t == 2) printf "\"Bytes %d\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10\r\n", v
      else if (t == 3) printf "\"Path %d\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,5c,00,78,00,00,00\r\n", v
      else printf "\"List %d\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n", v
    }
    print "\r"
  }
}' | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } > "$WORK/bench.reg"
zv_wine64 reg import "$(zv_winpath "$WORK/bench.reg")" >/dev/null 2>&1 </dev/null

best_of() {  # best_of N COMMAND...: the shortest of N runs, in seconds
  local n=$1 best="" i t0 t1 d
  shift
  for i in $(seq 1 "$n"); do
    t0=$(now); "$@" >/dev/null 2>&1 </dev/null; t1=$(now)
    d=$(seconds "$t0" "$t1")
    if [ -z "$best" ] || awk -v a="$d" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$d; fi
  done
  echo "$best"
}

SANDBOX="$ZV_DOCS/zaduze/sandbox"
save() { zv_exit "$AGENT" '-RegistrySave "bench"'; }
# The restore moves its files aside (-DebugSandbox 1): each run gets a fresh copy.
restore() {
  cp "$WORK/bench_0.xml" "$WORK/bench_1.xml" "$SANDBOX/"
  zv_exit "$AGENT" '-RegistryRestore "bench" -DebugSandbox 1'
}
restore_loosened() {
  zv_exit "$AGENT" '-RegistrySetLoose 1' && zv_exit "$AGENT" '-TrustzoneAddDomain "bench.example"'
  restore
}
export_reg() { zv_wine64 reg export "$IS" "$(zv_winpath "$WORK/export.reg")" /y; }
import_reg() { zv_wine64 reg import "$(zv_winpath "$WORK/export.reg")"; }

# The first walk after a large import is several times slower for any
# reader (the server settles its new keys): one untimed pass first.
best_of 1 save >/dev/null
t_save=$(best_of 3 save)
size=$(stat -c %s "$SANDBOX/bench_0.xml")
cp "$SANDBOX/bench_0.xml" "$SANDBOX/bench_1.xml" "$WORK/"
t_export=$(best_of 3 export_reg)
t_restore=$(best_of 3 restore)
t_import=$(best_of 3 import_reg)
t_loosened=$(best_of 3 restore_loosened)
t_loosen=$(best_of 3 zv_exit "$AGENT" '-RegistrySetLoose 1')
values=$(iconv -f UTF-16LE -t UTF-8 "$WORK/bench_0.xml" | grep -c '<v ')

echo "snapshot of Internet Settings: $values values (ZvBench: $KEYS keys, $((KEYS * VALUES)) values), $size bytes"
printf '%-28s %8s s   %-24s %8s s   ratio %s\n' \
  "agent -RegistrySave" "$t_save" "reg export" "$t_export" "$(ratio "$t_export" "$t_save")" \
  "agent -RegistryRestore" "$t_restore" "reg import" "$t_import" "$(ratio "$t_import" "$t_restore")"
printf '%-28s %8s s   (of which the settings step and a trusted site: about %s s)\n' \
  "restore after the settings" "$t_loosened" "$(awk -v a="$t_loosen" 'BEGIN { printf "%.3f", a * 2 }')"
