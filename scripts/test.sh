#!/bin/sh
# Builds both architectures and runs every test of both, one suite: unit and
# end-to-end tests under Wine (NAME.x86 under the emulated 32-bit Wine, on the
# dist/x86 files we ship; NAME.x64 under wine64), and the release checks of
# the i686 files. Extra arguments go to CTest, e.g. -R 'tidewell.*\.x86'.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
wine_env_start test display
start=$(date +%s)
status=0
(cd "$root/build" && ctest --output-on-failure --timeout 900 "$@") || status=$?
echo "Test wall time: $(( $(date +%s) - start )) s"
exit $status
