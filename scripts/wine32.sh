#!/bin/sh
# Sets up the 32-bit Wine that runs the i686 files on this 64-bit-only kernel:
# Debian 12's wine32 and its i386 closure unpacked into a private root (no
# 32-bit package is installed on the system), driven by Debian 13's static
# user-mode qemu-i386, fetched with an apt configuration of its own (the
# system's sources stay as they are). No binfmt entry is registered.
# Prints nothing and costs nothing when the root is already complete.
set -e
root=${ORVALIS_WINE32_ROOT:-/opt/orvalis-wine32}
stamp="$root/.orvalis-wine32-3"
[ -f "$stamp" ] && exit 0

echo "Setting up the 32-bit Wine in $root (once; about 700 MB)"
export DEBIAN_FRONTEND=noninteractive
work="$root.work"
rm -rf "$root" "$work"
mkdir -p "$work/debs" "$work/lists/partial" "$work/cache/archives/partial" "$root"

# wine32 and its whole i386 closure, as an empty system would install them.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    apt-get update -q
fi
# FreeType is only recommended, but without it every 32-bit process warns.
packages=$(apt-get install -s -o Dir::State::status=/dev/null --no-install-recommends \
    wine32:i386 libfreetype6:i386 \
    | sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) .*/\1=\2/p')
[ -n "$packages" ] || { echo "wine32.sh: apt found no wine32:i386 closure" >&2; exit 1; }
# shellcheck disable=SC2086
(cd "$work/debs" && apt-get download -q -o APT::Sandbox::User=root $packages >/dev/null)

# The static qemu-i386 of Debian 13: the older one of Debian 12 needs a
# minute a process.
uri=$(sed -n 's/^URIs: *\([^ ]*\).*/\1/p' /etc/apt/sources.list.d/debian.sources | head -n1)
echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $uri trixie main" >"$work/trixie.list"
apt_trixie() {
    apt-get -q -o Dir::Etc::SourceList="$work/trixie.list" -o Dir::Etc::SourceParts=- \
        -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" \
        -o APT::Sandbox::User=root "$@"
}
apt_trixie update >/dev/null
(cd "$work/debs" && apt_trixie download qemu-user >/dev/null)

for deb in "$work"/debs/*.deb; do
    case $deb in
        */qemu-user_*) dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work" ./usr/bin/qemu-i386 ;;
        *) dpkg-deb -x "$deb" "$root" ;;
    esac
done
mv "$work/usr/bin/qemu-i386" "$root/qemu-i386"

# user32 of the 32-bit side needs zlib1.dll, which Debian leaves out; mark it
# as a builtin as Wine's own install step does.
dlls="$root/usr/lib/i386-linux-gnu/wine/i386-windows"
cp /usr/i686-w64-mingw32/lib/zlib1.dll "$dlls/zlib1.dll"
printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' |
    dd of="$dlls/zlib1.dll" bs=1 seek=64 conv=notrunc status=none

# The 32-bit side opens FreeType by name: give the root's loader a cache of
# its own libraries (and touch no link outside it).
printf '/lib/i386-linux-gnu\n/usr/lib/i386-linux-gnu\n' >"$root/etc/ld.so.conf"
ldconfig -X -r "$root"

# Wine starts child processes as <its loader's folder>/wine or /wine64, so the
# 32-bit loader's place holds a script that runs it under qemu, with a native
# wine64 beside it and the system's wineserver and 64-bit libraries.
bin="$root/usr/lib/wine"
mv "$bin/wine" "$bin/wine.i386"
cat >"$bin/wine" <<EOF
#!/bin/sh
WINELOADERNOEXEC=1 exec $root/qemu-i386 -L $root -0 $root/usr/lib/wine/wine $root/usr/lib/wine/wine.i386 "\$@"
EOF
chmod +x "$bin/wine"
cp /usr/lib/wine/wine64 "$bin/wine64"
rm -f "$bin/wineserver"
ln -s /usr/lib/wine/wineserver "$bin/wineserver"
rm -rf "$root/usr/lib/x86_64-linux-gnu"
ln -s /usr/lib/x86_64-linux-gnu "$root/usr/lib/x86_64-linux-gnu"

rm -rf "$work"
touch "$stamp"
echo "32-bit Wine ready: $(du -sh "$root" | cut -f1)"
