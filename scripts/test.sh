#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
build="${WDX_BUILD_DIR:-$here/build}"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 300
# The Debian package: built, listed, extracted and checked (nothing installed).
bash "$here/scripts/check-package.sh" "$build"
