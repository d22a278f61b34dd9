#!/usr/bin/env bash
# Makes the Windows packages (ZIP and per-user installer) from a cross build,
# signed when a certificate is given:
#
#   scripts/package.sh BUILD_DIR [OUT_DIR]
#   scripts/package.sh --cert CERT.pem --key KEY.pem [--keep DIR] BUILD_DIR [OUT_DIR]
#
# Signed: Tavrin.exe and Extension.dll before they are packed, the installer
# and its uninstaller by makensis as it writes them (!finalize and
# !uninstfinalize run scripts/sign.sh). OUT_DIR defaults to BUILD_DIR/packages.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

sign=()
while [ $# -gt 0 ]; do
  case "$1" in
    --cert|--key|--keep) sign+=("$1" "$(realpath -m "$2")"); shift 2 ;;
    *) break ;;
  esac
done
build=${1:?usage: $0 [--cert C --key K [--keep DIR]] BUILD_DIR [OUT_DIR]}
out=${2:-$build/packages}

define=()
if [ ${#sign[@]} -gt 0 ]; then
  "$ROOT/scripts/sign.sh" "${sign[@]}" "$build/Tavrin.exe" "$build/Extension.dll"
  # makensis runs this with the file to sign in place of %1.
  define=(-D "CPACK_TAVRIN_SIGN=$ROOT/scripts/sign.sh ${sign[*]}")
fi
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" "${define[@]}"
