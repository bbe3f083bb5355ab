#!/bin/sh
# The shipped OrvalisOpen.exe: a PE32 file for i386, Windows GUI subsystem,
# importing system libraries only.
file=$1
dump=$(i686-w64-mingw32-objdump -p "$file") || { echo "cannot read $file"; exit 1; }
status=0
check() { # check DESCRIPTION PATTERN
    if ! printf '%s\n' "$dump" | grep -Eq "$2"; then
        echo "FAIL: $1"
        status=1
    fi
}
check "file format pei-i386" "file format pei-i386$"
check "PE32 optional header (magic 010b)" "^Magic[[:space:]]+010b"
check "Windows GUI subsystem" "^Subsystem[[:space:]]+00000002"
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
[ -n "$imports" ] || { echo "FAIL: no imports found"; status=1; }
for dll in $imports; do
    case $dll in
        kernel32.dll|user32.dll|advapi32.dll|version.dll|msvcrt.dll|shell32.dll) ;;
        *) echo "FAIL: imports $dll"; status=1 ;;
    esac
done
echo "imports:" $imports
exit $status
