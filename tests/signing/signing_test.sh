#!/bin/sh
# The signing step end to end, with a throwaway certificate made here: every
# signature verifies, removing it gives back the unsigned bytes, the packages
# carry the signed library, the signed launchers still hand over under Wine,
# and every failure says why in one line and leaves nothing signed behind.
# Usage: signing_test.sh ARCH DIST_DIR BIN_DIR
arch=$1 dist=$2 bin=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/orvalis-signing.XXXXXX)
players='HKLM\SOFTWARE\Quillon\Orvalis\Players'
view=
[ "$arch" = x86 ] && view=/reg:32
cleanup() {
    sh "$root/tests/wine-run.sh" "$arch" reg delete "$players" /v SigningTest /f $view >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() { echo "FAIL $*"; failed=1; }
files="OrvalisOpen.exe Tidewell.exe harnfold.dll OrvalisCheck.exe"
packages="SampleA.msi SampleB.msi"
# The product package is built of x86 files only.
[ "$arch" = x86 ] && packages="$packages Tidewell-3.2.0.0.msi"
windows() { echo "Z:$1" | tr / '\\'; }

export ORVALIS_SIGN_PASSWORD="orvalis test"
unset ORVALIS_SIGN_TIMESTAMP
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvalis test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null &&
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
    -passout env:ORVALIS_SIGN_PASSWORD || { echo "FAIL: cannot make a test certificate"; exit 1; }
(cd "$dist" && sha256sum $files) >"$work/before"

# Signing.
out="$work/dist/signed"
sh "$root/scripts/sign.sh" "$work/cert.pfx" "$dist" "$out" >"$work/sign.log" 2>&1 ||
    { cat "$work/sign.log"; fail "sign.sh failed"; }
for name in $files $packages; do
    [ -f "$out/$name" ] || { fail "$name: not signed"; continue; }
    osslsigncode verify -CAfile "$work/cert.pem" -in "$out/$name" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log"; fail "$name: the signature does not verify"; }
done
for name in $files; do
    osslsigncode remove-signature -in "$out/$name" -out "$work/unsigned-$name" >/dev/null 2>&1 &&
        cmp -s "$work/unsigned-$name" "$dist/$name" ||
        fail "$name: removing the signature does not give back the unsigned file"
done
(cd "$dist" && sha256sum -c --quiet "$work/before") || fail "sign.sh changed the unsigned files"
for package in $packages; do
    mkdir -p "$work/extract-$package"
    (cd "$work/extract-$package" && msiextract "$out/$package" >/dev/null 2>&1)
    carried="harnfold.dll"
    case $package in Tidewell-*) carried=$files ;; esac
    for name in $carried; do
        copy=$(find "$work/extract-$package" -iname "$name" | head -n 1)
        [ -n "$copy" ] && cmp -s "$copy" "$out/$name" ||
            fail "$package: does not carry the signed $name"
    done
done

# The signed launchers still hand over: Tidewell to the host beside it,
# OrvalisOpen to the one registered (the highest version there is).
app="$work/app"
mkdir -p "$app/Player"
cp "$out/Tidewell.exe" "$out/OrvalisOpen.exe" "$app/"
cp "$bin/fixtures/host-3.65535/OrvalisHost.dll" "$app/Player/"
export ORVALIS_FIXTURE_RESULT=7
export ORVALIS_FIXTURE_LOG="$(windows "$work/received.txt")"
sh "$root/tests/wine-run.sh" "$arch" "$app/Tidewell.exe" signed >/dev/null 2>&1
status=$?
[ "$status" -eq 7 ] && grep -qx "product=Tidewell" "$work/received.txt" ||
    fail "the signed Tidewell.exe did not hand over (exit $status)"
rm -f "$work/received.txt"
sh "$root/tests/wine-run.sh" "$arch" reg add "$players" /v SigningTest /d "$(windows "$app/Tidewell.exe")" \
    /f $view >/dev/null 2>&1 || fail "cannot register the test installation"
sh "$root/tests/wine-run.sh" "$arch" "$app/OrvalisOpen.exe" signed >/dev/null 2>&1
status=$?
[ "$status" -eq 7 ] && grep -qx "product=<null>" "$work/received.txt" ||
    fail "the signed OrvalisOpen.exe did not hand over (exit $status)"
unset ORVALIS_FIXTURE_RESULT ORVALIS_FIXTURE_LOG

# Failures: one line, a non-zero status, and no signed folder (not even an
# earlier one).
printf 'not a certificate' >"$work/broken.pfx"
check_refused() { # check_refused WHAT EXPECTED-TEXT CERT [VARIABLE=VALUE...]
    what=$1 expected=$2 cert=$3
    shift 3
    mkdir -p "$out" && : >"$out/earlier"
    env "$@" sh "$root/scripts/sign.sh" "$cert" "$from" "$out" >"$work/out.log" 2>"$work/err.log"
    status=$?
    [ "$status" -ne 0 ] || fail "$what: sign.sh succeeded"
    [ "$(wc -l <"$work/err.log")" -eq 1 ] && [ ! -s "$work/out.log" ] ||
        { cat "$work/out.log" "$work/err.log"; fail "$what: not one line of explanation"; }
    grep -q "$expected" "$work/err.log" || fail "$what: says \"$(cat "$work/err.log")\""
    [ ! -e "$out" ] || fail "$what: left $out behind"
    [ -z "$(find "$work/dist" -name '.signing.*')" ] || fail "$what: left its scratch folder behind"
}
from=$dist
check_refused "missing certificate" "no such certificate" "$work/none.pfx"
check_refused "broken certificate" "not a readable PKCS#12" "$work/broken.pfx"
check_refused "wrong password" "wrong password" "$work/cert.pfx" ORVALIS_SIGN_PASSWORD=wrong
check_refused "no password" "wrong password" "$work/cert.pfx" ORVALIS_SIGN_PASSWORD=
# Port 9 on this machine answers nothing: the time stamp is asked for and fails.
check_refused "unreachable time-stamp server" "cannot time-stamp" "$work/cert.pfx" \
    ORVALIS_SIGN_TIMESTAMP=http://127.0.0.1:9/
# The library's header gives the packages' architecture: text in its place
# is refused before anything is signed.
from=$work/text
mkdir "$from" && (cd "$dist" && cp $files "$from/")
printf 'MZ: this is a page of text, saved under the name of a library.\n' >"$from/harnfold.dll"
check_refused "a library that is not a PE file" "harnfold.dll: not an x86 or x64 library" \
    "$work/cert.pfx"

[ "$failed" -eq 0 ] && echo "signing: every check passed"
exit $failed
