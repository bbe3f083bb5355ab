# Sourced by the test and demo scripts: a throwaway Wine prefix of the run's
# own (never ~/.wine) and, when asked for, an Xvfb display, both removed on exit.
wine_env_start() { # wine_env_start NAME [display]
    WINE_ENV_DIR=$(mktemp -d "/tmp/orvalis-$1.XXXXXX")
    export WINEPREFIX="$WINE_ENV_DIR/prefix"
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEDEBUG=-all
    trap wine_env_stop EXIT INT TERM
    if [ "$2" = display ]; then
        exec 9<>"$WINE_ENV_DIR/displayfd"
        Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp >"$WINE_ENV_DIR/xvfb.log" 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 100); do
            [ -s "$WINE_ENV_DIR/displayfd" ] && break
            sleep 0.1
        done
        export DISPLAY=":$(head -n1 "$WINE_ENV_DIR/displayfd")"
    else
        unset DISPLAY
    fi
    /usr/lib/wine/wine64 wineboot -i >"$WINE_ENV_DIR/wineboot.log" 2>&1 || true
    /usr/lib/wine/wineserver -w
    # Keep one server for the whole run so programs start warm, and start its
    # helper processes (services, desktop) now, detached from our output:
    # otherwise they inherit the first test's pipes and CTest waits on them.
    /usr/lib/wine/wineserver -p
    /usr/lib/wine/wine64 cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    [ -n "$WINE_ENV_DIR" ] && rm -rf "$WINE_ENV_DIR"
    WINE_ENV_DIR=""
}
