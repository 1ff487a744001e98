#!/usr/bin/env bash
# The first quarter turn of a photo, whole processes side by side (best wall time of RUNS,
# taken in turns so that both see the same machine):
#   jpegtran -copy all -rotate 90 -trim FILE
#   tarvo-trim --rotate 90 FILE OUT (the whole turned picture)
# then, from turn_bench, a quarter turn plus a 640 x 480 cut and a whole quarter turn once the
# picture is decoded, as the window does them, each against the jpegtran process.
# usage: bench/compare-turn.sh BUILD_DIR [FILE] [RUNS]
set -euo pipefail
. "$(dirname "$0")/compare-common.sh"

mcu_height=$(value mcu | cut -dx -f2)
# A quarter turn clockwise brings the bottom edge to the left: a partial MCU row there goes.
turned="0,0,$(( height / mcu_height * mcu_height )),$width"

best_jt=999999
best_tt=999999
for _ in $(seq "$runs"); do
  t=$(seconds jpegtran -copy all -rotate 90 -trim -outfile "$work/jt.jpg" "$file")
  best_jt=$(smaller "$t" "$best_jt")
  t=$(seconds "$build/bin/tarvo-trim" --rotate 90 "$file" "$work/t.jpg" "$turned")
  best_tt=$(smaller "$t" "$best_tt")
done
cmp -s <(djpeg -pnm "$work/jt.jpg") <(djpeg -pnm "$work/t.jpg") && same=yes || same=NO
best_jt_ms=$(awk -v s="$best_jt" 'BEGIN{print s*1000}')
read -r crop_ms whole_ms < <("$build/bin/turn_bench" "$file" "$runs" | awk '{print $2}' | paste -sd' ')

echo "file $file ($width x $height), best of $runs"
echo "jpegtran -copy all -rotate 90 -trim   ${best_jt}s"
echo "tarvo-trim --rotate 90                ${best_tt}s   ratio $(ratio "$best_tt" "$best_jt")   same pixels: $same"
echo "turn + 640x480 cut after decode       ${crop_ms}ms  ratio $(ratio "$crop_ms" "$best_jt_ms")"
echo "whole turn after decode               ${whole_ms}ms  ratio $(ratio "$whole_ms" "$best_jt_ms")"
