#!/usr/bin/env bash
# Checks that every project include points down the layers, never up: a file
# in a layer may include from its own folder and from the folders the table
# below allows it, nothing else. An up-pointing include is how a layer comes
# to depend on everything above it.
#
#   scripts/check-layers.sh            exit 1, naming file:line, on any
#                                      wrong-way include
#   scripts/check-layers.sh --report   list them and exit 0 (while the tree
#                                      is still moving into its layers)
#   scripts/check-layers.sh --root DIR check another tree
#
# Only quoted includes whose first folder is a layer in the table are
# judged ("input/keyboard.h"); system headers and files outside the layers
# (tests, benchmarks, fuzzers) are not. An include that climbs with ".."
# ("../shell/port_notice.h") is always wrong in a layer: it names another
# layer without saying so, and the build's own check cannot see it.
set -uo pipefail

# ==== LAYERS ===============================================================
# Bottom to top: folder -> folders its files may include from. "*" means
# every layer.
declare -A ALLOWED=(
  [base]=""
  [seams]="base"
  [wire]="base"
  [input]="base seams"
  [actions]="base seams wire input"
  [shell]="base seams"
  [server]="base seams wire input actions shell"
  [app]="*"
  [linux]="*"
  [extension]="*"
)
# ==== end of LAYERS ========================================================

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
report=0
while [ $# -gt 0 ]; do
  case "$1" in
    --report) report=1; shift ;;
    --root) ROOT=$(cd "$2" && pwd) || exit 2; shift 2 ;;
    -h|--help) awk 'NR > 1 && !/^#/ { exit } NR > 1' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "check-layers: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
done
cd "$ROOT" || exit 2

allows() {  # from to
  local allowed=" ${ALLOWED[$1]} "
  [ "$1" = "$2" ] || [ "$allowed" = " * " ] || [[ "$allowed" == *" $2 "* ]]
}

wrong=0
for layer in $(printf '%s\n' "${!ALLOWED[@]}" | sort); do
  [ -d "$layer" ] || continue
  # file:line:text of every quoted include in the layer's sources.
  while IFS= read -r hit; do
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    if [[ "${rest#*:}" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]*)\" ]] && [[ "/${BASH_REMATCH[1]}/" == */../* ]]; then
      wrong=$((wrong + 1))
      echo "$file:$line: includes \"${BASH_REMATCH[1]}\", which climbs out of its folder with ..; name the layer instead"
      continue
    fi
    [[ "${rest#*:}" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"(([^/\"]+)/[^\"]*)\" ]] || continue
    target=${BASH_REMATCH[1]}
    to=${BASH_REMATCH[2]}
    [ -n "${ALLOWED[$to]+set}" ] || continue  # not a layer
    allows "$layer" "$to" && continue
    wrong=$((wrong + 1))
    echo "$file:$line: includes \"$target\", but $layer/ may include only from: ${ALLOWED[$layer]:-(nothing else)}"
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.inc' \) -print0 \
             | sort -z | xargs -0 -r grep -nH '^[[:space:]]*#[[:space:]]*include[[:space:]]*"')
done

if [ "$wrong" -eq 0 ]; then
  echo "check-layers: every include points down the layers"
  exit 0
fi
if [ "$report" = 1 ]; then
  echo "check-layers: $wrong wrong-way include(s) (report only)"
  exit 0
fi
echo "check-layers: $wrong wrong-way include(s); move the code or the include down a layer" >&2
exit 1
