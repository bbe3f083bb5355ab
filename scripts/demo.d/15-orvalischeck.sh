# Sourced by scripts/demo.sh after the OrvalisOpen part: OrvalisCheck.exe
# (x64) reports on the two players just registered, plus one registered file
# that has been moved away.
echo
echo "== OrvalisCheck (x64 build): what the launchers and harnfold.dll would do here"
/usr/lib/wine/wine64 reg add 'HKLM\SOFTWARE\Quillon\Orvalis\Players' /v "Orvalis moved" \
    /d "C:\\OrvalisDemo\\Moved\\Orvalis.exe" /f >/dev/null 2>&1
echo "Running: OrvalisCheck.exe   (a third registration names a file that was moved)"
oc_code=0
/usr/lib/wine/wine64 "$root/dist/x64/OrvalisCheck.exe" </dev/null >"$WINE_ENV_DIR/check.txt" || oc_code=$?
tr -d '\r' <"$WINE_ENV_DIR/check.txt" | sed 's/^/  /'
echo "Exit code: $oc_code (0: OrvalisOpen would find a host)"
/usr/lib/wine/wine64 reg delete 'HKLM\SOFTWARE\Quillon\Orvalis\Players' /v "Orvalis moved" /f >/dev/null 2>&1
unset oc_code
