#!/bin/sh
# Signs a release with Authenticode: the four files of FROM (default
# dist/x86) go into TO (default dist/signed) under the same names, and the
# packages (the product package Tidewell-VERSION.msi of x86 files, and the
# sample packages) are built again around those signed files and signed there
# too, so that what the installer copies is signed as well. FROM stays as it is.
#   ORVALIS_PRODUCT_VERSION the product package's version (default 3.2.0.0)
# Usage: sign.sh CERT.pfx [FROM [TO]]
#   ORVALIS_SIGN_PASSWORD   the certificate's password (empty when unset);
#                           read from the environment, never from arguments
#   ORVALIS_SIGN_TIMESTAMP  an RFC 3161 time-stamp server's URL (optional)
# On any failure it says why in one line, exits non-zero and leaves no TO.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "sign.sh: $*" >&2; exit 1; }
[ $# -ge 1 ] && [ $# -le 3 ] || fail "usage: sign.sh CERT.pfx [FROM [TO]]"
cert=$1
from=${2:-$root/dist/x86}
to=${3:-$root/dist/signed}
files="OrvalisOpen.exe Tidewell.exe harnfold.dll OrvalisCheck.exe"
# A failed run never leaves stale or partial signatures: an earlier TO goes
# first, and the new one is made in a scratch folder beside it and moved into
# place only when everything in it is signed.
rm -rf "$to"

[ -f "$cert" ] && [ -r "$cert" ] || fail "$cert: no such certificate file"
for name in $files; do
    [ -f "$from/$name" ] || fail "$from/$name: missing (build first: sh scripts/build.sh)"
done
# The sample packages' architecture is the library's: its PE machine field.
arch=$(sh "$root/scripts/pe-machine.sh" "$from/harnfold.dll") ||
    fail "$from/harnfold.dll: not an x86 or x64 library"

mkdir -p "$(dirname "$to")"
work=$(mktemp -d "$(dirname "$to")/.signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
signed="$work/signed"
mkdir "$signed" "$work/unsigned"
# The password reaches osslsigncode through a file only this user can read.
(umask 077 && printf '%s' "${ORVALIS_SIGN_PASSWORD:-}" >"$work/password")
set -- -pkcs12 "$cert" -h sha256 -n "Tidewell"
if [ -n "${ORVALIS_SIGN_PASSWORD:-}" ]; then
    set -- "$@" -readpass "$work/password"
else
    set -- "$@" -pass ""
fi
[ -z "${ORVALIS_SIGN_TIMESTAMP:-}" ] || set -- "$@" -ts "$ORVALIS_SIGN_TIMESTAMP"

# Why a signature failed, in one line.
explain() { # explain FILE
    if [ -n "${ORVALIS_SIGN_TIMESTAMP:-}" ] && grep -qi "timestamp\|time-stamp\|curl\|connect" "$work/log"; then
        fail "cannot time-stamp $1 at $ORVALIS_SIGN_TIMESTAMP"
    fi
    # openssl tells a wrong password from a file that is no certificate.
    # (An empty file is no password to openssl: an empty one is given as pass:.)
    passin="file:$work/password"
    [ -n "${ORVALIS_SIGN_PASSWORD:-}" ] || passin="pass:"
    if ! openssl pkcs12 -in "$cert" -noout -passin "$passin" >"$work/check" 2>&1 &&
       ! openssl pkcs12 -legacy -in "$cert" -noout -passin "$passin" >>"$work/check" 2>&1; then
        if grep -qi "invalid password\|mac verify" "$work/check"; then
            fail "wrong password for $cert (ORVALIS_SIGN_PASSWORD)"
        fi
        fail "$cert is not a readable PKCS#12 certificate with its private key"
    fi
    fail "cannot sign $1: $(grep -v '^$' "$work/log" | head -n 1)"
}
# sign IN OUT OPTIONS...
sign() {
    in=$1 out=$2
    shift 2
    osslsigncode sign "$@" -in "$in" -out "$out" >"$work/log" 2>&1 || explain "$(basename "$in")"
}

for name in $files; do
    sign "$from/$name" "$signed/$name" "$@"
done
# The sample packages, built again around the signed library, then signed.
while read -r sample product upgrade; do
    case $sample in ''|'#'*) continue ;; esac
    sh "$root/packaging/build-sample.sh" "$work/unsigned/Sample$sample.msi" "$arch" \
        "$product" "$upgrade" "Tidewell Sample $sample" "$signed/harnfold.dll" >"$work/log" 2>&1 ||
        fail "cannot build Sample$sample.msi: $(grep -v '^$' "$work/log" | head -n 1)"
done <"$root/packaging/samples.list"
# The product package is an x86 one: its player comes as build-product.sh finds it.
if [ "$arch" = x86 ]; then
    sh "$root/packaging/build-product.sh" "${ORVALIS_PRODUCT_VERSION:-3.2.0.0}" "$signed" \
        "$work/unsigned" >"$work/log" 2>&1 ||
        fail "cannot build the product package: $(grep -v '^$' "$work/log" | tail -n 1)"
fi
for package in "$work/unsigned"/*.msi; do
    sign "$package" "$signed/$(basename "$package")" "$@"
done
mv "$signed" "$to"
echo "Signed into $to:"
(cd "$to" && ls)
