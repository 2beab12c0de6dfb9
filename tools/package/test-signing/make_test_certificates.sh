#!/usr/bin/env bash
# Makes the TEST-ONLY signing certificates kept beside this script: a root
# certificate and a code-signing certificate it issued, with the signing key.
# The key is public (it is in the repository): anything signed with it proves
# only that the build's signing step ran. Never install this root on a machine
# that is not a test machine. Valid from 2000 to 2099, so that any commit time
# is inside the validity.
#
#   make_test_certificates.sh      rewrites the three files of this folder
set -eu -o pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
mkdir -p db && : >db/index.txt && echo 01 >db/serial
cat >ca.cnf <<'CNF'
[ca]
default_ca = test
[test]
database = db/index.txt
serial = db/serial
new_certs_dir = .
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
organizationName = optional
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[signer]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF
openssl genrsa -out root.key 3072 2>/dev/null
openssl genrsa -out signer.key 3072 2>/dev/null
openssl req -new -key root.key -subj "/O=Zaduze TEST ONLY/CN=Zaduze TEST-ONLY root (do not trust)" -out root.csr
openssl ca -batch -config ca.cnf -selfsign -keyfile root.key -in root.csr -extensions root \
  -startdate 20000101000000Z -enddate 20991231235959Z -out root.crt 2>/dev/null
openssl req -new -key signer.key -subj "/O=Zaduze TEST ONLY/CN=Zaduze TEST-ONLY code signing" -out signer.csr
openssl ca -batch -config ca.cnf -cert root.crt -keyfile root.key -in signer.csr -extensions signer \
  -startdate 20000101000000Z -enddate 20991231235959Z -out signer.crt 2>/dev/null
openssl x509 -in root.crt -out "$HERE/zaduze-TEST-ONLY-root.crt"
openssl x509 -in signer.crt -out "$HERE/zaduze-TEST-ONLY-codesign.crt"
openssl pkey -in signer.key -out "$HERE/zaduze-TEST-ONLY-codesign.key"
openssl verify -CAfile "$HERE/zaduze-TEST-ONLY-root.crt" -purpose any "$HERE/zaduze-TEST-ONLY-codesign.crt"
