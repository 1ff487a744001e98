#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its name, computed dependencies and contents.
# usage: DebianPackageCheck.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
id=jp.quillmoor.tarvo
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" > "$out/cpack.log") || { cat "$out/cpack.log" >&2; exit 1; }
deb=$out/tarvo_${version}_$(dpkg --print-architecture).deb

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for package in libqt6widgets6 libqt6svg6 libjpeg62-turbo; do
  grep -q "$package" <<< "$depends" || { echo "Depends lacks $package" >&2; exit 1; }
done

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in usr/bin/tarvo usr/bin/tarvo-trim usr/share/tarvo/readme.txt \
    usr/share/applications/$id.desktop usr/share/metainfo/$id.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/icons/hicolor/48x48/apps/$id.png \
    usr/share/icons/hicolor/128x128/apps/$id.png usr/share/icons/hicolor/256x256/apps/$id.png \
    usr/share/man/man1/tarvo.1.gz usr/share/man/man1/tarvo-trim.1.gz \
    usr/share/doc/tarvo/copyright; do
  grep -qx "./$path" <<< "$contents" || { echo "$path is not in the package" >&2; exit 1; }
done
description=$(dpkg-deb -f "$deb" Description)
for phrase in progressive CMYK PNG; do
  grep -q "$phrase" <<< "$description" || { echo "Description lacks $phrase" >&2; exit 1; }
done
