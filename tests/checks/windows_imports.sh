#!/usr/bin/env bash
# Fails when a Windows DLL imports anything but system DLLs and the libraries it may link.
# usage: windows_imports.sh OBJDUMP DLL [ALLOWED_EXTRA_DLL...]
set -euo pipefail
objdump=$1 dll=$2
shift 2
system='^(kernel32|user32|gdi32|advapi32|comdlg32|ole32|oleaut32|shell32|msvcrt|ntdll|ws2_32|comctl32|version|api-ms-win-[a-z0-9-]+)\.dll$'
extra=$(printf '%s\n' "$@" | tr 'A-Z' 'a-z')
bad=0
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
for name in $imports; do
    lower=$(printf '%s' "$name" | tr 'A-Z' 'a-z')
    if [[ $lower =~ $system ]] || grep -qxF "$lower" <<<"$extra"; then
        continue
    fi
    echo "$(basename "$dll") imports $name, which is not a system DLL"
    bad=1
done
echo "$(basename "$dll") imports:" $imports
exit $bad
