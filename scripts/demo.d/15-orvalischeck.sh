# Sourced by scripts/demo.sh after the OrvalisOpen part: OrvalisCheck.exe
# (i686, as shipped) reports on the two players just registered, plus one registered file
# that has been moved away.
echo
echo "== OrvalisCheck (i686, as shipped): what the launchers and harnfold.dll would do here"
"$WINE" reg add 'HKLM\SOFTWARE\Quillon\Orvalis\Players' /v "Orvalis moved" /reg:32 \
    /d "C:\\OrvalisDemo\\Moved\\Orvalis.exe" /f >/dev/null 2>&1
echo "Running: OrvalisCheck.exe   (a third registration names a file that was moved)"
oc_code=0
"$WINE" "$root/dist/x86/OrvalisCheck.exe" </dev/null >"$WINE_ENV_DIR/check.txt" || oc_code=$?
tr -d '\r' <"$WINE_ENV_DIR/check.txt" | sed 's/^/  /'
echo "Exit code: $oc_code (0: OrvalisOpen would find a host)"
"$WINE" reg delete 'HKLM\SOFTWARE\Quillon\Orvalis\Players' /v "Orvalis moved" /f /reg:32 >/dev/null 2>&1
unset oc_code
