#!/usr/bin/env bash
# A second opinion on the metadata rewrites from an independent reader: exiftool must report each
# trim's size as the Exif image width and height, in both byte orders and both value types, and
# extract from each trim an MPF preview drawn again at the trim's aspect, or with --keep-thumbnails
# the source's own byte for byte; find nothing wrong in a cut or turn that the source did not
# have; and read a maker note and IPTC records as before.
# usage: ExifToolCheck.sh TARVO_TRIM SAMPLE.jpg SEED_FOLDER
set -euo pipefail
trim=$1 sample=$2 seeds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

check() {  # file rect expected-width expected-height
  "$trim" "$1" "$work/out.jpg" "$2"
  local size w h
  size=$(exiftool -s3 -n -ExifImageWidth -ExifImageHeight "$work/out.jpg" | paste -sd' ')
  read -r w h <<< "$size"
  if [ "$w" != "$3" ] || [ "$h" != "$4" ]; then
    echo "$1 $2: exiftool reads ${w}x${h}, expected $3x$4" >&2
    exit 1
  fi
  echo "$1 $2: ${w}x${h}"
}

check "$sample" 640x480+32+16 640 480
check "$sample" 0,0,1203,917 1203 917
# The seeds carry five steering bytes before the file.
tail -c +6 "$seeds/seed-exif-le-short" > "$work/le-short.jpg"
tail -c +6 "$seeds/seed-exif-be-long" > "$work/be-long.jpg"
check "$work/le-short.jpg" 17x9+16+16 17 9
check "$work/be-long.jpg" 0,0,20,30 20 30

tail -c +6 "$seeds/seed-420-mpf-preview" > "$work/mpf.jpg"
exiftool -b -PreviewImage "$work/mpf.jpg" > "$work/preview.jpg"
[ -s "$work/preview.jpg" ] || { echo "no MPF preview in the seed" >&2; exit 1; }
# Dropping the Exif segment in front of the MPF one moves the MP header the offsets count from.
for drop in "" --drop-exif; do
  "$trim" $drop --keep-thumbnails "$work/mpf.jpg" "$work/out.jpg" 20x10+16+16
  exiftool -b -PreviewImage "$work/out.jpg" > "$work/trim-preview.jpg"
  if ! cmp -s "$work/preview.jpg" "$work/trim-preview.jpg"; then
    echo "MPF $drop: exiftool extracts another preview from the trim" >&2
    exit 1
  fi
  echo "MPF $drop: preview kept"
  "$trim" $drop "$work/mpf.jpg" "$work/out.jpg" 20x10+16+16
  exiftool -b -PreviewImage "$work/out.jpg" > "$work/trim-preview.jpg"
  size=$(exiftool -s3 -ImageSize "$work/trim-preview.jpg")
  if [ "$size" != "16x8" ]; then  # the seed preview's longer side, 16
    echo "MPF $drop: exiftool reads a preview of ${size:-nothing}, expected 16x8" >&2
    exit 1
  fi
  echo "MPF $drop: preview drawn again, $size"
done

# exiftool's validation finds nothing wrong in a cut or turn that it did not find in the source:
# every thumbnail and preview keeps the tags that describe it.
warnings() { exiftool -validate -warning -a -s3 "$1" | grep -v 'Warnings\|^OK$' | sort -u; }
for seed in seed-camera-turned-with-maker seed-thumbnail-transverse-with-maker seed-420-mpf-preview \
            seed-exif-be-long seed-embedded-copies-le-with-maker \
            seed-embedded-copies-be-turned-with-maker; do
  tail -c +6 "$seeds/$seed" > "$work/source.jpg"
  warnings "$work/source.jpg" > "$work/source.txt"
  for turn in "" "--rotate 90" "--transverse"; do
    "$trim" $turn "$work/source.jpg" "$work/out.jpg" 8,8,24,24
    added=$(comm -13 "$work/source.txt" <(warnings "$work/out.jpg"))
    if [ -n "$added" ]; then
      echo "$seed $turn: exiftool warns of $added" >&2
      exit 1
    fi
  done
  echo "$seed: no new exiftool warnings"
done

# The copies of the picture in maker-note and Photoshop form are drawn again in a cut or turn
# without touching the maker note's tags or the IPTC records.
for seed in seed-embedded-copies-le-with-maker seed-embedded-copies-be-turned-with-maker; do
  tail -c +6 "$seeds/$seed" > "$work/copies.jpg"
  # PreviewImageStart is told as an offset in the file, which moves with the segments before.
  tags=(-Nikon:all -PreviewImageLength -IPTC:all)
  for turn in "" "--rotate 90"; do
    # A rectangle that lies inside the picture turned or not.
    "$trim" $turn "$work/copies.jpg" "$work/out.jpg" 16,16,96,96
    if ! cmp -s <(exiftool -s "${tags[@]}" "$work/copies.jpg") \
      <(exiftool -s "${tags[@]}" "$work/out.jpg"); then
      echo "$seed $turn: maker-note or IPTC tags read otherwise after the cut" >&2
      exit 1
    fi
  done
  echo "$seed: maker note and IPTC as before"
done
