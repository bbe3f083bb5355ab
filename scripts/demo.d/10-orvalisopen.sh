# Sourced by scripts/demo.sh: registers two player installations, 3.9 and
# 3.10, in the demo prefix and runs OrvalisOpen.exe; the 3.10 host should get
# the whole command line, and its result becomes the exit code.
echo
echo "== OrvalisOpen (i686, as shipped) with two players registered where 32-bit programs look"
oo_dir="$WINEPREFIX/drive_c/OrvalisDemo"
oo_key='HKLM\SOFTWARE\Quillon\Orvalis\Players'
for oo_version in 3.9 3.10; do
    mkdir -p "$oo_dir/Orvalis $oo_version/Player"
    : >"$oo_dir/Orvalis $oo_version/Orvalis.exe"
    cp "$root/build/x86/bin/fixtures/host-$oo_version/OrvalisHost.dll" "$oo_dir/Orvalis $oo_version/Player/"
    "$WINE" reg add "$oo_key" /v "Orvalis $oo_version" /reg:32 \
        /d "C:\\OrvalisDemo\\Orvalis $oo_version\\Orvalis.exe" /f >/dev/null 2>&1
done
echo "Registered under $oo_key:"
"$WINE" reg query "$oo_key" /reg:32 2>/dev/null | tr -d '\r' | grep REG_ | sed 's/^ */  /'
echo "Running: OrvalisOpen.exe -autostart \"disk 1.d64\"   (the host is told to return 7)"
oo_code=0
ORVALIS_FIXTURE_RESULT=7 "$WINE" "$root/dist/x86/OrvalisOpen.exe" \
    -autostart "disk 1.d64" || oo_code=$?
for oo_version in 3.9 3.10; do
    oo_record="$oo_dir/Orvalis $oo_version/Player/received.txt"
    if [ -f "$oo_record" ]; then
        echo "Chosen host: C:\\OrvalisDemo\\Orvalis $oo_version\\Player\\OrvalisHost.dll (version $oo_version.0.0). It received:"
        grep -v '^end$' "$oo_record" | sed 's/^/  /'
    else
        echo "Not chosen: Orvalis $oo_version"
    fi
done
echo "Exit code: $oo_code"
