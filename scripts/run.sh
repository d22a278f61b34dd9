#!/usr/bin/env bash
# Builds Tavrin.exe and shows it at work, on a fresh Debian 12 machine:
# installs the packages, cross-builds the program with mingw-w64, then, inside
# a private network namespace, starts it under Wine on a private X display,
# connects a simulated phone, prints the greeting and, for every message the
# phone sends, the input the desktop saw, and stops the program.
#
#   scripts/run.sh                    the tour: moves, clicks, wheel, keys, text
#   scripts/run.sh "mos m 5 -3" MUTE  your own items (as tools/quillo_sim.py)
#   scripts/run.sh --linux [ITEMS]    the same with tavrin, the X11 build: on a
#                                     private Xvfb with openbox and private
#                                     D-Bus buses (stand-ins for logind and
#                                     the notification daemon)
#   scripts/run.sh --no-setup ...     skip the package check
#   scripts/run.sh --lan              serve the real network (read below)
#
# --lan starts Tavrin.exe in YOUR network namespace and on YOUR X display,
# for a phone on your LAN: it then broadcasts UDP datagrams with the
# computer's name to every local network once a second, and anyone who can
# reach TCP port 1978 can type and click in the Wine desktop, with no
# password. Use it only on your own machine and your own network, never on
# a shared machine or in CI. It runs until Ctrl-C.
#
# Environment: TAVRIN_BUILD_ROOT (default build/) holds the windows build
# (e2e-win), the native build (native, for --linux), the Wine prefix and the
# logs (run-logs).
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT" || exit 1
BUILD_ROOT=${TAVRIN_BUILD_ROOT:-$ROOT/build}
export TAVRIN_WIN_BUILD=${TAVRIN_WIN_BUILD:-$BUILD_ROOT/e2e-win}
export TAVRIN_WINEPREFIX=${TAVRIN_WINEPREFIX:-$BUILD_ROOT/wineprefix}
LOGS=$BUILD_ROOT/run-logs
mkdir -p "$BUILD_ROOT"

say() { printf '[run] %s\n' "$*"; }
die() { printf '[run] ERROR: %s\n' "$*" >&2; exit 1; }

setup=1
lan=0
linux=0
items=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-setup) setup=0 ;;
    --lan) lan=1 ;;
    --linux) linux=1 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    --) shift; items+=("$@"); break ;;
    *) items+=("$1") ;;
  esac
  shift
done

if [ "$lan" = 1 ]; then
  cat >&2 <<'EOF'

  ###################################################################
  #  WARNING: --lan runs Tavrin.exe on your real network.            #
  #  It broadcasts UDP to every local network once a second, and     #
  #  anyone who reaches TCP port 1978 controls mouse and keyboard     #
  #  of the Wine desktop, without a password.                         #
  #  Only on your own machine, on your own network. Never in CI.      #
  ###################################################################

EOF
  [ -z "${CI:-}" ] || die "--lan refuses to run in CI"
  [ -n "${DISPLAY:-}" ] || die "--lan needs your X display (DISPLAY is not set)"
  [ -t 0 ] || die "--lan needs a terminal to confirm"
  read -r -p "Type 'serve' to go on: " answer
  [ "$answer" = serve ] || die "not confirmed"
fi


if [ "$setup" = 1 ]; then
  say "checking Debian packages (scripts/setup.sh)"
  "$ROOT/scripts/setup.sh" || die "package set-up failed"
fi

if [ "$linux" = 1 ]; then
  [ "$lan" = 0 ] || die "--lan serves with Tavrin.exe only"
  NATIVE=$BUILD_ROOT/native
  say "building tavrin (X11) in $NATIVE"
  cmake --preset native -B "$NATIVE" >"$BUILD_ROOT/run-configure.log" 2>&1 \
    || { cat "$BUILD_ROOT/run-configure.log"; die "cmake configure failed"; }
  cmake --build "$NATIVE" -j "${TAVRIN_JOBS:-2}" --target tavrin || die "native build of tavrin failed"
  say "starting tavrin in a private network namespace"
  TAVRIN_LINUX_BUILD=$NATIVE "$ROOT/scripts/in-netns.sh" --veth --own-x-sockets -- \
    /usr/bin/python3 "$ROOT/tools/tavrin_demo.py" --linux --logs "$LOGS" "${items[@]}" \
    || die "the run failed; logs are in $LOGS"
  say "done; logs are in $LOGS"
  exit 0
fi

say "building Tavrin.exe with mingw-w64 in $TAVRIN_WIN_BUILD"
cmake --preset windows -B "$TAVRIN_WIN_BUILD" >"$BUILD_ROOT/run-configure.log" 2>&1 \
  || { cat "$BUILD_ROOT/run-configure.log"; die "cmake configure failed"; }
cmake --build "$TAVRIN_WIN_BUILD" -j "${TAVRIN_JOBS:-2}" || die "windows build failed"
[ -f "$TAVRIN_WIN_BUILD/Tavrin.exe" ] || die "the build made no Tavrin.exe"

if [ "$lan" = 1 ]; then
  say "starting Tavrin.exe on your network and display; Ctrl-C stops it"
  exec /usr/bin/python3 "$ROOT/tools/tavrin_demo.py" --serve-lan --logs "$LOGS"
fi

say "starting Tavrin.exe under Wine in a private network namespace"
"$ROOT/scripts/in-netns.sh" --veth -- /usr/bin/python3 "$ROOT/tools/tavrin_demo.py" --logs "$LOGS" "${items[@]}" \
  || die "the run failed; logs are in $LOGS"
say "done; logs are in $LOGS"
