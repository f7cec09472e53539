#!/usr/bin/env bash
# A test certificate authority and a certificate for "localhost" signed by
# it, made once per folder. Only the tests use them.
set -euo pipefail
dir=$1
[ -f "$dir/localhost.pem" ] && [ -f "$dir/ca.der" ] && exit 0
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Vantorel Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout host.key -out host.csr 2>/dev/null
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > host.ext
openssl x509 -req -in host.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 -sha256 \
  -extfile host.ext -out host.pem 2>/dev/null
cat host.pem host.key > localhost.pem
openssl x509 -in ca.pem -outform DER -out ca.der
