#!/usr/bin/env bash
# The first grey wipe of a photo, whole processes side by side (best wall time of RUNS, taken in
# turns so that both see the same machine):
#   jpegtran -copy all -wipe 640x480+X+Y FILE
#   tarvo-trim --wipe 640x480+X+Y FILE OUT WxH+0+0 (the whole picture)
# the region in the middle of the picture; tarvo-trim also with --no-sync, as jpegtran does not
# wait for the disk; then the same with tarvo-trim's flat and mosaic fills.
# usage: bench/compare-wipe.sh BUILD_DIR [FILE] [RUNS]
set -euo pipefail
. "$(dirname "$0")/compare-common.sh"

region="640x480+$(( width / 2 - 320 ))+$(( height / 2 - 240 ))"
whole="${width}x${height}+0+0"

best_jt=999999
best_grey=999999
best_nosync=999999
best_flat=999999
best_mosaic=999999
for _ in $(seq "$runs"); do
  t=$(seconds jpegtran -copy all -wipe "$region" -outfile "$work/jt.jpg" "$file")
  best_jt=$(smaller "$t" "$best_jt")
  t=$(seconds "$build/bin/tarvo-trim" --wipe "$region" "$file" "$work/t.jpg" "$whole")
  best_grey=$(smaller "$t" "$best_grey")
  t=$(seconds "$build/bin/tarvo-trim" --no-sync --wipe "$region" "$file" "$work/n.jpg" "$whole")
  best_nosync=$(smaller "$t" "$best_nosync")
  t=$(seconds "$build/bin/tarvo-trim" --wipe "$region:flat" "$file" "$work/f.jpg" "$whole")
  best_flat=$(smaller "$t" "$best_flat")
  t=$(seconds "$build/bin/tarvo-trim" --wipe "$region:mosaic" "$file" "$work/m.jpg" "$whole")
  best_mosaic=$(smaller "$t" "$best_mosaic")
done
cmp -s <(djpeg -pnm "$work/jt.jpg") <(djpeg -pnm "$work/t.jpg") && same=yes || same=NO

echo "file $file ($width x $height), region $region, best of $runs, load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "jpegtran -copy all -wipe        ${best_jt}s"
echo "tarvo-trim --wipe (grey)        ${best_grey}s   ratio $(ratio "$best_grey" "$best_jt")   same pixels: $same"
echo "tarvo-trim --no-sync --wipe     ${best_nosync}s   ratio $(ratio "$best_nosync" "$best_jt")"
echo "tarvo-trim --wipe :flat         ${best_flat}s   ratio $(ratio "$best_flat" "$best_jt")"
echo "tarvo-trim --wipe :mosaic       ${best_mosaic}s   ratio $(ratio "$best_mosaic" "$best_jt")"
