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
#
# The program writes into files, which are copied out as they grow: what it
# printed is in the log even when ctest ends this script at a time-out, and
# nothing left running holds ctest's pipes open.
set -u
wine="$1"
shift
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT

# One run; what it prints is copied out within half a second.
attempt() {
  : >"$out"
  : >"$err"
  "$wine" "$@" >"$out" 2>"$err" &
  local child=$! i=0 status
  local pauses=(0.02 0.05 0.1 0.2 0.5)
  local ro re
  exec {ro}<"$out" {re}<"$err"
  while kill -0 "$child" 2>/dev/null; do
    cat <&"$ro"
    cat <&"$re" >&2
    sleep "${pauses[i]}"
    [ "$i" -lt 4 ] && i=$((i + 1))
  done
  wait "$child"
  status=$?
  cat <&"$ro"
  cat <&"$re" >&2
  exec {ro}<&- {re}<&-
  return "$status"
}

attempt "$@"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$out" ] && [ ! -s "$err" ]; then
  echo "wine-run: $(basename "$1") ended with status $status before printing anything; running it once more" >&2
  attempt "$@"
  status=$?
fi
exit "$status"
