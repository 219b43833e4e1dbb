#!/bin/sh
# Makes the throw-away certificates the test service presents: a CA, a good server certificate
# for 127.0.0.1/localhost, an expired one, one for another host name and one that names
# 127.0.0.1 only in its common name, all signed by the CA.
# Usage: OPENSSL=openssl make-test-certs.sh OUTPUT_DIR
set -eu

out=${1:?usage: make-test-certs.sh OUTPUT_DIR}
openssl=${OPENSSL:-openssl}

mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrodock-certs.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# `openssl ca` is the only way OpenSSL 3.0 can back-date a certificate, so every leaf goes
# through it; its database lives in the scratch directory.
: >"$work/index.txt"
echo 1000 >"$work/serial"
cat >"$work/ca.cnf" <<EOF
[ ca ]
default_ca = test_ca

[ test_ca ]
database = $work/index.txt
serial = $work/serial
new_certs_dir = $work
certificate = $work/ca.pem
private_key = $work/ca.key
default_md = sha256
policy = any_name
unique_subject = no
copy_extensions = none
email_in_dn = no

[ any_name ]
commonName = supplied

[ req ]
distinguished_name = req_name
prompt = no

[ req_name ]
CN = unused

[ ca_ext ]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash

[ server_ext ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = IP:127.0.0.1, DNS:localhost

[ otherhost_ext ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = DNS:other.invalid

[ cnonly_ext ]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF

newkey() {
    "$openssl" genpkey -algorithm EC -pkeyopt ec_paramgen_curve:prime256v1 -out "$work/$1.key"
}

newkey ca
"$openssl" req -config "$work/ca.cnf" -new -x509 -key "$work/ca.key" -subj "/CN=ferrodock test CA" \
    -days 3650 -extensions ca_ext -out "$work/ca.pem"

# sign NAME COMMON_NAME EXTENSIONS VALIDITY...
sign() {
    name=$1 cn=$2 ext=$3
    shift 3
    newkey "$name"
    "$openssl" req -config "$work/ca.cnf" -new -key "$work/$name.key" -subj "/CN=$cn" \
        -out "$work/$name.csr"
    # `openssl ca` chats on standard error even when all is well; show it only on failure.
    if ! "$openssl" ca -config "$work/ca.cnf" -batch -notext -extensions "$ext" "$@" \
        -in "$work/$name.csr" -out "$work/$name.pem" 2>"$work/ca.log"; then
        cat "$work/ca.log" >&2
        exit 1
    fi
}

sign server 127.0.0.1 server_ext -days 3650
sign expired 127.0.0.1 server_ext -startdate 20200101000000Z -enddate 20200102000000Z
sign otherhost other.invalid otherhost_ext -days 3650
sign cnonly localhost cnonly_ext -days 3650

for name in ca server expired otherhost cnonly; do
    cp "$work/$name.pem" "$work/$name.key" "$out/"
done
