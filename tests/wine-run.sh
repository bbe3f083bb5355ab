#!/bin/sh
# CTest's emulator: wine-run.sh ARCH PROGRAM [ARGS...] runs a Windows program
# of that architecture in the test run's prefix for it (scripts/wine-env.sh).
# Run on its own, outside scripts/test.sh, it falls back to prefixes inside
# the build tree, never ~/.wine.
here=$(cd "$(dirname "$0")/.." && pwd)
arch=$1
shift
ORVALIS_PREFIX_X86=${ORVALIS_PREFIX_X86:-$here/build/wineprefix-x86}
ORVALIS_PREFIX_X64=${ORVALIS_PREFIX_X64:-$here/build/wineprefix-x64}
. "$here/scripts/wine-env.sh"
wine_for "$arch" || exit 1
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec "$WINE" "$@"
