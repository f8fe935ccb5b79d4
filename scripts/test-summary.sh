#!/usr/bin/env bash
# Sums up the QtTest results of a run (test-results/<test>.txt) per engine:
# the suites named *_firebird ran on Firebird, the others on SQLite (the lookup
# query suite runs the Firebird dialects too). Exits 1 when a suite failed,
# wrote no totals (it crashed), or, where CI=true, when nothing ran on Firebird.
set -euo pipefail
results=${1:?usage: test-summary.sh RESULTS_DIR}
status=0
declare -A passed=() failed=() skipped=() suites=()
for f in "$results"/*.txt; do
  [ -e "$f" ] || continue
  name=$(basename "$f" .txt)
  case "$name" in *_firebird) engine=firebird ;; *) engine=sqlite ;; esac
  line=$(grep -E '^Totals: ' "$f" | tail -1 || true)
  if [ -z "$line" ]; then
    echo "summary: $name wrote no totals (crashed or was killed)" >&2
    status=1
    continue
  fi
  read -r p fl s <<<"$(sed -E 's/^Totals: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped.*/\1 \2 \3/' <<<"$line")"
  passed[$engine]=$(( ${passed[$engine]:-0} + p ))
  failed[$engine]=$(( ${failed[$engine]:-0} + fl ))
  skipped[$engine]=$(( ${skipped[$engine]:-0} + s ))
  suites[$engine]=$(( ${suites[$engine]:-0} + 1 ))
  [ "$fl" -eq 0 ] || status=1
done
total_p=0 total_f=0 total_s=0
for engine in sqlite firebird; do
  p=${passed[$engine]:-0} fl=${failed[$engine]:-0} s=${skipped[$engine]:-0}
  echo "engine $engine: ${suites[$engine]:-0} suites, test functions $p passed, $fl failed, $s skipped"
  total_p=$((total_p + p)) total_f=$((total_f + fl)) total_s=$((total_s + s))
done
if [ "${CI:-}" = true ] && [ "${passed[firebird]:-0}" -eq 0 ]; then
  echo "summary: no test function ran on Firebird" >&2
  status=1
fi
echo "tests: $total_p passed, $total_f failed, $total_s skipped"
exit "$status"
