#!/usr/bin/env bash
# Builds the settings store for Windows (MinGW-w64, cmake/MinGW-w64-x86_64.cmake)
# with its contract suite and its Windows tests, and runs them under Wine in a
# private WINEPREFIX that it makes and removes. Only the store and what stands
# on it without anything Windows lacks here (unicode/, registry/, brokerstore/)
# is built, so this works before the whole tree configures for Windows.
#
#   bash scripts/store-windows-tests.sh        (build: $WDX_STORE_WIN_BUILD, default build-store-windows)
#
# Needs the Debian packages g++-mingw-w64-x86-64-posix, mingw-w64-tools, wine,
# wine64 and googletest (its sources in /usr/src/googletest).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${WDX_STORE_WIN_BUILD:-$here/build-store-windows}"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
for tool in x86_64-w64-mingw32-g++-posix "$wine" "$wineserver"; do
  command -v "$tool" >/dev/null || { echo "store-windows-tests: $tool not found" >&2; exit 2; }
done

# A project of its own around the store's folders, with GoogleTest built from source.
project="$build/project"
mkdir -p "$project"
cat > "$project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(WDXStoreWindows LANGUAGES C CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
include($here/cmake/WdxOptions.cmake)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest googletest EXCLUDE_FROM_ALL)
# wdx_add_test without find_package(GTest): the targets come from the sources above.
function(wdx_add_test)
  cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS" \${ARGN})
  add_executable(\${T_NAME} \${T_SOURCES})
  target_link_libraries(\${T_NAME} PRIVATE \${T_LIBS} GTest::gtest GTest::gmock wdx_options)
  include(GoogleTest)
  gtest_discover_tests(\${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
enable_testing()
add_subdirectory($here/unicode unicode)
add_subdirectory($here/registry registry)
add_subdirectory($here/brokerstore brokerstore)
add_library(wdx_test_support INTERFACE)
target_include_directories(wdx_test_support INTERFACE $here/tests)
target_link_libraries(wdx_test_support INTERFACE wdx_unicode advapi32)
add_subdirectory($here/tests/registry tests/registry)
add_subdirectory($here/tests/brokerstore/win32 tests/brokerstore/win32)
EOF

export WINEPREFIX
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/wdx-store-wine.XXXXXX")"
export WINEDEBUG=-all
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# One server for every run, started first: output read through a pipe would
# stall each run without it.
"$wineserver" -p
"$wine" wineboot -i >/dev/null 2>&1

gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
cmake -S "$project" -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/MinGW-w64-x86_64.cmake" "$@" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
ctest --test-dir "$build" --output-on-failure
