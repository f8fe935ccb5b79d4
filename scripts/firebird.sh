#!/usr/bin/env bash
# Firebird server management without systemd.
#   firebird.sh install   installs the server, its tools and Qt's driver
#   firebird.sh start     binds the server to $FB_BIND and starts it as user firebird
#                         (PID file in $FB_RUN); a start that fails stops what it started
#   firebird.sh stop      stops the server started by 'start', by its PID only
#   firebird.sh status    exit 0 when a server answers on $FB_PORT (IPv4 or IPv6 loopback)
#   firebird.sh address   prints the address a client reaches it on: 127.0.0.1 or [::1]
#
# Debian's firebird.conf binds the server to "localhost", which on a stock
# system is [::1] only (localhost resolves to ::1 first) and in a root without
# /etc/hosts does not resolve at all. 'start' binds it to the numeric loopback
# address instead, so it needs no name lookup and clients know where it is.
set -euo pipefail
FB_RUN=${FB_RUN:-/run/firebird3.0}
FB_PIDFILE=${FB_PIDFILE:-$FB_RUN/fis94100-firebird.pid}
FB_PORT=${FB_PORT:-3050}
FB_BIND=${FB_BIND:-127.0.0.1}
FB_CONF=${FB_CONF:-/etc/firebird/3.0/firebird.conf}

answers() { (exec 3<>"/dev/tcp/$1/$FB_PORT") 2>/dev/null; }
address() {
  if answers 127.0.0.1; then echo 127.0.0.1
  elif answers ::1; then echo '[::1]'
  else return 1; fi
}

configure() {
  [ -f "$FB_CONF" ] || { echo "firebird: $FB_CONF not found (is firebird3.0-server installed?)" >&2; return 1; }
  if grep -Eq "^[[:space:]]*RemoteBindAddress[[:space:]]*=" "$FB_CONF"; then
    sed -i -E "s|^[[:space:]]*RemoteBindAddress[[:space:]]*=.*|RemoteBindAddress = $FB_BIND|" "$FB_CONF"
  else
    echo "RemoteBindAddress = $FB_BIND" >> "$FB_CONF"
  fi
  if [ "$FB_PORT" != 3050 ]; then
    if grep -Eq "^[[:space:]]*RemoteServicePort[[:space:]]*=" "$FB_CONF"; then
      sed -i -E "s|^[[:space:]]*RemoteServicePort[[:space:]]*=.*|RemoteServicePort = $FB_PORT|" "$FB_CONF"
    else
      echo "RemoteServicePort = $FB_PORT" >> "$FB_CONF"
    fi
  fi
}

stop_pid() {
  local pid=$1
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid"
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
}

case "${1:-}" in
  install)
    if ! dpkg-query -W -f='${Status}' firebird3.0-server 2>/dev/null | grep -q 'install ok installed' \
       || ! dpkg-query -W -f='${Status}' firebird3.0-utils 2>/dev/null | grep -q 'install ok installed' \
       || ! dpkg-query -W -f='${Status}' libqt6sql6-ibase 2>/dev/null | grep -q 'install ok installed'; then
      echo "firebird3.0-server shared/firebird/sysdba_password/first_install password masterkey" | debconf-set-selections
      export DEBIAN_FRONTEND=noninteractive
      apt-get install -y --no-install-recommends firebird3.0-server firebird3.0-utils libqt6sql6-ibase \
        || { apt-get update && apt-get install -y --no-install-recommends firebird3.0-server firebird3.0-utils libqt6sql6-ibase; }
    fi
    ;;
  start)
    if where=$(address); then echo "firebird: already listening on $where:$FB_PORT"; exit 0; fi
    configure
    install -d -o firebird -g firebird -m 0770 "$FB_RUN"
    start-stop-daemon --start --background --make-pidfile --pidfile "$FB_PIDFILE" \
      --chuid firebird:firebird --exec /usr/sbin/firebird
    for _ in $(seq 1 100); do
      if where=$(address); then echo "firebird: started on $where:$FB_PORT"; exit 0; fi
      sleep 0.1
    done
    echo "firebird: did not start listening on $FB_BIND:$FB_PORT; stopping it" >&2
    [ -f "$FB_PIDFILE" ] && stop_pid "$(cat "$FB_PIDFILE")"
    rm -f "$FB_PIDFILE"
    exit 1
    ;;
  stop)
    [ -f "$FB_PIDFILE" ] || exit 0
    stop_pid "$(cat "$FB_PIDFILE")"
    rm -f "$FB_PIDFILE"
    ;;
  status) address >/dev/null ;;
  address) address ;;
  *) echo "usage: $0 install|start|stop|status|address" >&2; exit 2 ;;
esac
