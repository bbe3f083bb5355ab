# Sourced by scripts/demo.sh: Windows Installer installs two sample packages
# that run harnfold.dll's Install action, then removes them (Uninstall).
echo
echo "== harnfold.dll under Windows Installer (msiexec)"
msi="$root/build/x86/bin/msi"
data="$WINEPREFIX/drive_c/users/Public/Documents/CBM Files"
show_state() {
    count=$("$WINE" reg query 'HKLM\Software\Quillon\Harnfold' /v Count /reg:32 2>/dev/null |
        tr -d '\r' | awk '/Count/ {print $3}')
    [ -n "$count" ] && count=$(printf "%u (REG_DWORD)" "$count")
    echo "   Count: ${count:-(no key)}"
    if [ -d "$data" ]; then
        echo "   Folder: C:\\users\\Public\\Documents\\CBM Files exists"
        if [ -f "$data/Desktop.ini" ]; then
            echo "   Desktop.ini:"
            sed 's/\r$//; s/^/     | /' "$data/Desktop.ini"
        else
            echo "   Desktop.ini: none"
        fi
    else
        echo "   Folder: C:\\users\\Public\\Documents\\CBM Files does not exist"
    fi
}
msiexec_step() { # msiexec_step TITLE /i|/x SAMPLE
    msi_path="Z:$(echo "$msi/Sample$3.msi" | tr / '\\')"
    "$WINE" msiexec "$2" "$msi_path" /qn >/dev/null 2>&1 && rc=0 || rc=$?
    echo "-- $1: msiexec $2 Sample$3.msi /qn -> exit $rc"
    show_state
}
msiexec_step "install sample A" /i A
msiexec_step "install sample B" /i B
msiexec_step "uninstall sample A" /x A
msiexec_step "uninstall sample B" /x B
