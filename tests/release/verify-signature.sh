#!/bin/bash
# The signed installer's Authenticode signature verifies against the
# throwaway certificate it was signed with, and stops verifying once a byte
# of the file changes.
#
#     verify-signature.sh SIGNED_EXE CERT_PEM WORK_DIR
set -eu
signed=$1
cert=$2
work=$3
mkdir -p "$work"
osslsigncode verify -CAfile "$cert" -in "$signed" >"$work/verify.log" 2>&1 \
    || { cat "$work/verify.log"; echo "the signature does not verify"; exit 1; }
grep -q 'Signature verification: ok' "$work/verify.log" || { cat "$work/verify.log"; exit 1; }

# A changed byte in the middle of the payload must break it.
cp "$signed" "$work/tampered.exe"
size=$(stat -c %s "$work/tampered.exe")
printf '\x5a' | dd of="$work/tampered.exe" bs=1 seek=$((size / 2)) conv=notrunc status=none
if osslsigncode verify -CAfile "$cert" -in "$work/tampered.exe" >"$work/tampered.log" 2>&1 \
   && grep -q 'Signature verification: ok' "$work/tampered.log"; then
    echo "a tampered file still verifies"
    exit 1
fi
rm -f "$work/tampered.exe"
echo "signature ok; a tampered copy is refused"
