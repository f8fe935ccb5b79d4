#!/usr/bin/env bash
# Builds the benchmarks (Release, into build-bench/ or $BUILD_DIR) and prints one
# table: each figure against a floor measured in the same run, both sides
# alternated in blocks, medians over the blocks.
#   bench/run.sh [--quick] [--start-firebird]
#     --quick            fewer and shorter blocks (about a minute)
#     --start-firebird   starts Firebird for the Firebird rows when it is not
#                        running, and stops it again at the end
# The Firebird rows run when a Firebird server answers (scripts/firebird.sh status).
# Exit status 0 unless a benchmark failed to run; FAIL against a target is information.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
quick=()
start_firebird=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=(--quick) ;;
    --start-firebird) start_firebird=1 ;;
    *) echo "usage: $0 [--quick] [--start-firebird]" >&2; exit 2 ;;
  esac
done

echo "building the benchmarks (Release) in $build ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
nice cmake --build "$build" -j"$(nproc)" --target fis94100-server Pkg_fis94100 bench_floor bench_service bench_client >/dev/null

started_firebird=0
cleanup() { if [ "$started_firebird" = 1 ]; then "$root/scripts/firebird.sh" stop >&2; fi; }
trap cleanup EXIT
if [ "$start_firebird" = 1 ] && ! "$root/scripts/firebird.sh" status; then
  "$root/scripts/firebird.sh" start >&2 && started_firebird=1
fi

export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
status=0
lines=$(mktemp)
trap 'rm -f "$lines"; cleanup' EXIT
# What the programs say besides their figures goes to a log, shown when one fails.
logs=$build/bench-logs
mkdir -p "$logs"
run() {
  local name=$1; shift
  echo "running $name ..." >&2
  if ! "$@" >>"$lines" 2>"$logs/$name.log"; then
    status=1
    echo "$name failed; the end of $logs/$name.log:" >&2
    tail -20 "$logs/$name.log" >&2
  fi
}
run service "$build/bin/bench_service" "${quick[@]}"
run client "$build/bin/bench_client" "${quick[@]}"
if address=$("$root/scripts/firebird.sh" address 2>/dev/null); then
  run firebird "$build/bin/bench_service" --firebird "$address" "${quick[@]}"
else
  printf 'section\t8. Firebird\t%s\n' "$(cut -d' ' -f1-3 /proc/loadavg)" >>"$lines"
  printf 'note\tskipped: no Firebird server answers (scripts/firebird.sh start, or bench/run.sh --start-firebird)\n' >>"$lines"
fi

echo
echo "fis94100 benchmarks $(date '+%Y-%m-%d %H:%M'), Release build, $(nproc) cores${quick:+, quick}"
awk -F'\t' '
  BEGIN { fmt = "%-52s %14s %14s %8s %9s  %s\n"; printf fmt, "What", "service", "floor", "ratio", "target", "result"; }
  $1 == "section" { printf "\n%s   [load %s]\n", $2, $3 }
  $1 == "row"     { printf fmt, "  " $2, $3, $4, $5, $6, $7 }
  $1 == "note"    { printf "    (%s)\n", $2 }
' "$lines"
exit "$status"
