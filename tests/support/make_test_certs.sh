#!/usr/bin/env bash
# Makes the certificates of the TLS tests in the directory given: a private authority, and
# server certificates signed by it (good, wrong name, expired), by another authority
# (untrusted), and one that signs itself. Everything with the openssl command.
set -euo pipefail
cd "$1"
good_names="subjectAltName=DNS:localhost,IP:127.0.0.1,IP:127.0.0.2"

authority() {  # name
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -keyout "$1.key" -out "$1.pem" \
        -subj "/CN=Korvo Test Authority $1" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=keyCertSign,cRLSign" \
        2>/dev/null
}

# server name signer names [startdate enddate]: signs through `openssl ca`, which can date a
# certificate in the past.
server() {
    local name=$1 signer=$2 names=$3
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$name.key" -out "$name.csr" \
        -subj "/CN=localhost" 2>/dev/null
    mkdir -p "db-$name" && : >"db-$name/index"
    cat >"db-$name/conf" <<CONF
[ca]
default_ca = this
[this]
database = db-$name/index
new_certs_dir = db-$name
serial = db-$name/serial
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = ext
[any]
commonName = supplied
[ext]
basicConstraints = CA:FALSE
$names
CONF
    openssl rand -hex 8 >"db-$name/serial"
    local dates=(-days 30)
    if [ $# -ge 5 ]; then dates=(-startdate "$4" -enddate "$5"); fi
    openssl ca -batch -notext -config "db-$name/conf" -cert "$signer.pem" -keyfile "$signer.key" \
        -in "$name.csr" -out "$name.pem" "${dates[@]}" 2>/dev/null
}

authority ca
authority other-ca
server good ca "$good_names"
server untrusted other-ca "$good_names"
server wrong-name ca "subjectAltName=DNS:elsewhere.test"
server expired ca "$good_names" 20200101000000Z 20200201000000Z
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 -keyout self-signed.key -out self-signed.pem \
    -subj "/CN=localhost" -addext "$good_names" 2>/dev/null
