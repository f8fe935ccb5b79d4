#!/usr/bin/env bash
# Installs what is needed, builds, and runs the product on its embedded demo database.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
var=${FIS94100_VAR:-$root/var}
mkdir -p "$var"
"$root/scripts/make-demo-certs.sh" "$var/certs"
exec "$build/bin/fis94100-server" --database "$var/demo.sqlite" --demo --cert-dir "$var/certs" "$@"
