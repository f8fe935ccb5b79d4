#!/usr/bin/env bash
# Installs the packages of build/packages/ into a fresh minimal Debian 12 root
# (debootstrap), with apt resolving their dependencies, starts the service from
# its systemd unit's command line as its own user (no systemd in the root), asks
# it for its health and a record, and takes a screenshot of the host against it.
# Needs root and Debian's package mirror.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
target=${PKG_ROOT:-$build/pkgroot}
port=${PKG_TEST_PORT:-18094}
debs=("$build"/packages/*.deb)
[ -e "${debs[0]}" ] || { echo "package-test: no packages in $build/packages (scripts/package.sh)" >&2; exit 1; }
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)

mounted=()
cleanup() {
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true
  for ((i=${#mounted[@]}-1; i>=0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT

rm -rf "$target"
echo "package-test: debootstrap into $target"
debootstrap --variant=minbase bookworm "$target" "${mirror:-http://deb.debian.org/debian}" >"$build/pkgroot.log" 2>&1
for d in proc sys dev dev/pts; do mount --bind "/$d" "$target/$d"; mounted+=("$target/$d"); done
cp /etc/resolv.conf "$target/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' > "$target/usr/sbin/policy-rc.d"; chmod +x "$target/usr/sbin/policy-rc.d"
mkdir -p "$target/tmp/debs"; cp "${debs[@]}" "$target/tmp/debs/"

in_root() { chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
echo "package-test: apt-get install ./fis94100-*.deb"
in_root sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends /tmp/debs/*.deb' >>"$build/pkgroot.log" 2>&1
in_root dpkg-query -W -f='${Package} ${Version} ${Status}\n' fis94100-server fis94100-host
in_root getent passwd fis94100 >/dev/null || { echo "package-test: no user fis94100" >&2; exit 1; }
in_root test -d /var/lib/fis94100 || { echo "package-test: no /var/lib/fis94100" >&2; exit 1; }

# Told which database to serve: the administrator's step (here: a new demo database).
printf 'port = %s\ncreate = true\ndemo = true\n' "$port" >> "$target/etc/fis94100/server.conf"
exec_start=$(sed -n 's/^ExecStart=//p' "$target/lib/systemd/system/fis94100-server.service")
echo "package-test: as fis94100: $exec_start"
chroot "$target" runuser -u fis94100 -- $exec_start >"$build/pkgroot-server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do grep -q listening "$build/pkgroot-server.log" && break; sleep 0.1; done
cat "$build/pkgroot-server.log"
# The test tools, after the packages: they are not the packages' dependencies.
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends curl xvfb xauth' >>"$build/pkgroot.log" 2>&1
in_root curl -sf "http://127.0.0.1:$port/health"; echo
in_root curl -sf -X POST "http://127.0.0.1:$port/FIS94100.rdmParamGNRE" \
  -d '{"jsonrpc":"2.0","method":"GetParamGeral","params":["01"],"id":1}' | grep -q '"CDEMPRESA"' \
  && echo "package-test: the service answers GetParamGeral"
in_root env FIS94100_SERVER_PORT="$port" FIS94100_HOST_DATABASE=/var/lib/fis94100/params.sqlite \
  xvfb-run -a -s "-screen 0 1280x900x24" fis94100-host --open GON:01 --screenshot /tmp/host.png
cp "$target/tmp/host.png" "$build/packages/installed-host.png"
echo "package-test: screenshot of the installed host in $build/packages/installed-host.png"
kill -TERM "$server_pid"; wait "$server_pid" || true; server_pid=
tail -2 "$build/pkgroot-server.log"
echo "package-test: passed"
