#!/usr/bin/env bash
# cvconf set of one value on a 1,000,000-line corvane.conf against sed -i of
# the same change. Every round starts from a fresh copy of the file (not
# timed); both must leave the same bytes. Prints the medians as a table row.
#
# Usage: bench/bench_cvconf.sh [BUILD_DIR [ROUNDS]]   (BUILD_DIR: build)
set -euo pipefail
build=${1:-build}
rounds=${2:-5}
cvconf=$build/cli/cvconf
dir=$build/bench-tmp/cvconf
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT

"$(dirname "$0")/generate_conf.sh" >"$dir/original.conf"

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
: >"$dir/cvconf.times"
: >"$dir/sed.times"
for ((round = 0; round <= rounds; round++)); do
  cp "$dir/original.conf" "$dir/cvconf.conf"
  cp "$dir/original.conf" "$dir/sed.conf"
  start=$(now)
  "$cvconf" --file "$dir/cvconf.conf" set DefaultDbCachePages=4096
  middle=$(now)
  sed -i 's/^DefaultDbCachePages=.*/DefaultDbCachePages=4096/' "$dir/sed.conf"
  end=$(now)
  cmp -s "$dir/cvconf.conf" "$dir/sed.conf" || { echo "cvconf and sed made different files" >&2; exit 1; }
  if ((round > 0)); then  # the first round warms the caches
    echo $((middle - start)) >>"$dir/cvconf.times"
    echo $((end - middle)) >>"$dir/sed.times"
  fi
done
ours=$(median <"$dir/cvconf.times")
theirs=$(median <"$dir/sed.times")
printf '%s lines, %s bytes; median of %s rounds\n' "$(wc -l <"$dir/original.conf")" "$(wc -c <"$dir/original.conf")" "$rounds"
awk -v ours="$ours" -v theirs="$theirs" 'BEGIN {
  printf "| cvconf set DefaultDbCachePages=4096 | %.1f ms | sed -i | %.1f ms | %.2f |\n", ours / 1e6, theirs / 1e6, ours / theirs
}'
