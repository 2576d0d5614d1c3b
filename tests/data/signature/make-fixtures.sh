#!/usr/bin/env bash
# Remakes the signature fixtures with the real minisign tool (Debian's
# minisign package), so that the verifier's tests do not rest on its own
# reading of the format. Two fresh key pairs; the secret keys are thrown
# away. Run from anywhere; the files land beside this script.
#   release.pub, other.pub        public key files
#   release.digest                the signed file (a digest line)
#   release.digest.ED.minisig     prehashed signature (minisign's default)
#   release.digest.Ed.minisig     legacy signature (minisign -l)
#   release.digest.other.minisig  the same file signed by the other key
#   older.digest(.minisig)        another release, signed by the release key
#   release.digest.notime.minisig a trusted comment without a time stamp
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$here"
minisign -G -W -f -p release.pub -s "$tmp/release.key" >/dev/null
minisign -G -W -f -p other.pub -s "$tmp/other.key" >/dev/null
printf 'ZDLDIGEST 1 %s 4242\n' "$(printf 'a%.0s' $(seq 64))" >release.digest
printf 'ZDLDIGEST 1 %s 4343\n' "$(printf 'b%.0s' $(seq 64))" >older.digest
sign() { # key file sig [options]
  local key=$1 file=$2 sig=$3
  shift 3
  minisign -S -W -s "$tmp/$key.key" -m "$file" -x "$sig" "$@" >/dev/null
}
sign release release.digest release.digest.ED.minisig
sign release release.digest release.digest.Ed.minisig -l
sign other release.digest release.digest.other.minisig
sign release older.digest older.digest.minisig -t "timestamp:1600000000	file:older.digest"
sign release release.digest release.digest.notime.minisig -t "signed by hand"
# Each must verify with the real tool against the key that made it.
minisign -Vq -p release.pub -m release.digest -x release.digest.ED.minisig
minisign -Vq -p release.pub -m release.digest -x release.digest.Ed.minisig
minisign -Vq -p other.pub -m release.digest -x release.digest.other.minisig
minisign -Vq -p release.pub -m older.digest -x older.digest.minisig
