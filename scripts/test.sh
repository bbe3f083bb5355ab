#!/bin/sh
# Builds both architectures and runs every test: unit and end-to-end tests
# under wine64, and the release checks of the i686 files.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
wine_env_start test display
start=$(date +%s)
status=0
(cd "$root/build/x64" && ctest --output-on-failure --timeout 600 "$@") || status=$?
echo "Test wall time: $(( $(date +%s) - start )) s"
exit $status
