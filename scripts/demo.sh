#!/usr/bin/env bash
# Installs what is needed, builds, and runs the product on its embedded demo
# database: the parameter service in the background and the host client with
# FIS94100 open for company 01 and guide type GON. Closing the host stops both.
#   SERVER_ONLY=1 scripts/demo.sh   serves the parameter service in the foreground instead
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
var=${FIS94100_VAR:-$root/var}
port=${FIS94100_PORT:-8094}
mkdir -p "$var"
"$root/scripts/make-demo-certs.sh" "$var/certs"
if [ "${FIS94100_ENGINE:-sqlite}" = firebird ]; then
  # The same product on Firebird, on a database made once. A server started here is stopped when the demo ends; one already running is left alone.
  if ! "$root/scripts/firebird.sh" status; then
    "$root/scripts/firebird.sh" start
    trap '"$root/scripts/firebird.sh" stop' EXIT
    stop_firebird='"$root/scripts/firebird.sh" stop'
  fi
  fdb=${FIS94100_FDB:-/var/lib/fis94100/demo.fdb}
  [ -f "$fdb" ] || "$root/scripts/firebird-db.sh" "$fdb" --demo
  db="$("$root/scripts/firebird.sh" address)/3050:$fdb"
  server_args=(--driver firebird --database "$db" --cert-dir "$var/certs" --port "$port")
  export FIS94100_HOST_DRIVER=firebird
else
  db="$var/demo.sqlite"
  server_args=(--database "$db" --demo --cert-dir "$var/certs" --port "$port")
fi
if [ "${SERVER_ONLY:-0}" = 1 ]; then
  # In the foreground; Ctrl+C stops it (and a Firebird server started above).
  "$build/bin/fis94100-server" "${server_args[@]}" || true
  exit 0
fi

"$build/bin/fis94100-server" "${server_args[@]}" > "$var/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true; '"${stop_firebird:-true}" EXIT
for _ in $(seq 1 100); do grep -q listening "$var/server.log" && break; sleep 0.1; done
grep -q listening "$var/server.log" || { cat "$var/server.log"; exit 1; }
cat <<EOT
demo: the parameter service listens on http://127.0.0.1:$port/FIS94100.rdmParamGNRE
      (database $db; its log: $var/server.log; health: curl http://127.0.0.1:$port/health)
demo: the host opens "Parâmetros da GNRE" for ${FIS94100_OPEN:-GON:01}; close its window to stop
      (or press Ctrl+C here); the service$( [ -n "${stop_firebird:-}" ] && echo " and Firebird") will stop with it.
EOT

export FIS94100_SERVER_HOST=127.0.0.1 FIS94100_SERVER_PORT=$port FIS94100_HOST_DATABASE="$db"
host=("$build/bin/fis94100-host" --open "${FIS94100_OPEN:-GON:01}" "$@")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<EOT
demo: no display here, so the host runs under Xvfb, where nobody sees it. To look
      at it, take a picture instead:  scripts/demo.sh --screenshot /tmp/host.png
      (the host saves it after start and quits), or run scripts/screenshots.sh.
EOT
  xvfb-run -a -s "-screen 0 1280x900x24" "${host[@]}"
else
  "${host[@]}"
fi
