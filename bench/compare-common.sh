# What the whole-process comparisons with jpegtran share, sourced by compare-*.sh with their
# arguments BUILD_DIR [FILE] [RUNS]: it sets build, file, runs, a scratch folder work, and the
# file's width and height.
build=${1:?usage: $(basename "$0") BUILD_DIR [FILE] [RUNS]}
file=${2:-}
runs=${3:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Without a FILE, the 24-megapixel photo that trim_bench writes, as cameras write it: with an
# Exif thumbnail, which every cut draws anew.
if [ -z "$file" ]; then
  file=/tmp/tarvo-bench-24mp-camera.jpg
  [ -f "$file" ] || "$build/bin/trim_bench" --runs=1 >/dev/null
fi

# The wall seconds of one run of a command, its output dropped; a nanosecond clock, as
# /usr/bin/time only has 10 ms steps. Each run starts with the disk quiet: a program that does
# not wait for the disk leaves its output to be written during whatever runs next, and a run
# that syncs would wait for those writes too.
seconds() {
  local start end
  sync
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v a="$start" -v b="$end" 'BEGIN{printf "%.4f", (b-a)/1e9}'
}

smaller() { awk -v a="$1" -v b="$2" 'BEGIN{print (a<b)?a:b}'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a/b}'; }

# FILE's geometry as tarvo-trim --info tells it: value KEY, and its width and height.
info=$("$build/bin/tarvo-trim" --info "$file")
value() { awk -F= -v k="$1" '$1==k{print $2}' <<<"$info"; }
width=$(value width)
height=$(value height)
