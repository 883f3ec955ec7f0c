#!/usr/bin/env bash
# Opens WDXMonitor on the store files that WDX_USER_STORE and WDX_SYSTEM_STORE
# name (the demo sets both), or on the default ones. Arguments go to the
# monitor (for instance -debug). Without a display: see run-window.sh; the
# screenshot goes to WDX_MONITOR_SHOT (default build/WDXMonitor.png).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${WDX_BUILD_DIR:-$here/build}"
exec bash "$here/scripts/run-window.sh" run-monitor "$build/monitor/WDXMonitor" \
  "Corvanta Component Broker Monitor" "${WDX_MONITOR_SHOT:-$build/WDXMonitor.png}" "$@"
