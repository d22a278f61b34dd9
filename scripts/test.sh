#!/usr/bin/env bash
# Runs every test of Tavrin on a fresh Debian 12 machine:
#
#   setup     installs the Debian packages (scripts/setup.sh)
#   native    the layer check (scripts/check-layers.sh: no include may point
#             up a layer), then the native build, unit and server tests (ctest)
#   linux     tavrin, the X11 program the native build makes, on a private
#             Xvfb desktop with private D-Bus buses (pytest tests/e2e-linux)
#   asan      the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan      the same under ThreadSanitizer (the worker and the main thread
#             share a server)
#   windows   mingw-w64 cross build: Tavrin.exe, Extension.dll, test helpers,
#             and the packages (cpack: ZIP and NSIS installer)
#   fuzz      every libFuzzer target for 30 s (when fuzz/ has targets)
#   e2e       Tavrin.exe under Wine on Xvfb (pytest tests/e2e)
#
#   scripts/test.sh              everything, in this order
#   scripts/test.sh native e2e   only the stages named (setup still runs)
#   scripts/test.sh --no-setup windows e2e
#
# Every test that opens a socket runs in a private network namespace
# (scripts/in-netns.sh), because Tavrin broadcasts UDP.
#
# Environment: TAVRIN_BUILD_ROOT (default build/) holds the build folders
# native, native-asan, native-tsan, fuzz, e2e-win, the Wine prefix and the
# test logs;
# TAVRIN_FUZZ_SECONDS (default 30) is the time per fuzz target.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
BUILD_ROOT=${TAVRIN_BUILD_ROOT:-$ROOT/build}
FUZZ_SECONDS=${TAVRIN_FUZZ_SECONDS:-30}
JOBS=${TAVRIN_JOBS:-2}
export TAVRIN_WIN_BUILD=${TAVRIN_WIN_BUILD:-$BUILD_ROOT/e2e-win}
export TAVRIN_WINEPREFIX=${TAVRIN_WINEPREFIX:-$BUILD_ROOT/wineprefix}
export TAVRIN_E2E_LOGS=${TAVRIN_E2E_LOGS:-$BUILD_ROOT/e2e-logs}

ALL_STAGES=(native linux asan tsan windows fuzz e2e)
setup=1
stages=()
for arg in "$@"; do
  case "$arg" in
    --no-setup) setup=0 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    native|linux|asan|tsan|windows|fuzz|e2e) stages+=("$arg") ;;
    *) echo "[test] unknown argument: $arg (see --help)" >&2; exit 2 ;;
  esac
