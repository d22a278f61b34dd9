#!/usr/bin/env bash
# Runs a command in a private network namespace (and UTS namespace), so that
# whatever it starts sees only its own loopback and, with --veth, a veth pair
# that exists nowhere else. Tavrin broadcasts UDP once a second: this is how it
# is run on development and CI machines.
#
#   scripts/in-netns.sh [--veth] [--hostname NAME] [--own-x-sockets] [--] COMMAND [ARGS...]
#
#   --veth           create v0 10.77.0.1/24 <-> v1 10.77.0.2/24 inside the
#                    namespace, with a host route for 255.255.255.255 via v0
#   --hostname NAME  set the namespace's host name (Wine derives the computer
#                    name from it)
#   --own-x-sockets  give the namespace a /tmp/.X11-unix of its own (a tmpfs
#                    in a mount namespace): an X client that takes the socket
#                    file (python-xlib does) would otherwise meet the X
#                    server of another namespace with the same display number
set -euo pipefail

die() { printf '[in-netns] ERROR: %s\n' "$*" >&2; exit 1; }

if [ "${1:-}" != "--inside-namespace" ]; then
  [ $# -gt 0 ] || die "usage: $0 [--veth] [--hostname NAME] [--] COMMAND [ARGS...]"
  if [ "$(id -u)" -ne 0 ]; then
    die "needs root to create a network namespace (run with sudo)"
  fi
  # Remembered so that the inside (and the test session) can prove it left it;
  # /proc/1/ns/net is not readable on every machine.
  TAVRIN_HOST_NETNS=$(readlink /proc/self/ns/net) || die "cannot read this process's network namespace"
  export TAVRIN_HOST_NETNS
  namespaces=(--net --uts)
  for arg in "$@"; do
    case "$arg" in
      --own-x-sockets) namespaces+=(--mount) ;;
      --) break ;;
    esac
  done
  exec unshare "${namespaces[@]}" -- "$0" --inside-namespace "$@"
fi
shift

veth=0
hostname_wanted=
own_x_sockets=0
while [ $# -gt 0 ]; do
  case "$1" in
    --veth) veth=1; shift ;;
    --own-x-sockets) own_x_sockets=1; shift ;;
    --hostname) hostname_wanted="$2"; shift 2 ;;
    --) shift; break ;;
    -*) die "unknown option $1" ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || die "no command given"

# Never go on in the host's namespace, whatever happened above.
own=$(readlink /proc/self/ns/net) || die "cannot read this process's network namespace"
if [ -z "${TAVRIN_HOST_NETNS:-}" ] || [ "$own" = "$TAVRIN_HOST_NETNS" ]; then
  die "still in the host network namespace; refusing to go on"
fi
if init=$(readlink /proc/1/ns/net 2>/dev/null) && [ "$own" = "$init" ]; then
  die "in the network namespace of process 1; refusing to go on"
fi

ip link set lo up || die "cannot bring lo up"
if [ "$veth" = 1 ]; then
  ip link add v0 type veth peer name v1 || die "cannot create the veth pair"
  ip addr add 10.77.0.1/24 dev v0
  ip addr add 10.77.0.2/24 dev v1
  ip link set v0 up
  ip link set v1 up
  # A host route, not a default route: with a default route wineboot waits on DNS.
  ip route add 255.255.255.255/32 dev v0
fi
if [ "$own_x_sockets" = 1 ]; then
  mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix || die "cannot mount a tmpfs on /tmp/.X11-unix"
fi
if [ -n "$hostname_wanted" ]; then
  hostname "$hostname_wanted" || die "cannot set host name"
fi

export TAVRIN_NETNS=1
exec "$@"
