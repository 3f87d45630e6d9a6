#!/usr/bin/env bash
# Usage: run.sh <build folder> <results folder> groups|all [ctest args]
# Runs the 32-bit build's tests on the machine it is started on (this one, or the lane's
# guest), inside the test session (display, Wine prefix) of tools/wine:
#   groups  each group of ./groups as one process of its executable, with gtest's XML report;
#           a group whose process fails runs once more. Leaves per attempt in the results
#           folder: <group>.<n>.log, .xml, .rc and .ms (milliseconds it took).
#   all     the whole suite through ctest, as ./dev test runs it: ctest.log and ctest.xml.
# A test process that runs longer than BRIVELO_TEST32_TIMEOUT seconds (300, as ./dev test
# allows) is killed: a group's process is then reported as killed, by the test it was running.
# tools/test32/report.py reads the results folder; this script's exit code says nothing.
set -uo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../.." && pwd)"
build="$(cd "$1" && pwd)"; out="$2"; mode="$3"; shift 3
mkdir -p "$out"
jobs="$(nproc)"
limit="${BRIVELO_TEST32_TIMEOUT:-300}"

"$ROOT/tools/wine/session" start "$build"
trap '"$ROOT/tools/wine/session" stop "$build"' EXIT
DISPLAY="$("$ROOT/tools/wine/session" display "$build")"
export DISPLAY
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

run_group() {  # group exe filter: one process, a second when the first fails
  local group="$1" exe="$2" filter="$3" attempt start rc
  for attempt in 1 2; do
    start="$(now_ms)"
    # Straight to the log, through no pipe that would hold back what a killed process printed.
    ( cd "$build/bin" && source "$ROOT/tools/wine/env.sh" "$build" &&
      timeout -k 10 "$limit" "$WINE" "$exe.exe" --gtest_filter="$filter" \
        --gtest_output="xml:Z:$out/$group.$attempt.xml" ) > "$out/$group.$attempt.log" 2>&1
    rc=$?
    echo $(( $(now_ms) - start )) > "$out/$group.$attempt.ms"
    echo "$rc" > "$out/$group.$attempt.rc"
    echo "test32: group $group: exit $rc after $(cat "$out/$group.$attempt.ms") ms (attempt $attempt)"
    [ "$rc" = 0 ] && break
  done
}

case "$mode" in
groups)
  while read -r group exe filter; do
    case "$group" in ''|'#'*) continue ;; esac
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    run_group "$group" "$exe" "$filter" &
  done < "$HERE/groups"
  wait
  ;;
all)
  start="$(now_ms)"
  ( cd "$build" && ctest --output-on-failure --timeout "$limit" -j "$jobs" --repeat until-pass:2 \
      --output-junit "$out/ctest.xml" "$@" ) 2>&1 | tee "$out/ctest.log"
  echo $(( $(now_ms) - start )) > "$out/ctest.ms"
  ;;
*) echo "usage: run.sh <build> <results> groups|all [ctest args]" >&2; exit 2 ;;
esac
