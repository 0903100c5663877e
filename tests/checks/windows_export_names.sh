#!/usr/bin/env bash
# Fails unless a Windows DLL exports exactly COUNT entries, by ordinal only (no name in its export table).
# usage: windows_export_names.sh OBJDUMP DLL COUNT
set -euo pipefail
objdump=$1 dll=$2 expected=$3
table=$("$objdump" -p "$dll" | tr -d '\r')
count_of() { sed -n "s/^[[:space:]]*$1[[:space:]]*\([0-9a-fA-F]*\)$/\1/p" <<<"$table" | head -n 1; }
entries=$(count_of 'Export Address Table')
names=$(count_of '\[Name Pointer\/Ordinal\] Table')
entries=$((16#${entries:-0}))
names=$((16#${names:-0}))
name=$(basename "$dll")
if [ "$names" -ne 0 ]; then
    echo "$name exports $names names:"
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table"
    exit 1
fi
if [ "$entries" -ne "$expected" ]; then
    echo "$name exports $entries entries, expected $expected"
    exit 1
fi
echo "$name exports $entries entries by ordinal only"