done
[ ${#stages[@]} -gt 0 ] || stages=("${ALL_STAGES[@]}")

START=$(date +%s)
SUMMARY=()
CURRENT=

say() { printf '\n[test] %s\n' "$*"; }
fail() {
  printf '\n[test] FAILED in stage %s: %s\n' "${CURRENT:-?}" "$*" >&2
  summary
  exit 1
}
summary() {
  [ ${#SUMMARY[@]} -gt 0 ] && printf '[test] %s\n' "${SUMMARY[@]}"
  printf '[test] total %ss\n' "$(( $(date +%s) - START ))"
}
stage() {
  CURRENT=$1
  STAGE_START=$(date +%s)
  say "=== $1: $2 ($(date -u +%H:%M:%S) UTC)"
}
done_stage() {
  SUMMARY+=("$(printf '%-8s ok  %4ss  %s' "$CURRENT" "$(( $(date +%s) - STAGE_START ))" "${1:-}")")
}
in_netns() { "$ROOT/scripts/in-netns.sh" --veth -- "$@"; }

configure_and_build() {  # preset folder [cmake -D...]
  local preset=$1 folder=$2
  shift 2
  cmake --preset "$preset" -B "$folder" "$@" || fail "cmake configure of preset $preset in $folder"
  cmake --build "$folder" -j "$JOBS" || fail "build of preset $preset in $folder"
}

run_ctest() {  # folder
  in_netns ctest --test-dir "$1" --output-on-failure -j "$JOBS" --timeout 300 \
    || fail "ctest in $1 (see the output above)"
}

if [ "$setup" = 1 ]; then
  stage setup "Debian packages"
  "$ROOT/scripts/setup.sh" || fail "scripts/setup.sh"
  done_stage
fi

for s in "${stages[@]}"; do
  case "$s" in
    native)
      stage native "native build, unit and server tests"
      "$ROOT/scripts/check-layers.sh" || fail "an include points up a layer (scripts/check-layers.sh, above)"
      # The resource scripts in the grammar of Microsoft's resource compiler
      # (stricter than windres, which the cross build uses).
      mkdir -p "$BUILD_ROOT"
      for rc in app/Tavrin.rc extension/Extension.rc; do
        llvm-rc-14 -C 65001 -I "$(dirname "$rc")" -I "$ROOT" -I /usr/share/mingw-w64/include -FO "$BUILD_ROOT/rc-check.res" "$rc" \
          || fail "$rc does not compile with llvm-rc (Microsoft's resource compiler grammar)"
      done
      configure_and_build native "$BUILD_ROOT/native"
      run_ctest "$BUILD_ROOT/native"
      done_stage
      ;;
    linux)
      stage linux "tavrin (X11) on a private desktop, in a private network namespace"
      [ -x "$BUILD_ROOT/native/tavrin" ] \
        || fail "no $BUILD_ROOT/native/tavrin: run the native stage first (it builds tavrin when the X development files are there)"
      # The Debian package: the program, its menu entry and icon, the
      # libraries it needs as dependencies.
      rm -rf "$BUILD_ROOT/native/packages"
      cpack --config "$BUILD_ROOT/native/CPackConfig.cmake" -B "$BUILD_ROOT/native/packages" >"$BUILD_ROOT/native/cpack.log" 2>&1 \
        || fail "cpack of the Debian package (see $BUILD_ROOT/native/cpack.log)"
      deb=$(ls "$BUILD_ROOT/native/packages/"tavrin_*_amd64.deb) || fail "cpack made no tavrin .deb"
      contents=$(dpkg-deb -c "$deb") || fail "dpkg-deb cannot list $deb"
      for file in ./usr/bin/tavrin ./usr/share/applications/tavrin.desktop ./usr/share/icons/hicolor/scalable/apps/tavrin.svg; do
        [[ "$contents" == *" $file"$'\n'* || "$contents" == *" $file" ]] || fail "$deb holds no $file"
      done
      depends=$(dpkg-deb -f "$deb" Depends)
      for package in libxtst6 libqt6widgets6 qt6-qpa-plugins; do
        [[ "$depends" == *"$package"* ]] || fail "$deb does not depend on $package"
      done
      TAVRIN_LINUX_BUILD="$BUILD_ROOT/native" "$ROOT/scripts/in-netns.sh" --veth --own-x-sockets -- \
        /usr/bin/python3 -m pytest tests/e2e-linux -q -rfE -p no:cacheprovider

      code=$?
      [ $code -ne 5 ] || fail "pytest found no Linux end-to-end tests"
      [ $code -eq 0 ] || fail "Linux end-to-end tests (pytest exit $code; logs in $TAVRIN_E2E_LOGS/linux)"
      done_stage "$deb; logs in $TAVRIN_E2E_LOGS/linux"
      ;;
    asan)
      stage asan "unit and server tests under ASan and UBSan"
      configure_and_build native-asan "$BUILD_ROOT/native-asan"
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_ctest "$BUILD_ROOT/native-asan"
      done_stage
      ;;
    tsan)
      stage tsan "unit and server tests under ThreadSanitizer"
      configure_and_build native-tsan "$BUILD_ROOT/native-tsan"
      # Any report not suppressed ends the test with an error.
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
        run_ctest "$BUILD_ROOT/native-tsan"
      done_stage
      ;;
    windows)
      stage windows "mingw-w64 cross build"
      configure_and_build windows "$TAVRIN_WIN_BUILD"
      for product in Tavrin.exe Extension.dll e2e/observer.exe e2e/launch.exe e2e/postmsg.exe; do
        [ -f "$TAVRIN_WIN_BUILD/$product" ] || fail "the windows build made no $product"
      done
      # The ZIP and the installer, which the e2e stage installs under Wine.
      "$ROOT/scripts/package.sh" "$TAVRIN_WIN_BUILD" \
        || fail "cpack (ZIP and NSIS installer) in $TAVRIN_WIN_BUILD/packages"
      # The optional signing step, with a throwaway self-signed certificate:
      # every program a user runs carries a signature that verifies. (The
      # programs in the build folder stay signed; they run the same.)
      signing="$TAVRIN_WIN_BUILD/signing-check"
      rm -rf "$signing" && mkdir -p "$signing"
      openssl req -x509 -newkey rsa:2048 -nodes -keyout "$signing/key.pem" -out "$signing/cert.pem" -days 2 \
        -subj "/CN=Tavrin test signing" 2>/dev/null || fail "openssl could not make a test certificate"
      "$ROOT/scripts/package.sh" --cert "$signing/cert.pem" --key "$signing/key.pem" --keep "$signing/signed" \
        "$TAVRIN_WIN_BUILD" "$signing/packages" >"$signing/package.log" 2>&1 \
        || fail "signed packages (see $signing/package.log)"
      # Kept as they were signed: the program, the library, the uninstaller
      # (under makensis's temporary name) and the installer.
      kept=("$signing/signed/"*)
      [ ${#kept[@]} -eq 4 ] || fail "expected 4 signed files, found: ${kept[*]##*/} (see $signing/package.log)"
      for signed in "${kept[@]}" "$signing/packages/"*.exe; do
        osslsigncode verify -CAfile "$signing/cert.pem" -in "$signed" >"$signing/verify.log" 2>&1 \
          || fail "the signature of $signed does not verify (see $signing/verify.log)"
      done
      done_stage "$TAVRIN_WIN_BUILD/Tavrin.exe"
      ;;
    fuzz)
      stage fuzz "libFuzzer smoke run, ${FUZZ_SECONDS}s per target"
      if ! compgen -G "fuzz/*.cpp" >/dev/null; then
        SUMMARY+=("fuzz     --          no fuzz targets yet")
        continue
      fi
      configure_and_build fuzz "$BUILD_ROOT/fuzz"
      mapfile -t targets < <(find "$BUILD_ROOT/fuzz/fuzz" -maxdepth 1 -type f -executable | sort)
      [ ${#targets[@]} -gt 0 ] || fail "fuzz/ declares targets but the build made none in $BUILD_ROOT/fuzz/fuzz"
      for target in "${targets[@]}"; do
        name=$(basename "$target")
        work=$(mktemp -d)
        corpus=()
        for candidate in "$ROOT/fuzz/corpus/$name" "$ROOT/fuzz/corpus/${name#fuzz_}" "$ROOT/fuzz/corpus/${name%_fuzzer}"; do
          if [ -d "$candidate" ]; then corpus=("$candidate"); break; fi
        done
        dict=()
        for candidate in "$ROOT/fuzz/$name.dict" "$ROOT/fuzz/protocol.dict"; do
          if [ -f "$candidate" ]; then dict=("-dict=$candidate"); break; fi
        done
        say "fuzzing $name for ${FUZZ_SECONDS}s (corpus: ${corpus[*]:-none})"
        # New inputs go to a scratch folder; the corpus in the repository is only read.
        artifacts="$BUILD_ROOT/fuzz-artifacts/$name/"
        mkdir -p "$artifacts"
        (cd "$work" && in_netns "$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 -print_final_stats=1 \
            -artifact_prefix="$artifacts" "${dict[@]}" "$work" "${corpus[@]}") \
          || { rm -rf "$work"; fail "fuzz target $name found a fault; the input is in $artifacts"; }
        rm -rf "$work"
      done
      done_stage "${#targets[@]} target(s)"
      ;;
    e2e)
      stage e2e "Tavrin.exe under Wine, in a private network namespace"
      [ -f "$TAVRIN_WIN_BUILD/Tavrin.exe" ] || fail "no $TAVRIN_WIN_BUILD/Tavrin.exe: run the windows stage first"
      # A host name longer than Windows allows, with a domain: the computer
      # name in the discovery datagrams is its first 15 letters, upper case.
      "$ROOT/scripts/in-netns.sh" --veth --hostname quillo-desk-machine.lan -- \
        /usr/bin/python3 -m pytest tests/e2e -q -rfE -p no:cacheprovider
      code=$?
      [ $code -ne 5 ] || fail "pytest found no end-to-end tests"
      [ $code -eq 0 ] || fail "end-to-end tests (pytest exit $code; logs in $TAVRIN_E2E_LOGS)"
      done_stage "logs in $TAVRIN_E2E_LOGS"
      ;;
  esac
done

CURRENT=
say "=== all stages passed"
summary
