#!/usr/bin/env bash
# Whole-process comparison with jpegtran on one file: the best wall time and the peak memory of
#   jpegtran -copy all -crop 640x480+X+Y            (one crop)
#   tarvo-trim FILE OUT 640x480+X+Y                 (first trim)
#   tarvo-trim FILE OUT1 RECT OUT2 RECT ... (6 pairs) (first trim plus five further trims)
# usage: bench/compare-jpegtran.sh BUILD_DIR [FILE] [RUNS]
set -euo pipefail
. "$(dirname "$0")/compare-common.sh"

x=$(( (width - 640) / 2 / 16 * 16 ))
y=$(( (height - 480) / 2 / 16 * 16 ))
rect="640x480+$x+$y"

# best wall seconds and peak kilobytes
measure() {
  local best_time=999999 best_mem=0 t m
  for _ in $(seq "$runs"); do
    t=$(seconds /usr/bin/time -f "%M" -o "$work/time" "$@")
    read -r m < "$work/time"
    best_time=$(smaller "$t" "$best_time")
    best_mem=$m
  done
  echo "$best_time $best_mem"
}

read -r jt jm < <(measure jpegtran -copy all -crop "$rect" -outfile "$work/jt.jpg" "$file")
read -r tt tm < <(measure "$build/bin/tarvo-trim" "$file" "$work/t.jpg" "$rect")
pairs=()
for i in 1 2 3 4 5 6; do pairs+=("$work/t$i.jpg" "640x480+$(( i * 160 ))+$(( i * 96 ))"); done
read -r mt mm < <(measure "$build/bin/tarvo-trim" "$file" "${pairs[@]}")

echo "file $file ($width x $height), window $rect, best of $runs"
echo "jpegtran -copy all -crop      ${jt}s  ${jm} KB"
echo "tarvo-trim, one trim          ${tt}s  ${tm} KB   ratio $(ratio "$tt" "$jt")"
echo "tarvo-trim, six trims         ${mt}s  ${mm} KB   further trim each $(awk -v a="$mt" -v b="$tt" -v c="$jt" 'BEGIN{printf "%.3f", (a-b)/5/c}') of jpegtran"
echo "peak memory ratio             $(ratio "$tm" "$jm")"
