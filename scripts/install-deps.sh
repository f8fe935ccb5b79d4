#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: packages already present are left as they are.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-ibase qt6-qpa-plugins
  libcpp-httplib-dev libboost-dev rapidjson-dev libsqlite3-dev libmimalloc-dev libssl-dev openssl sqlite3
  qt6-translations-l10n fonts-dejavu-core xvfb xauth x11-utils imagemagick curl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Firebird is the multi-user engine; its own script installs it non-interactively.
if [ "${WITH_FIREBIRD:-1}" = "1" ]; then
  "$(dirname "$0")/firebird.sh" install || echo "install-deps: Firebird could not be installed; its tests will be skipped" >&2
fi
