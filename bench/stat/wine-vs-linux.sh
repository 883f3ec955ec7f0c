#!/usr/bin/env bash
# WDXStat.exe under Wine beside WDXStat on Linux: `components BROKER --json`
# against one WDXBrokerSim serving N generated components on loopback, run
# alternately (which goes first alternates too), output to /dev/null. Prints
# the median wall time and CPU time (user + system) of each, and their ratio.
# A figure, not a goal.
#
#   bash bench/stat/wine-vs-linux.sh [components=10000] [rounds=9]
#
# Needs ./build (WDXStat, WDXReg, WDXBrokerSim) and ./build-windows built
# (or $WDX_BUILD_DIR, $WDX_WINDOWS_BUILD_DIR). Everything it makes is
# temporary: a store for the Linux side, a private WINEPREFIX for the Windows
# side (the broker defined with WDXReg.exe, the COM server registered with
# regsvr32 when it is built); the simulator and Wine's server are ended.
#
# The Windows side's CPU time is the Windows process's own plus what Wine's
# server (a process of its own, shared by every Windows process of the
# prefix) spent during the run.
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
components="${1:-10000}"
rounds="${2:-9}"
linux_build="${WDX_BUILD_DIR:-$here/build}"
windows_build="${WDX_WINDOWS_BUILD_DIR:-$here/build-windows}"
wine_dir=/usr/lib/wine
for file in "$linux_build/tools/WDXStat" "$linux_build/tools/WDXReg" "$linux_build/brokersim/WDXBrokerSim" \
  "$windows_build/wine-programs.txt" "$wine_dir/wine64"; do
  if [ ! -e "$file" ]; then
    echo "wine-vs-linux: $file is missing (build ./build and ./build-windows first)" >&2
    exit 1
  fi
done
program() { sed -n "s/^$1=//p" "$windows_build/wine-programs.txt"; }
stat_exe="$(program WDXStat)"
reg_exe="$(program WDXReg)"
server_dll="$(program WDXStatsHost)"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/wdx-wine-bench.XXXXXX")"
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all LC_ALL=C.UTF-8
# The Linux side's store; the Windows side's is the prefix's registry (there
# these variables would name keys, so they are not exported).
on_linux=(env WDX_USER_STORE="$tmp/user.sqlite" WDX_SYSTEM_STORE="$tmp/system.sqlite")
mkdir -p "$WINEPREFIX"
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  "$wine_dir/wineserver" -k 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

"$linux_build/brokersim/WDXBrokerSim" --components "$components" --tick-ms 0 --port 0 >"$tmp/sim.out" 2>/dev/null &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$tmp/sim.out" 2>/dev/null && break
  sleep 0.1
done
port="$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$tmp/sim.out")"
[ -n "$port" ] || { echo "wine-vs-linux: WDXBrokerSim did not start" >&2; exit 1; }

"$wine_dir/wineserver" -p
timeout 180 "$wine_dir/wine64" wineboot -i >/dev/null 2>&1
key='HKCU\SOFTWARE\Corvanta\VKR_Client\Bench'
for pair in HostName=127.0.0.1 Port="$port" TimeOut=30; do
  "${on_linux[@]}" "$linux_build/tools/WDXReg" add "$key" -v "${pair%%=*}" -d "${pair#*=}" -f >/dev/null
  timeout 60 "$wine_dir/wine64" "$reg_exe" add "$key" -v "${pair%%=*}" -d "${pair#*=}" -f >/dev/null
done
if [ -n "$server_dll" ]; then
  timeout 60 "$wine_dir/wine64" regsvr32 /s "Z:${server_dll//\//\\}"
  echo "Windows side through the COM server $server_dll (registered with regsvr32)"
else
  echo "Windows side with WDXStat.exe's in-process stand-ins (WDXStatsHost.dll is not built)"
fi

