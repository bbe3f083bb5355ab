#!/bin/sh
# Benchmark: time from process start to host entry for OrvalisOpen.exe and
# Tidewell.exe (x64), a bare stub and the stub with the message-box import,
# with 1, 100 and 1,000 registered installations, in a throwaway Wine prefix.
# Prints a table of medians. Not part of the test suite.
# Usage: run.sh [RUNS [COUNT...]]   (default: 31 runs; 1 100 1000)
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${1:-31}
[ $# -gt 0 ] && shift
sh "$root/scripts/build.sh" >/dev/null
. "$root/scripts/wine-env.sh"
wine_env_start bench
wine_for x64
bin="$root/build/x64/bin/bench"
"$WINE" "$bin/LauncherBench.exe" "Z:$root/dist/x64/OrvalisOpen.exe" \
    "Z:$root/dist/x64/Tidewell.exe" \
    "Z:$bin/BenchStub.exe" "Z:$bin/BenchStubUser32.exe" "Z:$bin/OrvalisHost.dll" "$runs" "$@"
