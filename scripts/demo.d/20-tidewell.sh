# Sourced by scripts/demo.sh: Tidewell.exe (i686, as shipped) in a folder with a sample
# player host in Player\, then the same folder without the host.
tidewell_demo_dir=$(mktemp -d /tmp/tidewell-demo.XXXXXX)
mkdir -p "$tidewell_demo_dir/Player"
cp "$root/dist/x86/Tidewell.exe" "$tidewell_demo_dir/"
cp "$root/build/x86/bin/fixtures/host-3.9/OrvalisHost.dll" "$tidewell_demo_dir/Player/"
echo
echo "== Tidewell: $tidewell_demo_dir/Tidewell.exe -autostart \"disk 1.d64\""
echo "   (the sample host returns 7)"
tidewell_code=0
ORVALIS_FIXTURE_RESULT=7 "$WINE" "$tidewell_demo_dir/Tidewell.exe" \
    -autostart "disk 1.d64" </dev/null || tidewell_code=$?
echo "   the host received:"
sed -e '/^end$/d' -e 's/^/     /' "$tidewell_demo_dir/Player/received.txt"
echo "   exit code: $tidewell_code"

rm -rf "$tidewell_demo_dir/Player"
echo
echo "== Tidewell without Player\\OrvalisHost.dll (no display: the message box returns at once)"
tidewell_code=0
"$WINE" "$tidewell_demo_dir/Tidewell.exe" </dev/null || tidewell_code=$?
echo "   exit code: $tidewell_code (the low byte of -1)"
rm -rf "$tidewell_demo_dir"
unset tidewell_demo_dir tidewell_code
