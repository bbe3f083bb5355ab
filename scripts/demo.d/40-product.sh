# Sourced by scripts/demo.sh: the product's life as a user has it. The
# reference package is built (dist/Tidewell-3.2.0.0.msi and -3.2.1.msi),
# installed, a document is opened through the shell, the Start-menu shortcut
# is started, 3.2.1 replaces 3.2.0.0, 3.2.0.0 is refused over it, and the
# product is removed. The shell is driven from the 32-bit start.exe: Wine
# shows a 32-bit package's file types to 32-bit processes only.
echo
echo "== The product package: install, open a document, start the shortcut, upgrade, remove"
pd_unix="$WINEPREFIX/drive_c/ProductDemo"
pd_win='C:\ProductDemo'
mkdir -p "$pd_unix/Spiele für Ämter"
printf 'CBM' >"$pd_unix/Spiele für Ämter/Disk ü 1.d64"
pd_doc="$pd_win\\Spiele für Ämter\\Disk ü 1.d64"
pd_start='C:\windows\syswow64\start.exe'
pd_files="$WINEPREFIX/drive_c/Program Files (x86)/Tidewell"
pd_data="$WINEPREFIX/drive_c/users/Public/Documents/CBM Files"

# The players the earlier parts registered have higher versions than this
# product's player, and OrvalisOpen would choose them: unregister them.
for pd_version in 3.9 3.10; do
    "$WINE" reg delete 'HKLM\SOFTWARE\Quillon\Orvalis\Players' /v "Orvalis $pd_version" /f /reg:32 \
        >/dev/null 2>&1 || true
done
for pd_version in 3.2.0.0 3.2.1; do
    sh "$root/packaging/build-product.sh" "$pd_version" 2>&1 | grep -v '^$' | sed 's/^/   built /'
done

pd_msiexec() { # pd_msiexec /i|/x VERSION: prints the exit code
    pd_rc=0
    "$WINE" msiexec "$1" "Z:$(echo "$root/dist/Tidewell-$2.msi" | tr / '\\')" /qn \
        >/dev/null 2>&1 || pd_rc=$?
    echo "-- msiexec $1 Tidewell-$2.msi /qn -> exit $pd_rc${3:+ $3}"
}
pd_query() { # pd_query KEY [VALUE]: the value's data, or "(none)"
    if [ -n "$2" ]; then
        pd_q=$("$WINE" reg query "$1" /v "$2" /reg:32 2>/dev/null | tr -d '\r' | grep REG_ |
            sed 's/^ *[^ ]* *REG_[A-Z_]* *//')
    else
        pd_q=$("$WINE" reg query "$1" /ve /reg:32 2>/dev/null | tr -d '\r' | grep REG_ |
            sed 's/^.*REG_[A-Z_]* *//')
    fi
    printf '%s\n' "${pd_q:-(none)}"
}
pd_shortcut() { # the shortcut's Windows path, or nothing
    find "$WINEPREFIX/drive_c/ProgramData" "$WINEPREFIX/drive_c/users" -name Tidewell.lnk 2>/dev/null |
        head -n1 | sed "s|^$WINEPREFIX/drive_c|C:|" | tr / '\\'
}
pd_state() {
    if [ -d "$pd_files" ]; then
        echo "   C:\\Program Files (x86)\\Tidewell:" $(cd "$pd_files" && find . -type f | sed 's|^\./||' | sort | tr / '\\')
    else
        echo "   C:\\Program Files (x86)\\Tidewell: gone"
    fi
    echo "   Players value \"Tidewell\": $(pd_query 'HKLM\SOFTWARE\Quillon\Orvalis\Players' Tidewell)"
    for pd_ext in .d64 .cart; do
        pd_prog=$(pd_query "HKLM\\Software\\Classes\\$pd_ext")
        echo "   $pd_ext -> $pd_prog; open: $(pd_query "HKLM\\Software\\Classes\\$pd_prog\\shell\\open\\command");" \
            "icon: $(pd_query "HKLM\\Software\\Classes\\$pd_prog\\DefaultIcon")"
    done
    pd_lnk=$(pd_shortcut)
    # printf, not echo: sh's echo reads the \r of C:\users\root as a character.
    printf '   Start-menu shortcut: %s\n' "${pd_lnk:-(none)}"
    pd_arp=$("$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 2>/dev/null |
        tr -d '\r' | awk '/DisplayName.*Tidewell/ {n=1} /Publisher/ && n {p=$3} /DisplayVersion/ && n {v=$3}
            /^HKEY/ {if (n) print "Tidewell " v " (" p ")"; n=0} END {if (n) print "Tidewell " v " (" p ")"}')
    echo "   Add/Remove Programs: ${pd_arp:-(no entry)}"
    pd_count=$(pd_query 'HKLM\Software\Quillon\Harnfold' Count)
    [ "$pd_count" != "(none)" ] && pd_count=$(printf '%u' "$pd_count")
    echo "   Count: $pd_count"
    if [ -f "$pd_data/Desktop.ini" ]; then
        printf '   CBM Files\\Desktop.ini: %s\n' "$(grep IconFile "$pd_data/Desktop.ini" | tr -d '\r')"
    elif [ -d "$pd_data" ]; then
        echo "   CBM Files: there, without Desktop.ini:" $(ls "$pd_data")
    else
        echo "   CBM Files: gone"
    fi
}
pd_open() { # pd_open FILE: the 32-bit shell opens it, the player says what it got
    rm -f "$pd_unix/received.txt"
    pd_rc=0
    ORVALIS_FIXTURE_LOG="$pd_win\\received.txt" ORVALIS_FIXTURE_RESULT=42 \
        "$WINE" "$pd_start" /wait "$1" </dev/null >/dev/null 2>&1 || pd_rc=$?
    printf '   start /wait "%s" -> exit %s\n' "$1" "$pd_rc"
    # start.exe waits for a document's program, not for a shortcut's target.
    for pd_wait in 1 2 3 4 5 6 7 8 9 10; do
        [ -f "$pd_unix/received.txt" ] && break
        [ -n "$2" ] || break
        sleep 1
    done
    if [ -f "$pd_unix/received.txt" ]; then
        grep -E '^(product|commandLine|hostPath)=' "$pd_unix/received.txt" | sed 's/^/     player got /'
    else
        echo "     no player started"
    fi
}

pd_msiexec /i 3.2.0.0
pd_state
echo "-- The shell opens a document (the player returns 42)"
pd_open "$pd_doc"
echo "-- The Start-menu shortcut"
pd_open "$(pd_shortcut)" shortcut
pd_msiexec /i 3.2.1
pd_state
pd_open "$pd_doc"
echo "-- 3.2.0.0 over 3.2.1: refused with \"$(msiinfo export "$root/dist/Tidewell-3.2.0.0.msi" LaunchCondition |
    tr -d '\r' | awk -F'\t' 'NR > 3 {print $2}')\""
pd_msiexec /i 3.2.0.0 "(the low byte of 1603: refused)"
pd_state
pd_msiexec /x 3.2.1
pd_state
echo "-- The document after removal"
pd_open "$pd_doc"
rm -rf "$pd_unix"
unset pd_unix pd_win pd_doc pd_start pd_files pd_data pd_version pd_rc pd_q pd_ext pd_prog pd_lnk pd_count pd_arp pd_wait
