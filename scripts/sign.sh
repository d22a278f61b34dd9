#!/usr/bin/env bash
# Signs Windows programs in place with Authenticode (osslsigncode), so that
# SmartScreen and the "downloaded from the Internet" mark show a publisher
# instead of "Unknown publisher". Optional: nothing in the build needs it.
#
#   scripts/sign.sh --cert CERT.pem --key KEY.pem [--keep DIR] FILE...
#
# CERT may hold the chain after the certificate. The signatures carry no
# time stamp (that needs a time-stamping server on the Internet; add
# -t URL to the osslsigncode line for a release). --keep copies each file
# after signing to DIR, so that a test can verify files the installer
# builder signs and then embeds (the uninstaller).
#
# The release packages: scripts/package.sh --cert ... --key ... BUILD_DIR
set -euo pipefail

cert= key= keep=
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --cert) cert=$2; shift 2 ;;
    --key) key=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
[ -n "$cert" ] && [ -n "$key" ] && [ ${#files[@]} -gt 0 ] || {
  echo "usage: $0 --cert CERT.pem --key KEY.pem [--keep DIR] FILE..." >&2
  exit 2
}
command -v osslsigncode >/dev/null || { echo "[sign] osslsigncode is missing: run scripts/setup.sh" >&2; exit 1; }

for file in "${files[@]}"; do
  signed="$file.signed"
  rm -f "$signed"
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Tavrin" -i "https://example.com/" \
    -in "$file" -out "$signed" >/dev/null || { rm -f "$signed"; echo "[sign] could not sign $file" >&2; exit 1; }
  mv -f "$signed" "$file"
  if [ -n "$keep" ]; then
    mkdir -p "$keep"
    cp -f "$file" "$keep/"
  fi
  echo "[sign] signed $file"
done
