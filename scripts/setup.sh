#!/usr/bin/env bash
# Installs the Debian packages that building and testing Tavrin needs.
# Idempotent: installs only what is missing. Runs as root, or through sudo.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  # llvm-rc: the resource scripts checked against the resource compiler's grammar.
  llvm-14
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xdotool
  # X libraries that Wine's display driver loads at run time; Debian lists
  # them only as recommendations, which are not installed here.
  libxi6 libxrandr2 libxrender1 libxcursor1 libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1
  python3 python3-pytest
  iproute2 util-linux imagemagick
  # Drops a test phone's packets inside the test namespace (a phone that vanishes).
  nftables
  # makensis, for the Windows installer that cpack builds; Authenticode
  # signing (optional for a release, checked with a throwaway certificate).
  nsis osslsigncode openssl
  # The Linux edge (linux/): X11 with XTest, Qt 6 (Widgets and D-Bus); its
  # headless tests run an X server of their own with a window manager,
  # private D-Bus buses with stand-ins for logind and the notification
  # daemon, and an X client that records what arrives.
  libx11-dev libxtst-dev qt6-base-dev
  # cpack's Debian package finds the libraries it needs with dpkg-shlibdeps.
  dpkg-dev file
  openbox x11-utils dbus dbus-daemon python3-dbusmock python3-xlib
)

say() { printf '[setup] %s\n' "$*"; }
die() { printf '[setup] ERROR: %s\n' "$*" >&2; exit 1; }

if [ -r /etc/os-release ]; then
  . /etc/os-release
  if [ "${ID:-}" != debian ] || [ "${VERSION_ID:-}" != 12 ]; then
    say "warning: made for Debian 12, this is ${PRETTY_NAME:-unknown}; trying anyway"
  fi
fi

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  say "all ${#PACKAGES[@]} packages present"
else
  say "installing: ${missing[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
  elif command -v sudo >/dev/null; then
    SUDO=(sudo)
  else
    die "not root and no sudo: install these packages by hand: ${missing[*]}"
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${SUDO[@]}" apt-get update -q || die "apt-get update failed"
  "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" \
    || die "apt-get install failed for: ${missing[*]}"
fi

# Debian ships several mingw-w64 threading flavours; the build uses the posix
# one (std::thread, std::mutex) whatever the alternatives point to.
command -v x86_64-w64-mingw32-g++-posix >/dev/null || die "x86_64-w64-mingw32-g++-posix not found"
command -v wine >/dev/null || die "wine not found after install"
[ -x /usr/bin/python3 ] || die "/usr/bin/python3 not found"
/usr/bin/python3 -c 'import pytest' 2>/dev/null || die "/usr/bin/python3 cannot import pytest"
unshare --help >/dev/null 2>&1 || die "unshare not usable"
say "done"
