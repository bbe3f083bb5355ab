#!/bin/sh
# What packaging/build-product.sh refuses, as a packager meets it: a version
# Windows Installer would not take, a folder or file that is not there, and
# files or a player that are not 32-bit x86 ones. Each ends with one line
# that says which, a non-zero status, and no package. (The packages it does
# build are installed and used by the product tests.)
# Usage: packaging_test.sh ARCH DIST_DIR PLAYER_HOST
arch=$1 dist=$2 player=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/orvalis-packaging.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL $*"; failed=1; }

refused() { # refused WHAT EXPECTED-TEXT [ARGUMENT...]
    what=$1 expected=$2
    shift 2
    rm -rf "$work/out"
    env ORVALIS_PLAYER_HOST="$host" sh "$root/packaging/build-product.sh" "$@" \
        >"$work/out.log" 2>"$work/err.log"
    status=$?
    [ "$status" -ne 0 ] || fail "$what: build-product.sh succeeded"
    [ "$(wc -l <"$work/err.log")" -eq 1 ] && [ ! -s "$work/out.log" ] ||
        { cat "$work/out.log" "$work/err.log"; fail "$what: not one line of explanation"; }
    grep -q "$expected" "$work/err.log" || fail "$what: says \"$(cat "$work/err.log")\""
    [ -z "$(find "$work" -name '*.msi')" ] || fail "$what: left a package behind"
}

host=$player
if [ "$arch" = x86 ]; then
    for version in 3.2 3.2.0.0.1 3.2.x 256.0.0 3.2.65536; do
        refused "version $version" "VERSION" "$version" "$dist" "$work/out"
    done
    refused "no folder" "no folder $work/none" 3.2.0.0 "$work/none" "$work/out"
    mkdir "$work/files"
    cp "$dist/Tidewell.exe" "$dist/OrvalisOpen.exe" "$dist/harnfold.dll" "$work/files/"
    refused "a missing file" "OrvalisCheck.exe is missing" 3.2.0.0 "$work/files" "$work/out"
    # Text long enough that where a PE header's offset would be, its letters
    # point far past the end of the file.
    printf 'MZ: this is a page of text, saved under the name of a program.\n' \
        >"$work/files/OrvalisCheck.exe"
    refused "a file that is not a PE file" "OrvalisCheck.exe is not a 32-bit x86 file" \
        3.2.0.0 "$work/files" "$work/out"
    cp "$dist/OrvalisCheck.exe" "$work/files/"
    printf 'not a player\n' >"$work/player.dll"
    host=$work/player.dll
    refused "a player that is not a PE file" "player.dll is not a 32-bit x86 library" \
        3.2.0.0 "$work/files" "$work/out"
else
    # This tree's files and players are x64 ones.
    refused "x64 files" "Tidewell.exe is not a 32-bit x86 file" 3.2.0.0 "$dist" "$work/out"
fi

[ "$failed" -eq 0 ] && echo "packaging: every refusal checked"
exit $failed
