#!/usr/bin/env bash
# Installs what is needed, builds, fills a demo store with a few broker
# definitions in both scopes and lists them with WDXReg.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${WDX_BUILD_DIR:-$here/build}"

# The demo's own store files, never the user's.
export WDX_USER_STORE="$build/demo-store/user-store.sqlite"
export WDX_SYSTEM_STORE="$build/demo-store/system-store.sqlite"

bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"

reg="$build/tools/WDXReg"
rm -f "$WDX_USER_STORE"* "$WDX_SYSTEM_STORE"*
"$reg" import "$here/demo/brokers-user.reg"
"$reg" import "$here/demo/brokers-system.reg"

"$reg" query 'HKCU\SOFTWARE\Corvanta\VKR_Client' -s
"$reg" query 'HKLM\SOFTWARE\Corvanta\VKR_Client' -s

# The monitor's broker selector shows the same names: User first, then System.
bash "$here/scripts/run-monitor.sh"
