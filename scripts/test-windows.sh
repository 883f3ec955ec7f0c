#!/usr/bin/env bash
# Builds the Windows targets with MinGW-w64 (cmake/MinGW-w64-x86_64.cmake)
# into ./build-windows (or $WDX_WINDOWS_BUILD_DIR) and runs their tests under
# Wine, in a private WINEPREFIX that is made here and removed at the end.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${WDX_WINDOWS_BUILD_DIR:-$here/build-windows}"
wine_dir=/usr/lib/wine
for tool in "$wine_dir/wine64" "$wine_dir/wineserver" x86_64-w64-mingw32-g++-posix; do
  if ! command -v "$tool" >/dev/null; then
    echo "test-windows: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done

gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" "${gen[@]}" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/MinGW-w64-x86_64.cmake" \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER}
fi
cmake --build "$build" --parallel "$(nproc)"

# The HTTP client's tests on Windows talk to brokers served on the Linux side
# (tests/statshost/TestBroker.h): statshost_test_peer from the Linux build
# ./build (or $WDX_BUILD_DIR), configured and built here if it is not there;
# so does WDXStat.exe's end-to-end test (stat_wine_tests, below).
linux_build="${WDX_BUILD_DIR:-$here/build}"
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$linux_build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER}
fi
cmake --build "$linux_build" --parallel "$(nproc)" --target statshost_test_peer stat_wine_tests
peer="$linux_build/tests/statshost/statshost_test_peer"

# A fresh prefix: nothing of the user's own Wine (or an earlier run) is seen,
# and the registry the tests write goes away with it.
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/wdx-wine.XXXXXX")"
export WINEPREFIX WINEDEBUG=-all
peer_pid=
cleanup() {
  if [ -n "$peer_pid" ]; then
    kill "$peer_pid" 2>/dev/null || true
    wait "$peer_pid" 2>/dev/null || true
  fi
  "$wine_dir/wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# The peer serves for at most 30 minutes on its own, and is ended above.
"$peer" 1800 >"$WINEPREFIX/peer.out" 2>&1 &
peer_pid=$!
for _ in $(seq 100); do
  grep -q '^sim=' "$WINEPREFIX/peer.out" 2>/dev/null && break
  kill -0 "$peer_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q '^sim=' "$WINEPREFIX/peer.out"; then
  echo "test-windows: the brokers for the client's tests did not start:" >&2
  cat "$WINEPREFIX/peer.out" >&2
  exit 1
fi
WDX_TEST_PEER="$(head -n1 "$WINEPREFIX/peer.out")"
export WDX_TEST_PEER
# A persistent server first: without it every run whose output is read
# through a pipe waits 2.5 s for the server to linger out.
"$wine_dir/wineserver" -p
"$wine_dir/wine64" wineboot -i >/dev/null 2>&1

cd "$build"
status=0
# Under Wine a test program now and then takes a minute to start while the
# prefix's own processes settle (once in a CI run, in a test of the
# interfaces' layout that takes milliseconds); a test that ran out of time
# is run once more. A test that fails is not.
repeat=(--repeat after-timeout:2)
# First the tests that need no registered server; some of them prove what a
# program meets where no server of the relay and monitor-server classes is
# registered at all.
ctest --output-on-failure --parallel "$(nproc)" --timeout 300 "${repeat[@]}" -LE registered_server || status=1

# Then WDXStatsHost.dll registered as an installation registers it (under
# HKLM of this prefix), and the tests that reach it through that
# registration. regsvr32 exits non-zero when the DLL does not load or its
# registration fails.
dll="$(cd "$build/comserver" && pwd)/WDXStatsHost.dll"
if ! dll_win="$("$wine_dir/wine64" winepath -w "$dll")" || [ -z "$dll_win" ]; then
  echo "test-windows: no Windows path for $dll" >&2
  exit 1
fi
if ! "$wine_dir/wine64" regsvr32 /s "$dll_win"; then
  echo "test-windows: regsvr32 could not register $dll_win" >&2
  exit 1
fi
ctest --output-on-failure --parallel "$(nproc)" --timeout 300 "${repeat[@]}" -L registered_server || status=1

# WDXStat.exe end to end, driven from the Linux side: it serves the broker,
# defines brokers with WDXReg.exe, reaches them through the registered server
# and reads WDXStat.exe's output and exit status
# (tests/tools/WDXStatWineTest.cpp). Bounded as a whole, besides each run.
WDX_WINDOWS_BUILD_DIR="$build" timeout --kill-after=10 300 "$linux_build/tests/tools/stat_wine_tests" || status=1
exit "$status"
