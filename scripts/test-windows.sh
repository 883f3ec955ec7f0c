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

# A fresh prefix: nothing of the user's own Wine (or an earlier run) is seen,
# and the registry the tests write goes away with it.
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/wdx-wine.XXXXXX")"
export WINEPREFIX WINEDEBUG=-all
cleanup() {
  "$wine_dir/wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# A persistent server first: without it every run whose output is read
# through a pipe waits 2.5 s for the server to linger out.
"$wine_dir/wineserver" -p
"$wine_dir/wine64" wineboot -i >/dev/null 2>&1

cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300
