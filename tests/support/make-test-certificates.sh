#!/usr/bin/env bash
# Certificates for TLS tests, made fresh in <dir>:
#
#   make-test-certificates.sh <dir>
#
#   ca.crt                      the test authority that tests trust
#   localhost.crt/.key          signed by it for localhost and 127.0.0.1
#   wrong-host.crt/.key         signed by it, but for another host
#   expired.crt/.key            signed by it for localhost, valid only in 2000
#   unknown-ca.crt/.key         for localhost, signed by an authority nobody trusts
#   self-signed.crt/.key        for localhost, signed by itself
#
# EC keys: generating them costs milliseconds, so every run makes its own.
set -euo pipefail
(($# == 1)) || { echo "usage: $0 <dir>" >&2; exit 2; }
dir=$1
mkdir -p "$dir"
cd "$dir"

new_key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$1" 2>/dev/null; }

authority() {  # name common-name
  new_key "$1.key"
  openssl req -x509 -new -key "$1.key" -out "$1.crt" -subj "/CN=$2" -days 3650 \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
}

request() {  # name host
  new_key "$1.key"
  openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$2"
}

server_extensions() {  # host
  printf 'basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=DNS:%s%s\n' "$1" \
    "$([ "$1" = localhost ] && echo ',IP:127.0.0.1')"
}

sign() {  # name host authority
  request "$1" "$2"
  openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -set_serial "0x$(openssl rand -hex 8)" \
    -days 3650 -out "$1.crt" -extfile <(server_extensions "$2") 2>/dev/null
}

authority ca "Tandrel Test CA"
authority other-ca "Unknown Test CA"
sign localhost localhost ca
sign wrong-host mail.example.org ca
sign unknown-ca localhost other-ca

# openssl x509 cannot date a certificate in the past; its ca command can.
request expired localhost
mkdir -p ca-db
: >ca-db/index.txt
cat >ca-db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = ca-db/index.txt
new_certs_dir = ca-db
serial = ca-db/serial
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
CNF
openssl rand -hex 8 >ca-db/serial
openssl ca -batch -notext -config ca-db/ca.cnf -cert ca.crt -keyfile ca.key -in expired.csr -out expired.crt \
  -startdate 20000101000000Z -enddate 20001231000000Z -extfile <(server_extensions localhost) 2>/dev/null

new_key self-signed.key
openssl req -x509 -new -key self-signed.key -out self-signed.crt -subj /CN=localhost -days 3650 \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1

rm -rf ./*.csr ca-db other-ca.key
