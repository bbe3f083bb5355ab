#!/bin/sh
# Two clean builds give byte-identical release files: rebuilds the i686
# deliverables from a copy of the sources at another path and compares.
# Usage: reproducible.sh SOURCE_DIR DIST_DIR
set -e
src=$1
dist=$2
ls "$dist"/* >/dev/null 2>&1 || { echo "nothing to compare in $dist yet"; exit 77; }
work=$(mktemp -d /tmp/orvalis-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/copy"
(cd "$src" && tar --exclude=./build --exclude=./dist --exclude=./.git -cf - .) | tar -xf - -C "$work/copy"
cmake -S "$work/copy" -B "$work/build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$work/copy/cmake/toolchain-i686.cmake" \
    -DORVALIS_DIST_DIR="$work/dist" >/dev/null
cmake --build "$work/build" -j 2 >/dev/null
status=0
compared=0
for file in "$dist"/*; do
    name=$(basename "$file")
    compared=$((compared + 1))
    if cmp -s "$file" "$work/dist/$name"; then
        echo "identical: $name ($(stat -c %s "$file") bytes)"
    else
        echo "FAIL differs: $name"
        status=1
    fi
done
[ "$compared" -gt 0 ] || { echo "nothing to compare in $dist yet"; exit 77; }
exit $status
