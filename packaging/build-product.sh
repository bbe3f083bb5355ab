#!/bin/sh
# Builds the product package OUT-DIR/Tidewell-VERSION.msi: wixl compiles
# Product.wxs, then msibuild adds the two custom actions that run Install and
# Uninstall from the installed harnfold.dll.
# Usage: build-product.sh [VERSION [FILES-DIR [OUT-DIR]]]
#   VERSION    ProductVersion, 3 or 4 numbers (default 3.2.0.0); Windows
#              Installer compares only the first three when it upgrades
#   FILES-DIR  Tidewell.exe, OrvalisOpen.exe, harnfold.dll, OrvalisCheck.exe
#              (default dist/x86)
#   OUT-DIR    where the package goes (default dist)
# The player host installed as Player\OrvalisHost.dll is, in this order:
# $ORVALIS_PLAYER_HOST, FILES-DIR/Player/OrvalisHost.dll, or the sample
# player of the i686 build, build/x86/bin/fixtures/player/OrvalisHost.dll.
# The codes are derived, so the same inputs give the same package codes:
# ProductCode from the version, PackageCode from the version and the files.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
version=${1:-3.2.0.0}
files=${2:-$root/dist/x86}
out=${3:-$root/dist}

fail() { echo "build-product.sh: $*" >&2; exit 1; }

# major.minor.build[.revision], each within what Windows Installer accepts.
echo "$version" | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+(\.[0-9]+)?$' ||
    fail "VERSION must be major.minor.build[.revision], not '$version'"
echo "$version" | awk -F. '{ exit !($1 < 256 && $2 < 256 && $3 < 65536 && (NF < 4 || $4 < 65536)) }' ||
    fail "VERSION $version is out of range (at most 255.255.65535.65535)"

files=$(cd "$files" 2>/dev/null && pwd) || fail "no folder $2"
# An x86 package of 32-bit files: its components, registry values and custom
# actions are 32-bit ones. The PE header's machine field must say i386.
machine() { sh "$root/scripts/pe-machine.sh" "$1"; }
for f in Tidewell.exe OrvalisOpen.exe harnfold.dll OrvalisCheck.exe; do
    [ -f "$files/$f" ] || fail "$files/$f is missing"
    [ "$(machine "$files/$f")" = x86 ] || fail "$files/$f is not a 32-bit x86 file"
done
if [ -n "$ORVALIS_PLAYER_HOST" ]; then
    host=$ORVALIS_PLAYER_HOST
elif [ -f "$files/Player/OrvalisHost.dll" ]; then
    host=$files/Player/OrvalisHost.dll
else
    host=$root/build/x86/bin/fixtures/player/OrvalisHost.dll
fi
[ -f "$host" ] || fail "no player host $host (build the i686 tree, or set ORVALIS_PLAYER_HOST)"
[ "$(machine "$host")" = x86 ] || fail "$host is not a 32-bit x86 library"

mkdir -p "$out"
out=$(cd "$out" && pwd)
msi="$out/Tidewell-$version.msi"

# A GUID from the SHA-1 of a text, in the form of a name-based (version 5) UUID.
guid() {
    printf '%s' "$1" | sha1sum | awk '{
        h = toupper(substr($1, 1, 32))
        v = index("0123456789ABCDEF", substr(h, 17, 1)) - 1
        printf "%s-%s-5%s-%s%s-%s\n", substr(h, 1, 8), substr(h, 9, 4), substr(h, 14, 3),
            substr("89AB", v % 4 + 1, 1), substr(h, 18, 3), substr(h, 21, 12) }'
}
# Never change it: every version of the product carries it.
upgrade_code=3F6A2C1E-8B4D-4E7A-9C15-6D2E8F0B7A43
product_code=$(guid "Tidewell ProductCode $version")
package_code=$(guid "Tidewell PackageCode $version $(cd "$files" && cat Tidewell.exe OrvalisOpen.exe \
    harnfold.dll OrvalisCheck.exe | sha1sum) $(sha1sum <"$host")")

# wixl takes file sources relative to the current folder only.
stage=$(mktemp -d "${TMPDIR:-/tmp}/tidewell-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Player"
for f in Tidewell.exe OrvalisOpen.exe harnfold.dll OrvalisCheck.exe; do
    cp "$files/$f" "$stage/$f"
done
cp "$host" "$stage/Player/OrvalisHost.dll"
# The cabinet stores file times: fix them, and the package's own dates, so
# that the same inputs give the same bytes.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1356998400}
export SOURCE_DATE_EPOCH
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*.exe "$stage"/*.dll "$stage"/Player/*.dll
rm -f "$msi"
(cd "$stage" && wixl -a x86 -D Version="$version" -D ProductCode="$product_code" \
    -D UpgradeCode="$upgrade_code" \
    -o "$stage/package.msi" "$here/Product.wxs")
# Type 3089 = 17 (DLL installed with the product, Source = its File key)
#           + 1024 (deferred: runs inside the installation script)
#           + 2048 (no impersonation: the installer service's rights).
# Install: after InstallFiles (4000), on a first installation only (a repair
# must not count again; the new product of a major upgrade is a first
# installation). Uninstall: before RemoveFiles (3500), while the file is still
# there, only when the whole product goes (also the old product's removal in
# a major upgrade, which runs before the new product is installed).
# Upgrade: wixl replaces only versions below this one (VersionMax exclusive);
# 513 = 1 (migrate feature states) + 512 (VersionMax inclusive), so another
# ProductCode of the same three-field version is replaced, not installed beside.
msibuild "$stage/package.msi" \
    -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
    -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{$upgrade_code}', '$version', 513, 'WIX_UPGRADE_DETECTED')" \
    -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('HarnfoldInstall', 3089, 'HarnfoldFile', 'Install')" \
    -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('HarnfoldUninstall', 3089, 'HarnfoldFile', 'Uninstall')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('HarnfoldInstall', 'NOT Installed AND NOT REMOVE', 4001)" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('HarnfoldUninstall', 'Installed AND REMOVE=\"ALL\"', 3499)"
# wixl makes up a package code of its own: put the derived one in its place.
msibuild "$stage/package.msi" -s "Tidewell $version" Quillon "Intel;1033" "{$package_code}"
mv "$stage/package.msi" "$msi"
echo "$msi: ProductVersion $version, ProductCode {$product_code}, UpgradeCode {$upgrade_code}"
