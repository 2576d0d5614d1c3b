#!/usr/bin/env bash
# Makes the Wine prefix trust a certificate authority, as a Windows machine
# does after importing it into "Trusted Root Certification Authorities":
# the current user's Root store, i.e. the registry key
# HKCU\Software\Microsoft\SystemCertificates\Root\Certificates\<SHA-1>
# whose value "Blob" holds the serialized certificate (property 32, the
# DER bytes).
#   scripts/wine-trust-ca.sh <ca.pem>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=wine-env.sh
. "$here/wine-env.sh"
{ [ $# -eq 1 ] && [ -f "$1" ]; } || { echo "usage: wine-trust-ca.sh <ca.pem>" >&2; exit 2; }
zdl_wine_prefix
read -r thumb blob < <(openssl x509 -in "$1" -outform DER | python3 -c '
import hashlib, struct, sys
der = sys.stdin.buffer.read()
blob = struct.pack("<III", 32, 1, len(der)) + der
print(hashlib.sha1(der).hexdigest().upper(), blob.hex())')
DISPLAY='' "$ZDL_WINE" reg add "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb" \
  /v Blob /t REG_BINARY /d "$blob" /f >/dev/null
echo "wine: trusting $(openssl x509 -in "$1" -noout -subject) ($thumb) in $WINEPREFIX"
