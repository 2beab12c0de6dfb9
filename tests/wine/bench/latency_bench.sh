#!/usr/bin/env bash
# Keystroke latency through the agent during heavy guard passes (200
# windows, a black list of 5, 3 browsers): the scenario of
# tests/wine/agent_latency.sh with more keys, figures only. Starts its own
# prefix unless run inside the harness.
echo "== keystroke wait through the agent under Wine (${LATENCY_KEYS:-300} keys, one every 20 ms)"
LATENCY_KEYS=${LATENCY_KEYS:-300} bash "$(dirname "$0")/../agent_latency.sh" | grep -E '^# keys|^not ok'
