#!/usr/bin/env bash
# Creates a Firebird database (UTF8) with the schema, on the server started by
# scripts/firebird.sh.
#   firebird-db.sh FILE [--demo] [--dialect-functions]
# FILE is a path on this machine; its folder is made writable by user firebird.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
file=${1:?usage: firebird-db.sh FILE [--demo] [--dialect-functions]}
shift
user=${FIS94100_DB_USER:-SYSDBA}
password=${FIS94100_DB_PASSWORD:-masterkey}
port=${FB_PORT:-3050}
# Where the server really listens (IPv4 or IPv6 loopback).
address=$("$root/scripts/firebird.sh" address) || { echo "firebird-db: no Firebird server answers on port $port" >&2; exit 1; }
dir=$(dirname "$file")
mkdir -p "$dir"
if id firebird >/dev/null 2>&1; then chown firebird:firebird "$dir"; fi
chmod 0770 "$dir"
script=$(mktemp)
trap 'rm -f "$script"' EXIT
{
  echo "CREATE DATABASE '$address/$port:$file' USER '$user' PASSWORD '$password' DEFAULT CHARACTER SET UTF8;"
  cat "$root/db/tables.sql" "$root/db/firebird/history.sql" "$root/db/firebird/schema.sql"
  for opt in "$@"; do
    case "$opt" in
      --demo) cat "$root/db/demo.sql"; echo "COMMIT;" ;;
      --dialect-functions) cat "$root/db/firebird/dialect-functions.sql" ;;
      *) echo "firebird-db: unknown option $opt" >&2; exit 2 ;;
    esac
  done
} > "$script"
isql-fb -q -ch UTF8 -b -i "$script"
