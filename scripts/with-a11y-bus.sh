#!/usr/bin/env bash
# Runs a command as a screen reader's session would see it: on a virtual
# display (xvfb-run), with a D-Bus session of its own and the accessibility
# bus started on it, so that Qt's AT-SPI bridge is active and tells the bus
# of every change. The accessibility tests run under it to watch what the
# bus is told (WDX_A11Y_BUS tells them to wait for the bridge).
#   bash scripts/with-a11y-bus.sh build/tests/monitor/monitor_tests --gtest_filter='*Accessibility*'
set -euo pipefail
launcher=/usr/libexec/at-spi-bus-launcher
for tool in xvfb-run dbus-run-session dbus-send "$launcher"; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-a11y-bus: $tool is missing (packages xvfb, dbus-bin, dbus-daemon, at-spi2-core:" \
         "bash scripts/install-deps.sh)" >&2
    exit 1
  fi
done
# The bus's socket goes below XDG_RUNTIME_DIR: a directory of this run's own,
# so that runs side by side do not meet.
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime" WDX_A11Y_BUS=1 QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
dbus-run-session -- bash -c '
  # Qt looks for a running accessibility bus; asking for its address starts it.
  dbus-send --session --print-reply=literal --reply-timeout=10000 --dest=org.a11y.Bus \
    /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"' with-a11y-bus "$@" 2> >(grep -v "Failed to set fd limit" >&2)