# Wine's server for this prefix: the one working in the prefix's server
# folder, named by the prefix's device and inode.
server_dir="server-$(stat -c '%D' "$WINEPREFIX")-$(printf '%x' "$(stat -c '%i' "$WINEPREFIX")")"
server_pid=
for pid in $(pgrep -x wineserver64 || true) $(pgrep -x wineserver || true); do
  case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$server_dir") server_pid=$pid ;; esac
done
ticks="$(getconf CLK_TCK)"
server_cpu() { # milliseconds of CPU Wine's server has used so far
  if [ -n "$server_pid" ]; then
    awk -v t="$ticks" '{ print ($14 + $15) * 1000 / t }' "/proc/$server_pid/stat"
  else
    echo 0
  fi
}
[ -n "$server_pid" ] || echo "(Wine's server not found: its CPU time is not counted)"

# One run of a command to its end: "wall_ms cpu_ms" on stdout, from the
# spawn to the end and from wait4() (user + system); fails when the command
# failed or took over 120 s. Output goes to /dev/null.
timed() {
  python3 - "$@" <<'PY'
import os, subprocess, sys, time
start = time.monotonic()
child = subprocess.Popen(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
deadline = start + 120
while True:
    pid, status, usage = os.wait4(child.pid, os.WNOHANG)
    if pid:
        break
    if time.monotonic() > deadline:
        child.kill()
        sys.exit("timed out: " + " ".join(sys.argv[1:]))
    time.sleep(0.001)
wall = (time.monotonic() - start) * 1000
if os.waitstatus_to_exitcode(status) != 0:
    sys.exit("failed: " + " ".join(sys.argv[1:]))
print("%.1f %.1f" % (wall, (usage.ru_utime + usage.ru_stime) * 1000))
PY
}

# One run of WDXStat with the arguments given, on one side: "wall_ms
# cpu_ms"; the Windows side's CPU adds what Wine's server spent meanwhile
# (in its clock ticks, 10 ms steps).
run() {
  local side="$1" before after times
  shift
  before="$(server_cpu)"
  if [ "$side" = linux ]; then
    times="$(timed "${on_linux[@]}" "$linux_build/tools/WDXStat" "$@")"
  else
    times="$(timed "$wine_dir/wine64" "$stat_exe" "$@")"
  fi
  after="$(server_cpu)"
  echo "$times" | awk -v b="$before" -v a="$after" '{ printf "%.1f %.1f\n", $1, $2 + (a - b) }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Both sides alternately, after a warm-up run each (page cache, Wine's first
# loads); prints the medians.
compare() {
  local title="$1" lw lc ww wc
  shift
  run linux "$@" >/dev/null
  run wine "$@" >/dev/null
  : >"$tmp/linux"
  : >"$tmp/wine"
  for i in $(seq "$rounds"); do
    if [ $((i % 2)) = 1 ]; then order="linux wine"; else order="wine linux"; fi
    for side in $order; do
      run "$side" "$@" >>"$tmp/$side"
    done
  done
  lw="$(cut -d' ' -f1 "$tmp/linux" | median)"
  lc="$(cut -d' ' -f2 "$tmp/linux" | median)"
  ww="$(cut -d' ' -f1 "$tmp/wine" | median)"
  wc="$(cut -d' ' -f2 "$tmp/wine" | median)"
  echo "$title, medians of $rounds alternating rounds (ms):"
  echo "  WDXStat (Linux)       wall $lw  CPU $lc"
  echo "  WDXStat.exe (Wine)    wall $ww  CPU $wc"
  awk -v lw="$lw" -v lc="$lc" -v ww="$ww" -v wc="$wc" \
    'BEGIN { printf "  Wine / Linux          wall %.1f  CPU %.1f\n", ww / lw, (lc > 0 ? wc / lc : 0) }'
}

compare "components Bench --json, $components components" components Bench --json
# The start-up alone, to read the figure above by.
compare "--version (start-up only)" --version
