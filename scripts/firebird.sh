#!/usr/bin/env bash
# Firebird server management without systemd.
#   firebird.sh install   installs the server and Qt's driver
#   firebird.sh start     starts the server as user firebird (PID file in $FB_RUN)
#   firebird.sh stop      stops the server started by 'start', by its PID only
#   firebird.sh status    exit 0 when the server answers on $FB_PORT
set -euo pipefail
FB_RUN=${FB_RUN:-/run/firebird3.0}
FB_PIDFILE=${FB_PIDFILE:-$FB_RUN/fis94100-firebird.pid}
FB_PORT=${FB_PORT:-3050}

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$FB_PORT") 2>/dev/null; }

case "${1:-}" in
  install)
    if ! dpkg-query -W -f='${Status}' firebird3.0-server 2>/dev/null | grep -q 'install ok installed' \
       || ! dpkg-query -W -f='${Status}' libqt6sql6-ibase 2>/dev/null | grep -q 'install ok installed'; then
      echo "firebird3.0-server shared/firebird/sysdba_password/first_install password masterkey" | debconf-set-selections
      DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends firebird3.0-server libqt6sql6-ibase
    fi
    ;;
  start)
    if listening; then echo "firebird: already listening on $FB_PORT"; exit 0; fi
    install -d -o firebird -g firebird -m 0770 "$FB_RUN"
    start-stop-daemon --start --background --make-pidfile --pidfile "$FB_PIDFILE" \
      --chuid firebird:firebird --exec /usr/sbin/firebird
    for _ in $(seq 1 100); do listening && { echo "firebird: started"; exit 0; }; sleep 0.1; done
    echo "firebird: did not start" >&2; exit 1
    ;;
  stop)
    [ -f "$FB_PIDFILE" ] || exit 0
    pid=$(cat "$FB_PIDFILE")
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid"
      for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    rm -f "$FB_PIDFILE"
    ;;
  status) listening ;;
  *) echo "usage: $0 install|start|stop|status" >&2; exit 2 ;;
esac
