#!/bin/sh
# The library exports exactly Install (ordinal 1) and Uninstall (ordinal 2),
# undecorated, at two different addresses.
# Usage: check_exports.sh OBJDUMP harnfold.dll
info=$("$1" -p "$2") || exit 1
table=$(echo "$info" | sed -n '/^Export Address Table --/,/^$/p' | grep 'Export RVA')
names=$(echo "$info" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep '^[[:space:]]*\[ *[0-9]')
echo "$table"
echo "$names"
expected_names="	[   0] Install
	[   1] Uninstall"
[ "$names" = "$expected_names" ] || { echo "FAIL: exported names"; exit 1; }
[ "$(echo "$table" | wc -l)" -eq 2 ] || { echo "FAIL: not exactly two exports"; exit 1; }
echo "$table" | head -1 | grep -q '+base\[   1\]' || { echo "FAIL: ordinal 1"; exit 1; }
echo "$table" | tail -1 | grep -q '+base\[   2\]' || { echo "FAIL: ordinal 2"; exit 1; }
rvas=$(echo "$table" | awk '{print $4}' | sort -u | wc -l)
[ "$rvas" -eq 2 ] || { echo "FAIL: both names lead to one function"; exit 1; }
echo "Install @1 and Uninstall @2, nothing else"
