#!/bin/sh
# Builds every source twice, each tree with its tests and fixtures:
#   build/x86 -> dist/x86: i686, the release files we ship;
#   build/x64 -> dist/x64: the same sources for x86_64.
# The release checks of both trees read dist/x86.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/deps.sh"
jobs=$(nproc 2>/dev/null || echo 2)
for arch in x86 x64; do
    case $arch in
        x86) toolchain=i686 ;;
        x64) toolchain=x86_64 ;;
    esac
    cmake -S "$root" -B "$root/build/$arch" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$toolchain.cmake" \
        -DORVALIS_DIST_DIR="$root/dist/$arch" \
        -DORVALIS_RELEASE_DIR="$root/dist/x86" \
        -DORVALIS_TESTS=ON >/dev/null
    cmake --build "$root/build/$arch" -j "$jobs"
done
# One suite: CTest in build/ runs the tests of both trees.
printf 'subdirs("x86" "x64")\n' >"$root/build/CTestTestfile.cmake"
