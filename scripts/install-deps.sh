#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, test and demo the tool set.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build pkg-config git clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev sqlite3 libicu-dev libcli11-dev
  nlohmann-json3-dev rapidjson-dev libcpp-httplib-dev libcurl4-openssl-dev libsimdjson-dev
  libchm-dev fp-utils
  prometheus-cpp-dev libcivetweb-dev prometheus
  libgtest-dev libgmock-dev googletest libbenchmark-dev curl
  xvfb xauth imagemagick
  dbus-daemon dbus-bin at-spi2-core
  fonts-liberation2
  python3 dpkg-dev lintian desktop-file-utils appstream man-db adduser
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64
)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
