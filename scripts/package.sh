#!/usr/bin/env bash
# Builds the Debian packages fis94100-server and fis94100-host into build/packages/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
# CPack's Debian generator: dpkg-shlibdeps (dpkg-dev) and file find the run-time dependencies.
for p in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' \
    || DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$p"
done
BUILD_DIR=$build "$root/scripts/build.sh"
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
ls -1 "$build"/packages/*.deb
