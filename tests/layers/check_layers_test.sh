#!/usr/bin/env bash
# The layer check on a small tree of its own: it must name an up-pointing
# include by file and line and fail, pass a tree without one, and only
# report in --report mode. A check that never matches would pass everything.
set -u
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/base" "$tree/input" "$tree/server"
printf '#pragma once\n' > "$tree/base/log.h"
printf '#include "base/log.h"\n#include <net/if.h>\n#include "input/keys.h"\n' > "$tree/input/keys.h"
printf '#include "input/keys.h"\n' > "$tree/server/loop.cpp"

expect() {  # description, wanted exit code, wanted text ('' for any), command...
  local what=$1 code=$2 text=$3
  shift 3
  out=$("$@" 2>&1)
  got=$?
  if [ "$got" -ne "$code" ] || [[ "$out" != *"$text"* ]]; then
    echo "FAILED: $what (exit $got, wanted $code; output: $out)"
    exit 1
  fi
}

expect "a clean tree passes" 0 "every include points down" "$check" --root "$tree"
printf '#pragma once\n  # include "server/loop.h"\n' > "$tree/base/log.h"
expect "an up-pointing include fails" 1 'base/log.h:2: includes "server/loop.h"' "$check" --root "$tree"
expect "report mode lists it and passes" 0 'base/log.h:2:' "$check" --root "$tree" --report
printf '#pragma once\n' > "$tree/base/log.h"
printf '#include "../base/log.h"\n' > "$tree/server/loop.cpp"
expect "an include that climbs with .. fails" 1 'server/loop.cpp:1: includes "../base/log.h", which climbs' \
  "$check" --root "$tree"
echo "ok"
