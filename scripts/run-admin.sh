#!/usr/bin/env bash
# Opens WDXClntAdmin on the store files that WDX_USER_STORE and WDX_SYSTEM_STORE
# name (the demo sets both), or on the default ones. The program takes no
# arguments. A broker added or changed here shows in WDXMonitor's selector the
# next time the monitor starts on the same store files. Without a display: see
# run-window.sh; the screenshot goes to WDX_ADMIN_SHOT (default
# build/WDXClntAdmin.png).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${WDX_BUILD_DIR:-$here/build}"
exec bash "$here/scripts/run-window.sh" run-admin "$build/clntadmin/WDXClntAdmin" \
  "Client Administrator" "${WDX_ADMIN_SHOT:-$build/WDXClntAdmin.png}"
