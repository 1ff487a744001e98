#!/usr/bin/env bash
# Installs the build into a scratch root and checks it as a desktop and man would read it.
# usage: InstalledTreeCheck.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
id=jp.quillmoor.tarvo
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr > /dev/null
share=$root/usr/share

fail() {
  echo "$*" >&2
  exit 1
}

desktop-file-validate "$share/applications/$id.desktop"
metainfo=$share/metainfo/$id.metainfo.xml
# The tree check also finds the desktop entry the metainfo names as its launchable.
appstreamcli validate-tree --no-net --pedantic "$root/usr"
grep -q "<release version=\"$version\"" "$metainfo" || fail "no release notes for $version"
# The screenshot the software centre shows is a file of this repository.
screenshot=$(sed -n 's|.*<image>.*/raw/branch/main/\(.*\)</image>.*|\1|p' "$metainfo")
test -f "$source/$screenshot" || fail "screenshot '$screenshot' is not in the repository"

test -f "$share/icons/hicolor/scalable/apps/$id.svg" || fail "no scalable icon"
for size in 48 128 256; do
  png=$share/icons/hicolor/${size}x$size/apps/$id.png
  [[ $(file -b "$png") == "PNG image data, $size x $size,"* ]] || fail "$png: $(file -b "$png")"
done

for page in tarvo tarvo-trim; do
  source_text=$(zcat "$share/man/man1/$page.1.gz")
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1 <<< "$source_text")
  [ -z "$warnings" ] || fail "$page.1: $warnings"
  shown=$(MANWIDTH=80 man -l "$share/man/man1/$page.1.gz")
  [[ $shown == *"$page - "* && $shown == *"tarvo $version"* ]] ||
    fail "$page.1 lacks its name line or version $version"
done
# Every option tarvo-trim knows is in its manual page, where a hyphen is written \-.
page=$(zcat "$share/man/man1/tarvo-trim.1.gz")
for option in $("$root/usr/bin/tarvo-trim" --help | grep -o -- '--[a-z-]*' | sort -u); do
  [[ $page == *"${option//-/\\-}"* ]] || fail "tarvo-trim.1 lacks $option"
done
test -f "$share/tarvo/readme.txt" || fail "no readme"
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/' \
  "$share/doc/tarvo/copyright" || fail "no machine-readable copyright file"
# What users read says what the program does today: every kind of JPEG it takes, the PNG it
# gives the clipboard, and the question before unsaved trims are lost.
grep -q 'image/png' "$share/tarvo/readme.txt" || fail "readme says nothing of the PNG copy"
grep -q '画像をドロップするとき' "$share/tarvo/readme.txt" ||
  fail "readme asks about unsaved trims at exit only"
man_text=$(MANWIDTH=200 man -l "$share/man/man1/tarvo.1.gz")
for phrase in progressive CMYK PNG dropping; do
  [[ $man_text == *"$phrase"* ]] || fail "tarvo.1 lacks '$phrase'"
done
