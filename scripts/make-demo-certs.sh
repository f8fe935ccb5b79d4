#!/usr/bin/env bash
# Generates the demo digital certificates the service lists (self-signed, X.509).
set -euo pipefail
dir=${1:?usage: make-demo-certs.sh DIR}
mkdir -p "$dir"
[ -n "$(ls -A "$dir" 2>/dev/null)" ] && exit 0
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
make_cert() { # name subject serial days format
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/$1.key" -out "$keys/$1.pem" \
    -days "$4" -subj "$2" -set_serial "$3" -utf8 >/dev/null 2>&1
  if [ "$5" = der ]; then openssl x509 -in "$keys/$1.pem" -outform DER -out "$dir/$1.cer"
  else cp "$keys/$1.pem" "$dir/$1.pem"; fi
}
make_cert alimentos "/CN=COMERCIO DE ALIMENTOS PAULISTA LTDA:11222333000181" 0x4E2A91C3 365 pem
make_cert bebidas "/CN=INDUSTRIA FLUMINENSE DE BEBIDAS SA:44555666000172" 0x71B0D5E8 730 der
make_cert pecas "/CN=DISTRIBUIDORA MINEIRA DE PEÇAS LTDA:77888999000163" 0x2C44F019 180 pem
