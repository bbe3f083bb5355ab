#!/bin/sh
# CTest's emulator: runs a Windows x64 program under wine64 in the test run's
# own prefix. scripts/test.sh sets WINEPREFIX and DISPLAY; run on its own this
# falls back to a prefix inside the build tree, never ~/.wine.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
