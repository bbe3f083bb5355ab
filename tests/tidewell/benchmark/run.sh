#!/bin/sh
# Start-up overhead of Tidewell.exe against a bare stub that loads the same
# host from a fixed path: median of N runs each (default 20). Not a test.
#   sh tests/tidewell/benchmark/run.sh [N]
set -e
root=$(cd "$(dirname "$0")/../../.." && pwd)
sh "$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
wine_env_start tidewell-bench
/usr/lib/wine/wine64 "$root/build/x64/bin/tidewell_bench.exe" "${1:-20}"
