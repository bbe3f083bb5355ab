#!/bin/sh
# Builds everything, then runs the deliverables under Wine with sample player
# hosts and shows what each host received.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/scripts/build.sh"
. "$root/scripts/wine-env.sh"
wine_env_start demo
echo
echo "== Built files"
for arch in x86 x64; do
    for f in OrvalisOpen.exe Tidewell.exe harnfold.dll OrvalisCheck.exe; do
        if [ -f "$root/dist/$arch/$f" ]; then
            printf '  dist/%s/%-16s %7d bytes\n' "$arch" "$f" "$(stat -c %s "$root/dist/$arch/$f")"
        else
            printf '  dist/%s/%-16s (not built yet)\n' "$arch" "$f"
        fi
    done
done
for part in "$root"/scripts/demo.d/*.sh; do
    [ -f "$part" ] && . "$part"
done
echo
echo "Done."
