#!/usr/bin/env bash
# Opens one of the programs' windows on the store files that WDX_USER_STORE
# and WDX_SYSTEM_STORE name (the demo sets both), or on the default ones.
# Called by run-monitor.sh and run-admin.sh:
#
#   run-window.sh TAG EXE TITLE SHOT [program arguments...]
#
# TAG names the caller in messages, EXE is the program below the build
# folder, TITLE its main window's caption, SHOT the screenshot file.
#
# Without a display it says so and shows how to run the program under
# xvfb-run; when xvfb-run is installed it then starts the program on a
# virtual display just long enough to save a screenshot, which shows that the
# window opens and what it holds.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
tag="$1" exe="$2" title="$3" shot="$4"
[ "${shot#/}" = "$shot" ] && shot="$PWD/$shot"
shift 4

if [ "${WDX_SHOT_INNER:-}" = 1 ]; then
  # Inside xvfb-run: start, wait for the window (10 s at most), shoot, stop.
  "$exe" "$@" &
  pid=$!
  for _ in $(seq 50); do
    if command -v xwininfo >/dev/null; then
      xwininfo -root -tree 2>/dev/null | grep -q "\"$title\"" && break
    fi
    sleep 0.2
    kill -0 "$pid" 2>/dev/null || break
  done
  sleep 0.5
  status=0
  import -window root "$shot" || status=$?
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exit "$status"
fi

# The program runs in its own build folder, where the build puts the help file
# it looks for first; store files named relative to here stay the same files.
for var in WDX_USER_STORE WDX_SYSTEM_STORE; do
  val="${!var:-}"
  if [ -n "$val" ] && [ "${val#/}" = "$val" ]; then export "$var=$PWD/$val"; fi
done

if [ ! -x "$exe" ]; then
  echo "$tag: $exe is not built yet; run: bash scripts/build.sh" >&2
  exit 1
fi
cd "$(dirname "$exe")"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$exe" "$@"
fi

name="$(basename "$exe")"
echo "$tag: no display is available (DISPLAY is not set), so $name cannot open its window here."
echo "To run it on a virtual display:"
echo "  WDX_USER_STORE=${WDX_USER_STORE:-<file>} WDX_SYSTEM_STORE=${WDX_SYSTEM_STORE:-<file>} xvfb-run -a $exe $*"
if ! command -v xvfb-run >/dev/null || ! command -v import >/dev/null; then
  echo "(xvfb-run and import come with the packages xvfb and imagemagick: bash scripts/install-deps.sh)"
  exit 0
fi
echo "Starting it that way once, for a screenshot of its window: $shot"
WDX_SHOT_INNER=1 timeout 60 xvfb-run -a -s "-screen 0 800x600x24" \
  bash "$here/scripts/run-window.sh" "$tag" "$exe" "$title" "$shot" "$@"
echo "Screenshot saved: $shot"
