#!/bin/sh
# Release check of the i686 files: 32-bit x86 PE images that stand alone on a
# clean Windows machine (system DLLs only, nothing from the compiler's runtime).
# Usage: check_pe.sh OBJDUMP DIST_DIR
objdump=$1
dist=$2
allowed="kernel32.dll user32.dll advapi32.dll shell32.dll version.dll msvcrt.dll"
failed=0
checked=0
for name in OrvalisOpen.exe Tidewell.exe harnfold.dll OrvalisCheck.exe; do
    file="$dist/$name"
    [ -f "$file" ] || continue
    checked=$((checked + 1))
    info=$("$objdump" -p "$file") || { echo "FAIL $name: unreadable"; failed=1; continue; }
    echo "$info" | grep -q "file format pei-i386" || { echo "FAIL $name: not a 32-bit x86 PE image"; failed=1; }
    echo "$info" | grep -Eq "^Magic[[:space:]]+010b" || { echo "FAIL $name: no PE32 optional header"; failed=1; }
    case $name in
        OrvalisCheck.exe) want="Subsystem		00000003	(Windows CUI)"; kind="a console program" ;;
        *.exe) want="Subsystem		00000002	(Windows GUI)"; kind="a Windows GUI program" ;;
        *.dll) want="Characteristics 0x[0-9a-f]*"; kind="a library"
               echo "$info" | grep -q "DLL" || { echo "FAIL $name: not a DLL"; failed=1; } ;;
    esac
    echo "$info" | grep -q "$want" || { echo "FAIL $name: not $kind"; failed=1; }
    imports=$(echo "$info" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    for dll in $imports; do
        case " $allowed " in
            *" $dll "*) ;;
            *) echo "FAIL $name imports $dll"; failed=1 ;;
        esac
    done
    echo "$name: $(echo $imports)"
done
[ "$checked" -gt 0 ] || { echo "no release files in $dist yet"; exit 77; }
exit $failed
