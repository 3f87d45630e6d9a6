#!/usr/bin/env bash
# Makes the signed test files: a throw-away CA with two code-signing leaves, signed, unsigned
# and tampered copies of the product-helper stand-ins, and the expected thumbprint of the leaf.
# The signer reader parses files without loading them, so both image formats are made whatever
# the build's own architecture: pe32_* (the product's) and pe64_* from the stand-in source.
# Every further argument <name>=<file> is signed with the trusted leaf into <out folder>/<name>.
# Usage: make_signed_fixtures.sh <out folder> <full stand-in> <minimal stand-in> <empty-version stand-in>
#                                <stand-in source> [<name>=<file>...]
set -euo pipefail
out="$1"; full="$2"; minimal="$3"; emptyver="$4"; source="$5"
shift 5
mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"

# The trusted leaf names one of the built-in trusted signers, in another letter case.
trusted_subject="/O=Harnstave/OU=Release Engineering/CN=HARNSTAVE Network Technology Co., Ltd."
other_subject="/O=Quillmere/CN=Quillmere Test Signer"

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 \
  -subj "/CN=Brivelo Test Root CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > leaf.ext
make_leaf() {  # $1 = name, $2 = subject
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2" 2>/dev/null
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 \
    -extfile leaf.ext -out "$1.pem" 2>/dev/null
}
make_leaf trusted "$trusted_subject"
make_leaf other "$other_subject"

sign() {  # $1 = leaf, $2 = input, $3 = output
  rm -f "$3"
  osslsigncode sign -certs "$1.pem" -ac ca.pem -key "$1.key" -h sha256 -in "$2" -out "$3" >/dev/null
}
sign trusted "$full" "$out/ph_full_trusted.dll"
sign trusted "$minimal" "$out/ph_minimal_trusted.dll"
sign trusted "$emptyver" "$out/ph_empty_version_trusted.dll"
sign other "$full" "$out/ph_full_other.dll"
cp "$full" "$out/ph_full_unsigned.dll"
for extra in "$@"; do
  sign trusted "${extra#*=}" "$out/${extra%%=*}"
done
for format in pe32:i686 pe64:x86_64; do
  "${format#*:}-w64-mingw32-gcc" -shared -O1 -DSTANDIN_FULL -static-libgcc -o "${format%%:*}.dll" "$source"
  sign trusted "${format%%:*}.dll" "$out/${format%%:*}_full_trusted.dll"
  cp "${format%%:*}.dll" "$out/${format%%:*}_full_unsigned.dll"
done

# One byte of code flipped after signing: the signature no longer matches the file.
python3 - "$out/ph_full_trusted.dll" "$out/ph_full_tampered.dll" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
pe = struct.unpack_from('<I', data, 60)[0]
sections = struct.unpack_from('<H', data, pe + 6)[0]
table = pe + 24 + struct.unpack_from('<H', data, pe + 20)[0]
for i in range(sections):
    entry = table + 40 * i
    if data[entry:entry + 8].rstrip(b'\0') == b'.text':
        data[struct.unpack_from('<I', data, entry + 20)[0] + 16] ^= 0xFF
        break
else:
    sys.exit('no .text section')
open(sys.argv[2], 'wb').write(data)
PY

openssl x509 -in trusted.pem -outform DER | sha1sum | cut -c1-40 > "$out/trusted_leaf.sha1"
openssl x509 -in ca.pem -outform DER | sha1sum | cut -c1-40 > "$out/ca.sha1"
touch "$out/stamp"
