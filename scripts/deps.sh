#!/bin/sh
# Installs, with apt, whatever the build and the tests need and this machine
# does not have yet. Run as root on Debian 12.
set -e
missing=""
need() { # need COMMAND-OR-PATH PACKAGE...
    probe=$1; shift
    case $probe in
        /*) [ -e "$probe" ] || missing="$missing $*" ;;
        *) command -v "$probe" >/dev/null 2>&1 || missing="$missing $*" ;;
    esac
}
need i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need i686-w64-mingw32-windres binutils-mingw-w64-i686
need x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
need /usr/lib/wine/wine64 wine wine64
need Xvfb xvfb
need cmake cmake
need make make
need /usr/src/googletest/CMakeLists.txt googletest
need wixl wixl
need msiinfo msitools
need python3 python3
need /usr/lib/python3/dist-packages/pefile.py python3-pefile
need osslsigncode osslsigncode
need openssl openssl
need /usr/i686-w64-mingw32/lib/zlib1.dll libz-mingw-w64
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $missing
fi
# The 32-bit Wine that runs the i686 files: once, into a private root.
sh "$(dirname "$0")/wine32.sh"
