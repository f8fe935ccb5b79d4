#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
# Firebird serves the multi-user tests; they are skipped, and say so, where it cannot start.
started_firebird=0
if ! "$root/scripts/firebird.sh" status; then
  if "$root/scripts/firebird.sh" start; then started_firebird=1
  else echo "test: Firebird could not be started; the Firebird tests will be skipped" >&2; fi
fi
trap '[ "$started_firebird" = 1 ] && "$root/scripts/firebird.sh" stop' EXIT

export QT_QPA_PLATFORM=offscreen
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure --timeout 600
