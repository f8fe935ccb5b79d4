#!/usr/bin/env bash
# Builds the benchmarks (Release, into build-bench/ or $BUILD_DIR) and prints one
# table: each figure against a floor measured in the same run, both sides
# alternated in blocks, medians over the blocks.
#   bench/run.sh [--quick] [--only N[,N...]] [--start-firebird]
#     --quick            fewer and shorter blocks (about a minute)
#     --only 2,7         only those sections of the table
#     --start-firebird   starts Firebird for the Firebird rows when it is not
#                        running, and stops it again at the end
# The Firebird rows run when a Firebird server answers (scripts/firebird.sh status).
# Exit status 0 unless a benchmark failed to run; FAIL against a target is information.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
opts=()
only=()
start_firebird=0
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) opts+=(--quick) ;;
    --only) [ $# -ge 2 ] || { echo "--only needs section numbers" >&2; exit 2; }
            only=(--only "$2"); opts+=("${only[@]}"); shift ;;
    --start-firebird) start_firebird=1 ;;
    *) echo "usage: $0 [--quick] [--only N[,N...]] [--start-firebird]" >&2; exit 2 ;;
  esac
  shift
done
runs() { [ ${#only[@]} -eq 0 ] || [[ ",${only[1]}," == *",$1,"* ]]; }

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
if runs 1 || runs 2 || runs 3 || runs 4; then run service "$build/bin/bench_service" "${opts[@]}"; fi
if runs 4 || runs 5 || runs 6 || runs 7; then run client "$build/bin/bench_client" "${opts[@]}"; fi
if ! runs 8; then
  :
elif address=$("$root/scripts/firebird.sh" address 2>/dev/null); then
  run firebird "$build/bin/bench_service" --firebird "$address" "${opts[@]}"
else
  printf 'section\t8. Firebird\t%s\n' "$(cut -d' ' -f1-3 /proc/loadavg)" >>"$lines"
  printf 'note\tskipped: no Firebird server answers (scripts/firebird.sh start, or bench/run.sh --start-firebird)\n' >>"$lines"
fi

echo
echo "fis94100 benchmarks $(date '+%Y-%m-%d %H:%M'), Release build, $(nproc) cores$([[ " ${opts[*]} " == *" --quick "* ]] && echo ", quick")"
awk -F'\t' '
  BEGIN { fmt = "%-52s %14s %14s %8s %9s  %s\n"; printf fmt, "What", "service", "floor", "ratio", "target", "result"; }
  $1 == "section" { printf "\n%s   [load %s]\n", $2, $3 }
  $1 == "row"     { printf fmt, "  " $2, $3, $4, $5, $6, $7 }
  $1 == "note"    { printf "    (%s)\n", $2 }
' "$lines"
exit "$status"
