#!/usr/bin/env bash
# Signs a release for the update feed: prints the enclosure attributes that
# the editor checks a downloaded update against, its length in bytes and the
# Ed25519 signature of the whole file (base64).
# Usage: scripts/sign-update.sh FILE SECRET_KEY_FILE
#        scripts/sign-update.sh --public-key SECRET_KEY_FILE
# The secret key is a PEM file made once with
#   openssl genpkey -algorithm ed25519 -out update-signing.pem
# and kept off this repository; --public-key prints the base64 public key that
# belongs in Organization::updatePublicKey (hwt_tools/lib/core/organization.h).
set -euo pipefail
command -v openssl >/dev/null || { echo "sign-update: openssl is missing (package openssl)" >&2; exit 1; }

if [ "${1:-}" = "--public-key" ] && [ $# -eq 2 ]; then
  # The last 32 bytes of the DER public key are the raw Ed25519 key.
  openssl pkey -in "$2" -pubout -outform DER | tail -c 32 | base64 -w0
  echo
  exit 0
fi
if [ $# -ne 2 ]; then
  echo "usage: scripts/sign-update.sh FILE SECRET_KEY_FILE | --public-key SECRET_KEY_FILE" >&2
  exit 1
fi
file="$1"
key="$2"
[ -f "$file" ] || { echo "sign-update: no file $file" >&2; exit 1; }
signature="$(openssl pkeyutl -sign -rawin -inkey "$key" -in "$file" | base64 -w0)"
printf 'length="%s" sparkle:edSignature="%s"\n' "$(stat -c %s "$file")" "$signature"
