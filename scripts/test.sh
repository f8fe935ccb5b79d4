#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite on both engines.
#   scripts/test.sh              build/ , the suite on SQLite and Firebird
#   scripts/test.sh --sanitize   build-asan/ with AddressSanitizer and UndefinedBehaviorSanitizer;
#                                every process the suite starts (the servers too) reports into
#                                build-asan/sanitizer/, and any report fails the run
# Firebird is started here when it is not running, and stopped again at the end.
# A Firebird suite that cannot reach its server is reported as skipped, and
# fails the run where CI=true.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sanitize=0
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=1 ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done

"$root/scripts/install-deps.sh"
if [ "$sanitize" = 1 ]; then
  build=${BUILD_DIR:-$root/build-asan}
  BUILD_DIR=$build CMAKE_ARGS="-DFIS_SANITIZE=ON" "$root/scripts/build.sh"
else
  build=${BUILD_DIR:-$root/build}
  BUILD_DIR=$build "$root/scripts/build.sh"
fi

started_firebird=0
cleanup() { if [ "$started_firebird" = 1 ]; then "$root/scripts/firebird.sh" stop; fi; }
trap cleanup EXIT
if ! "$root/scripts/firebird.sh" status; then
  if "$root/scripts/firebird.sh" start; then started_firebird=1
  elif [ "${CI:-}" = true ]; then echo "test: Firebird could not be started" >&2; exit 1
  else echo "test: Firebird could not be started; the Firebird suites are reported as skipped" >&2; fi
fi

export QT_QPA_PLATFORM=offscreen
results=$build/test-results
rm -rf "$results"
mkdir -p "$results"
if [ "$sanitize" = 1 ]; then
  reports=$build/sanitizer
  rm -rf "$reports"
  mkdir -p "$reports"
  # Reports go to files, so those of the servers the tests start are seen too.
  export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=0"
  export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:halt_on_error=1"
fi

status=0
(cd "$build" && ctest --output-on-failure --timeout 900) || status=$?

"$root/scripts/test-summary.sh" "$results" || status=1
if [ "$sanitize" = 1 ]; then
  found=$(find "$reports" -type f | wc -l)
  echo "sanitizers: $found report(s)"
  if [ "$found" -gt 0 ]; then
    for f in "$reports"/*; do echo "== $f"; head -60 "$f"; done
    status=1
  fi
fi
exit "$status"
