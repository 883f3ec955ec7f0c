#!/usr/bin/env bash
# Opens WDXClntAdmin on the store files that WDX_USER_STORE and WDX_SYSTEM_STORE
# name (the demo sets both), or on the default ones. The program takes no
# arguments. A broker added or changed here shows in WDXMonitor's selector the
# next time the monitor starts on the same store files.
#
# Without a display it says so and shows how to run it under xvfb-run; when
# xvfb-run is installed it then starts the administrator on a virtual display
# just long enough to save a screenshot (WDX_ADMIN_SHOT, default
# build/WDXClntAdmin.png), which shows that the window opens and what it holds.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${WDX_BUILD_DIR:-$here/build}"
exe="$build/clntadmin/WDXClntAdmin"

if [ "${WDX_ADMIN_SHOT_INNER:-}" = 1 ]; then
  # Inside xvfb-run: start, wait for the window (10 s at most), shoot, stop.
  "$exe" &
  pid=$!
  for _ in $(seq 50); do
    if command -v xwininfo >/dev/null; then
      xwininfo -root -tree 2>/dev/null | grep -q '"Client Administrator"' && break
    fi
    sleep 0.2
    kill -0 "$pid" 2>/dev/null || break
  done
  sleep 0.5
  status=0
  import -window root "$WDX_ADMIN_SHOT" || status=$?
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exit "$status"
fi

if [ ! -x "$exe" ]; then
  echo "run-admin: $exe is not built yet; run: bash scripts/build.sh" >&2
  exit 1
fi
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe"
fi

echo "run-admin: no display is available (DISPLAY is not set), so WDXClntAdmin cannot open its window here."
echo "To run it on a virtual display:"
echo "  WDX_USER_STORE=${WDX_USER_STORE:-<file>} WDX_SYSTEM_STORE=${WDX_SYSTEM_STORE:-<file>} xvfb-run -a $exe"
if ! command -v xvfb-run >/dev/null || ! command -v import >/dev/null; then
  echo "(xvfb-run and import come with the packages xvfb and imagemagick: bash scripts/install-deps.sh)"
  exit 0
fi
shot="${WDX_ADMIN_SHOT:-$build/WDXClntAdmin.png}"
echo "Starting it that way once, for a screenshot of its window: $shot"
WDX_ADMIN_SHOT_INNER=1 WDX_ADMIN_SHOT="$shot" \
  timeout 60 xvfb-run -a -s "-screen 0 800x600x24" bash "$here/scripts/run-admin.sh"
echo "Screenshot saved: $shot"
