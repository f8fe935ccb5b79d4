#!/usr/bin/env bash
# Takes pictures of the screen under Xvfb, as a user sees it, into
# build/screenshots/ ("--update-docs": into docs/, the pictures the README shows).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
out=$build/screenshots
[ "${1:-}" = --update-docs ] && out=$root/docs
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
"$build/bin/fis94100-server" --database "$work/demo.sqlite" --demo --port 0 > "$work/server.log" &
server=$!
for _ in $(seq 1 50); do grep -q listening "$work/server.log" && break; sleep 0.1; done
port=$(sed -n 's/.*:\([0-9]*\)\/FIS94100.*/\1/p' "$work/server.log")
shoot() { # guide company page file
  FIS94100_SERVER_PORT=$port FIS94100_HOST_DATABASE="$work/demo.sqlite" \
    xvfb-run -a -s "-screen 0 1280x900x24" "$build/bin/fis94100-host" --open "$1:$2" --page "$3" --screenshot "$4"
}
shoot GON 01 0 "$out/screen-general-GON.png"
shoot GON 01 1 "$out/screen-registrations-GON.png"
shoot DRJ 02 0 "$out/screen-general-DRJ.png"
shoot DRJ 02 1 "$out/screen-registrations-DRJ.png"
# The states a user meets: a refused exit, a search list, the busy indicator.
FIS94100_TOUR_DIR="$out" xvfb-run -a -s "-screen 0 1280x900x24" "$build/bin/screen_tour" -platform xcb >/dev/null
echo "screenshots in $out"
