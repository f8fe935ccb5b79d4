#!/usr/bin/env bash
# Runs every benchmark; each prints its figures as ratios against a floor measured in the same run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null
"${BUILD_DIR:-$root/build}/bin/bench_roundtrip" "${1:-2000}"
