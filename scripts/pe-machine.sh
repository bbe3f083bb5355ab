#!/bin/sh
# Prints the machine a PE file is built for: x86 or x64. For anything else (no
# such file, no MZ header, no PE signature where the header points, another
# machine) it prints nothing and exits 1, so a caller says why in its own words.
# Usage: pe-machine.sh FILE
file=$1
[ -f "$file" ] && [ -r "$file" ] || exit 1
# Byte by byte, so the answer does not depend on this machine's byte order.
bytes() { od -An -tx1 -j"$1" -N"$2" "$file" 2>/dev/null | tr -d ' \n'; }
[ "$(bytes 0 2)" = 4d5a ] || exit 1
pe=$(od -An -tu1 -j60 -N4 "$file" 2>/dev/null |
    awk 'NF == 4 { print $1 + 256 * ($2 + 256 * ($3 + 256 * $4)) }')
[ -n "$pe" ] && [ "$(bytes "$pe" 4)" = 50450000 ] || exit 1
case $(bytes $((pe + 4)) 2) in
    4c01) echo x86 ;;
    6486) echo x64 ;;
    *) exit 1 ;;
esac
