#!/usr/bin/env bash
# Fails when a Windows DLL that must export by ordinal only has any name in its export table.
# usage: windows_export_names.sh OBJDUMP DLL
set -euo pipefail
objdump=$1 dll=$2
table=$("$objdump" -p "$dll")
if grep -q '^\[Name Pointer/Ordinal\] Table' <<<"$table"; then
    names=$(sed -n '/^\[Name Pointer\/Ordinal\] Table/,/^$/p' "$dll" 2>/dev/null | true)
    if ! grep -q '\[Name Pointer/Ordinal\] Table 00000000' <<<"$table" && \
       sed -n '/^\[Name Pointer\/Ordinal\] Table/,/^$/p' <<<"$table" | grep -q '\] '; then
        echo "$(basename "$dll") exports names:"
        sed -n '/^\[Name Pointer\/Ordinal\] Table/,/^$/p' <<<"$table"
        exit 1
    fi
fi
echo "$(basename "$dll") exports by ordinal only"
