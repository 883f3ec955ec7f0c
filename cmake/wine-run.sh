#!/usr/bin/env bash
# The emulator through which ctest runs a cross-built test program (and lists
# its tests): wine-run.sh WINE PROGRAM [ARGUMENTS...].
#
# On a loaded machine Wine has now and then ended a test program with a
# failure status before the program printed a single byte (once in a CI run:
# 0.00 s, no output, a test that passes in every other run). A test program
# always prints before its first test, so such a run never reached the
# program: it is run once more, and the log says so. A program that printed
# anything keeps its status, so a test that fails is never run again.
set -u
wine="$1"
shift
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
run() {
  "$wine" "$@" >"$out" 2>"$err"
}
run "$@"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run: $(basename "$1") ended with status $status before printing anything; running it once more" >&2
  run "$@"
  status=$?
fi
cat "$out"
cat "$err" >&2
exit "$status"
