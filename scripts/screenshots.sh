#!/usr/bin/env bash
# Makes the pictures in docs/screenshots from the real program under Wine:
# the tray menu and its icon, the balloons, the about box, the Phones submenu
# and the prompt before a new phone.
#
#   scripts/screenshots.sh            at 96 DPI (100 %)
#   scripts/screenshots.sh --dpi 144  at 150 %: NAME-144dpi.png beside them
#
# Runs the end-to-end tests that take pictures, in a Wine prefix of its own
# with Wine's fonts (Debian's fonts-wine) and a CJK font (fonts-wqy-microhei,
# linked to Tahoma) installed, inside the private network namespace like
# every test. Needs the windows build (scripts/test.sh windows).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
for package in fonts-wine fonts-wqy-microhei; do
  dpkg -s "$package" >/dev/null 2>&1 || apt-get install -y -q --no-install-recommends "$package"
done
# Everything below, the prefix's first boot included, inside the private
# network namespace: Wine's server makes the program's sockets, so a server
# started outside would put its ports and broadcasts on the real network.
if [ -z "${TAVRIN_NETNS:-}" ]; then
  exec scripts/in-netns.sh --veth --hostname quillo-desk-machine.lan -- "$0" "$@"
fi
dpi=
[ "${1:-}" = "--dpi" ] && dpi=${2:?--dpi needs a number}
BUILD_ROOT=${TAVRIN_BUILD_ROOT:-$ROOT/build}
export TAVRIN_WIN_BUILD=${TAVRIN_WIN_BUILD:-$BUILD_ROOT/e2e-win}
export TAVRIN_WINEPREFIX=$BUILD_ROOT/screenshots-prefix${dpi:+-$dpi}
export TAVRIN_E2E_LOGS=$BUILD_ROOT/screenshots-logs
export TAVRIN_SCREENSHOTS=1
[ -n "$dpi" ] && export TAVRIN_DPI=$dpi

if [ ! -d "$TAVRIN_WINEPREFIX/drive_c/windows/Fonts" ]; then
  mkdir -p "$TAVRIN_WINEPREFIX"
  WINEPREFIX=$TAVRIN_WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i
fi
fonts=$TAVRIN_WINEPREFIX/drive_c/windows/Fonts
cp -f /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/"
WINEPREFIX=$TAVRIN_WINEPREFIX WINEDEBUG=-all wine reg add \
  'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v Tahoma /t REG_MULTI_SZ \
  /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null
# Let this server end before the tests boot the prefix with their own.
WINEPREFIX=$TAVRIN_WINEPREFIX wineserver -w

/usr/bin/python3 -m pytest -q -p no:cacheprovider \
  tests/e2e/test_shell.py tests/e2e/test_control.py \
  -k 'tray_icon_menu_and_about_box or balloon_click_opens_the_first or ask_holds or disconnect_from_the_menu'
echo "[screenshots] docs/screenshots/ (${dpi:-96} DPI)"
