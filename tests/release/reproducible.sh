#!/bin/bash
# Two clean builds of the same sources in two different folders (sources and
# build folders both differ) must give byte-identical LunkoSetup.exe: no time
# stamps, no build paths, a fixed resource order, and a demo payload (its
# speech package made by wixl and stamped) that is the same each time.
#
#     reproducible.sh SOURCE_DIR WORK_DIR [cmake options...]
#
# The sources copied are the files git tracks, as they are in the work tree.
set -eu
src=$1
work=$2
shift 2
rm -rf "$work"
mkdir -p "$work"
for side in one two-other-path; do
    dir=$work/$side/src
    mkdir -p "$dir"
    git -C "$src" ls-files -z | tar -C "$src" --null -T - -cf - | tar -C "$dir" -xf -
    cmake -S "$dir" -B "$work/$side/build" -DBUILD_TESTING=OFF "$@" >"$work/$side.log" 2>&1 \
        || { cat "$work/$side.log"; exit 1; }
    cmake --build "$work/$side/build" --target installer -j2 >>"$work/$side.log" 2>&1 \
        || { tail -50 "$work/$side.log"; exit 1; }
done
a=$work/one/build/LunkoSetup.exe
b=$work/two-other-path/build/LunkoSetup.exe
msi=$work/one/build/speech/Sapi51forLunko.msi
if [ -f "$msi" ] && ! msiextract -l "$msi" | grep -q readme.txt; then
    echo "the stamped demo speech package is no longer a package msiextract reads"
    exit 1
fi
if cmp "$a" "$b"; then
    echo "reproducible: $(stat -c %s "$a") bytes, sha256 $(sha256sum < "$a" | cut -c1-64)"
    rm -rf "$work"
    exit 0
fi
echo "the two builds differ:"
cmp -l "$a" "$b" | head -20
exit 1
