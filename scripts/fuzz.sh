#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang into build-fuzz/ (or
# $FUZZ_BUILD_DIR) and runs each for SECONDS (default 60) on a working copy of
# its seed corpus (build-fuzz/corpus/<target>/; the seeds in fuzz/corpus/ are
# not touched). A crash, leak, timeout or failed check leaves its reproducer in
# build-fuzz/artifacts/<target>/ and makes the script exit non-zero; run it
# again with  build-fuzz/bin/<target> <file>.
#
#   FUZZ_TARGETS="fuzz_packet"  runs only those targets
#   FUZZ_JOBS=n                 build jobs (default 1: fuzzing runs beside other work)
#   FUZZ_ARGS="..."             more libFuzzer options for every target
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=(${FUZZ_TARGETS:-fuzz_dispatcher fuzz_packet fuzz_certificate})
case "$seconds" in ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;; esac

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi

# The project's packages (Firebird is not needed here), then clang and its runtimes.
WITH_FIREBIRD=${WITH_FIREBIRD:-0} "$root/scripts/install-deps.sh"
missing=()
for p in clang libclang-rt-14-dev llvm; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" \
    || { apt-get update && apt-get install -y --no-install-recommends "${missing[@]}"; }
fi

start=$(date +%s)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DFIS_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
nice -n 10 cmake --build "$build" --target "${targets[@]}" -j"${FUZZ_JOBS:-1}"
echo "fuzz: built in $(( $(date +%s) - start )) s"

# Qt SQL and the fixtures' files go to a temporary folder of the build.
export TMPDIR=$build/tmp
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
export LC_ALL=C.UTF-8
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

declare -A dict=([fuzz_dispatcher]=json.dict [fuzz_packet]=json.dict [fuzz_certificate]=certificate.dict)
summary=()
failed=0
for t in "${targets[@]}"; do
  corpus=$build/corpus/$t
  artifacts=$build/artifacts/$t
  log=$build/logs/$t.log
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  cp -R "$root/fuzz/corpus/$t/." "$corpus/"
  args=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -print_final_stats=1
        -artifact_prefix="$artifacts/")
  [ -n "${dict[$t]:-}" ] && args+=(-dict="$root/fuzz/${dict[$t]}")
  echo "fuzz: $t for $seconds s (log: $log)"
  set +e
  # shellcheck disable=SC2086
  nice -n 10 "$build/bin/$t" "${args[@]}" ${FUZZ_ARGS:-} "$corpus" >"$log" 2>&1
  rc=$?
  set -e

  # Executions: "Done N runs" at a normal end, the final stats or the last "#N" line otherwise.
  runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$log" | tail -n1)
  [ -n "$runs" ] || runs=$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$log" | tail -n1)
  [ -n "$runs" ] || runs=$(sed -n 's/^#\([0-9][0-9]*\)[[:space:]].*/\1/p' "$log" | tail -n1)
  [ -n "$runs" ] || runs=0
  if [ "$rc" -eq 0 ] && grep -q '^Done [0-9]* runs' "$log"; then
    status=ok
  else
    failed=1
    if grep -q 'ERROR: LeakSanitizer' "$log"; then kind=leak
    elif grep -q 'ERROR: AddressSanitizer' "$log"; then kind="AddressSanitizer: $(grep -m1 -o 'ERROR: AddressSanitizer: [a-z-]*' "$log" | cut -d' ' -f3)"
    elif grep -q 'runtime error:' "$log"; then kind="undefined behaviour"
    elif grep -q 'ERROR: libFuzzer: timeout' "$log"; then kind=timeout
    elif grep -q 'ERROR: libFuzzer: out-of-memory' "$log"; then kind="out of memory"
    elif grep -q '^\*\*\* ' "$log"; then kind="check failed: $(grep -m1 '^\*\*\* ' "$log" | cut -c5-)"
    elif grep -q 'deadly signal' "$log"; then kind=crash
    else kind="exit status $rc"; fi
    reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -n1)
    status="FAILED ($kind${reproducer:+; reproducer $reproducer})"
    tail -n 60 "$log" >&2
  fi
  summary+=("fuzz $t: $runs executions, $status")
done

rm -rf "$TMPDIR"
printf '%s\n' "${summary[@]}"
exit "$failed"
