# Sourced by the test and demo scripts: throwaway Wine prefixes of the run's
# own (never ~/.wine) and, when asked for, an Xvfb display, all removed on
# exit. One prefix per architecture:
#   x86  the i686 files, run by the native wine64 of the private 32-bit root
#        (scripts/wine32.sh), which starts 32-bit processes under qemu;
#   x64  the x86_64 files, run by the system's wine64 in a 64-bit-only prefix.
# In a prefix with the 32-bit side, 64-bit programs' message boxes return at
# once without drawing, so the x64 files keep a prefix of their own.
ORVALIS_WINE32_ROOT=${ORVALIS_WINE32_ROOT:-/opt/orvalis-wine32}
export ORVALIS_WINE32_ROOT
WINESERVER=/usr/lib/wine/wineserver

# wine_for ARCH: sets WINE, WINEPREFIX and WINEDLLPATH for that architecture.
wine_for() {
    case $1 in
        x86) WINE="$ORVALIS_WINE32_ROOT/usr/lib/wine/wine64"
             WINEPREFIX=$ORVALIS_PREFIX_X86
             WINEDLLPATH="$ORVALIS_WINE32_ROOT/usr/lib/i386-linux-gnu/wine"
             export WINEDLLPATH ;;
        x64) WINE=/usr/lib/wine/wine64
             WINEPREFIX=$ORVALIS_PREFIX_X64
             unset WINEDLLPATH ;;
        *) echo "wine_for: x86 or x64, not '$1'" >&2; return 1 ;;
    esac
    export WINE WINEPREFIX
}

wine_env_boot() { # wine_env_boot ARCH (in a subshell of its own)
    wine_for "$1"
    "$WINE" wineboot -i >"$WINE_ENV_DIR/wineboot-$1.log" 2>&1 || true
    "$WINESERVER" -w
    # Keep one server for the whole run so programs start warm, and start its
    # helper processes (services, desktop) now, detached from our output:
    # otherwise they inherit the first test's pipes and CTest waits on them.
    "$WINESERVER" -p
    "$WINE" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

wine_env_start() { # wine_env_start NAME [display]
    [ -x "$ORVALIS_WINE32_ROOT/usr/lib/wine/wine64" ] ||
        { echo "No 32-bit Wine in $ORVALIS_WINE32_ROOT: run scripts/deps.sh" >&2; exit 1; }
    WINE_ENV_DIR=$(mktemp -d "/tmp/orvalis-$1.XXXXXX")
    export ORVALIS_PREFIX_X86="$WINE_ENV_DIR/prefix-x86"
    export ORVALIS_PREFIX_X64="$WINE_ENV_DIR/prefix-x64"
    # winemenubuilder would copy every shortcut a package makes into the
    # machine's own desktop menus.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEDEBUG=-all
    trap wine_env_stop EXIT INT TERM
    if [ "$2" = display ]; then
        # Xvfb writes its display number once it accepts connections; a
        # prefix whose desktop starts before that never shows a message box.
        exec 9<>"$WINE_ENV_DIR/displayfd"
        Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp >"$WINE_ENV_DIR/xvfb.log" 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 100); do
            [ -s "$WINE_ENV_DIR/displayfd" ] && break
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        if [ ! -s "$WINE_ENV_DIR/displayfd" ]; then
            echo "Xvfb did not answer within 10 s; the message-box tests need a display:" >&2
            cat "$WINE_ENV_DIR/xvfb.log" >&2
            exit 1
        fi
        export DISPLAY=":$(head -n1 "$WINE_ENV_DIR/displayfd")"
    else
        unset DISPLAY
    fi
    # Both prefixes boot at once; the 32-bit side (syswow64) is filled only by
    # the root's wine64.
    (wine_env_boot x86) &
    x86_boot=$!
    (wine_env_boot x64)
    wait $x86_boot
    wine_for x86
}

wine_env_stop() {
    for prefix in "$ORVALIS_PREFIX_X86" "$ORVALIS_PREFIX_X64"; do
        [ -n "$prefix" ] && WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
    done
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    [ -n "$WINE_ENV_DIR" ] && rm -rf "$WINE_ENV_DIR"
    WINE_ENV_DIR=""
}
