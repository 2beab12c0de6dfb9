#!/usr/bin/env bash
# The demo: runs the real deliverables under Wine + Xvfb and reports each step.
# Started by `./run demo`, which prepares the prefix and exports its settings.
set -u
source "$(dirname "$0")/wine/harness.sh"

OUT=${ZV_DEMO_OUT:-/tmp}
AGENT=$(zv_agent)
step() { printf '\n--- %s\n' "$*"; }

step "The agent's one-shot commands and their exit codes"
for line in '-QueryCheatApp 1 -DebugLog 1' '-TrustzoneQueryDomain "Sample.NET" -DebugLog 1' \
            '-RegistrySave "demo" -DebugLog 1' '-RegistrySetLoose 1 -DebugLog 1'; do
  printf '  ZedudeVeri %-50s -> exit %s\n' "$line" "$(zv_exit "$AGENT" "$line")"
  sleep 1  # one log file per second
done

step "The agent's log files (Documents\\zaduze\\log)"
for f in $(zv_agent_logs); do
  echo "  $(basename "$f"):"
  tr -d '\r' < "$f" | sed 's/^/    /'
done
cp $(zv_agent_logs) "$OUT"/ 2>/dev/null
echo
echo "Logs copied to $OUT"
