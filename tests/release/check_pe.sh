#!/bin/sh
# Release check of the i686 files: 32-bit x86 PE images of their kind that
# import exactly the system libraries they need, so that each stands alone on
# a clean Windows machine (nothing from the compiler's runtime). The tests'
# only check of the PE headers and imports.
# Usage: check_pe.sh OBJDUMP DIST_DIR
objdump=$1
dist=$2
failed=0
# file, kind, and every library it imports (lower case, in order)
files="OrvalisOpen.exe gui advapi32.dll kernel32.dll msvcrt.dll user32.dll version.dll
Tidewell.exe gui kernel32.dll msvcrt.dll user32.dll
harnfold.dll dll advapi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll
OrvalisCheck.exe cui advapi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll version.dll"

while read -r name kind want; do
    file="$dist/$name"
    [ -f "$file" ] || { echo "FAIL $name: missing"; failed=1; continue; }
    info=$("$objdump" -p "$file") || { echo "FAIL $name: unreadable"; failed=1; continue; }
    echo "$info" | grep -q "file format pei-i386" || { echo "FAIL $name: not a 32-bit x86 PE image"; failed=1; }
    echo "$info" | grep -Eq "^Magic[[:space:]]+010b" || { echo "FAIL $name: no PE32 optional header"; failed=1; }
    characteristics=$(echo "$info" | sed -n 's/^Characteristics 0x//p')
    is_dll=$(( 0x${characteristics:-0} & 0x2000 ))
    case $kind in
        gui) echo "$info" | grep -Eq "^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)" ||
                 { echo "FAIL $name: not a Windows GUI program"; failed=1; }
             [ "$is_dll" -eq 0 ] || { echo "FAIL $name: a DLL, not a program"; failed=1; } ;;
        cui) echo "$info" | grep -Eq "^Subsystem[[:space:]]+00000003[[:space:]]+\(Windows CUI\)" ||
                 { echo "FAIL $name: not a console program"; failed=1; }
             [ "$is_dll" -eq 0 ] || { echo "FAIL $name: a DLL, not a program"; failed=1; } ;;
        dll) [ "$is_dll" -ne 0 ] || { echo "FAIL $name: not a DLL"; failed=1; } ;;
    esac
    imports=$(echo "$info" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    imports=$(echo $imports)
    [ "$imports" = "$want" ] || { echo "FAIL $name imports \"$imports\", not \"$want\""; failed=1; }
    echo "$name: $imports"
done <<LIST
$files
LIST
exit $failed
