#!/usr/bin/env bash
# Makes a throw-away code-signing authority and publisher certificate in a folder,
# for signing real Windows programs in the demo and the benchmarks:
#   root.pem, root.der, root.key   the authority (self-signed, CA:TRUE)
#   signer.pem, signer.key          the publisher, code-signing usage, issued by it
#   chain.pem                       signer then root, as osslsigncode wants it
#   root.thumbprint                 the root's SHA-1 thumbprint, upper-case hex: the
#                                   name of its key in a Windows certificate store
#   root.blob                       the root as a store's "Blob" value: property 0x20,
#                                   reserved 1, length, then the DER certificate
#
#   scripts/make_test_signer.sh <folder> [publisher name] [root name]
set -euo pipefail
dir=${1:?usage: make_test_signer.sh <folder> [publisher name] [root name]}
publisher=${2:-Velanto Software}
root_name=${3:-$publisher Test Root CA}
mkdir -p "$dir"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/O=$publisher/CN=$root_name" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout root.key -out root.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/O=$publisher/CN=$publisher" -keyout signer.key -out signer.csr 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 1825 \
  -extfile signer.ext -out signer.pem 2>/dev/null
cat signer.pem root.pem >chain.pem
openssl x509 -in root.pem -outform DER -out root.der
openssl x509 -in root.pem -noout -fingerprint -sha1 | sed 's/.*=//; s/://g' | tr a-f A-F | tr -d '\n' >root.thumbprint
le32() { printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) $((($1 >> 24) & 255)))"; }
{ le32 32; le32 1; le32 "$(stat -c %s root.der)"; cat root.der; } >root.blob
