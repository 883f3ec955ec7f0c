#!/usr/bin/env bash
# Runs a command as a screen reader's session would see it: on a virtual
# display of its own (Xvfb), with a D-Bus session and the accessibility bus
# started on it, so that Qt's AT-SPI bridge is active and tells the bus of
# every change. The accessibility tests run under it to watch what the bus
# is told (WDX_A11Y_BUS tells them to wait for the bridge).
#   bash scripts/with-a11y-bus.sh build/tests/monitor/monitor_tests --gtest_filter='*Accessibility*'
set -euo pipefail
launcher=/usr/libexec/at-spi-bus-launcher
for tool in Xvfb dbus-run-session dbus-send "$launcher"; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-a11y-bus: $tool is missing (packages xvfb, dbus-daemon, dbus-bin, at-spi2-core:" \
         "bash scripts/install-deps.sh)" >&2
    exit 1
  fi
done

# Everything of this run lives below one directory (the buses' sockets go
# below XDG_RUNTIME_DIR), so that runs side by side do not meet, and the
# display is ended here, whatever happens, before the run returns.
runtime="$(mktemp -d)"
xvfb=""
finish() {
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$xvfb" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$xvfb" 2>/dev/null || true
  fi
  rm -rf "$runtime"
}
trap finish EXIT

# Xvfb picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$runtime/display" </dev/null >"$runtime/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do
  [ -s "$runtime/display" ] && break
  sleep 0.1
done
if [ ! -s "$runtime/display" ]; then
  echo "with-a11y-bus: Xvfb did not start" >&2
  cat "$runtime/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$(head -n 1 "$runtime/display")" XDG_RUNTIME_DIR="$runtime" WDX_A11Y_BUS=1 \
       QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# The buses and the helpers they start write to a log of their own: were
# they given this run's output, they could hold it open after the run.
status=0
dbus-run-session -- bash -c '
  # Qt looks for a running accessibility bus; asking for its address starts it.
  if ! dbus-send --session --print-reply=literal --reply-timeout=10000 --dest=org.a11y.Bus \
         /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null; then
    echo "with-a11y-bus: the accessibility bus did not start" >&4
    exit 1
  fi
  exec "$@" >&3 2>&4 3>&- 4>&-' with-a11y-bus "$@" 3>&1 4>&2 >"$runtime/bus.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || grep -v "Failed to set fd limit" "$runtime/bus.log" >&2 || true
exit "$status"
