#!/usr/bin/env bash
# Installs what is needed, builds, fills a demo store with a few broker
# definitions in both scopes, starts WDXBrokerSim with the demo scenario,
# defines the broker "Demo" on it and opens the monitor (without a display:
# a screenshot, then a few samples of WDXStat). When the monitor ends, the
# simulator is stopped.
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

# The simulated broker, on a free loopback port. It goes when this script
# does, however that happens.
tmp="$(mktemp -d)"
sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    echo "demo: WDXBrokerSim stopped."
  fi
  rm -rf "$tmp"
}
trap stop_sim EXIT
trap 'exit 130' INT TERM

"$build/brokersim/WDXBrokerSim" --scenario "$here/brokersim/scenarios/demo.json" --port 0 \
  >"$tmp/sim.out" 2>"$tmp/sim.err" &
sim_pid=$!
port=""
for _ in $(seq 100); do
  port="$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$tmp/sim.out")"
  [ -n "$port" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: WDXBrokerSim did not start listening within 10 seconds:" >&2
  cat "$tmp/sim.err" >&2
  exit 1
fi
echo "demo: WDXBrokerSim serves the demo scenario on 127.0.0.1:$port"

# "Demo", a User definition of that broker, written as the Client
# Administrator writes one.
demo='HKCU\SOFTWARE\Corvanta\VKR_Client\Demo'
"$reg" add "$demo" -v HostName -d 127.0.0.1 -f
"$reg" add "$demo" -v Port -d "$port" -f
"$reg" add "$demo" -v TimeOut -d 5 -f
"$reg" add "$demo" -v ConnectionPooling -d N -f
"$reg" add "$demo" -v LogLevel -d 0 -f

"$reg" query 'HKCU\SOFTWARE\Corvanta\VKR_Client' -s
"$reg" query 'HKLM\SOFTWARE\Corvanta\VKR_Client' -s

# The same store in the Client Administrator, to add, edit or delete
# definitions; the monitor sees them at its next start.
echo "demo: to edit these definitions, run in another terminal:"
echo "  WDX_USER_STORE='$WDX_USER_STORE' WDX_SYSTEM_STORE='$WDX_SYSTEM_STORE' bash '$here/scripts/run-admin.sh'"

# The monitor's broker selector shows the same names: User first, then
# System. Choosing "Demo" connects to the simulator.
bash "$here/scripts/run-monitor.sh" "$@"

# Without a display the monitor only left a screenshot; WDXStat shows the
# simulated broker's live figures in the terminal instead.
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: the same broker in the terminal: WDXStat components Demo --watch 1 --count 3"
  "$build/tools/WDXStat" components Demo --watch 1 --count 3 \
    || echo "demo: WDXStat failed (status $?)" >&2
  echo "demo: more: WDXStat --help, WDXStat check Demo, WDXStat components Demo --json"
fi
