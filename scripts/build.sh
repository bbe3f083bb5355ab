#!/bin/sh
# Builds every source twice: i686 (the release files, dist/x86) and x86_64
# (the files the tests run under wine64, dist/x64, with tests and fixtures).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/deps.sh"
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S "$root" -B "$root/build/x86" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686.cmake" \
    -DORVALIS_DIST_DIR="$root/dist/x86" >/dev/null
cmake --build "$root/build/x86" -j "$jobs"

cmake -S "$root" -B "$root/build/x64" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64.cmake" \
    -DORVALIS_DIST_DIR="$root/dist/x64" \
    -DORVALIS_RELEASE_DIR="$root/dist/x86" \
    -DORVALIS_TESTS=ON >/dev/null
cmake --build "$root/build/x64" -j "$jobs"
