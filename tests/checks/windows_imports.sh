#!/usr/bin/env bash
# Fails when a Windows DLL imports anything but system DLLs and the DLLs it may link, or misses one it must
# import.
# usage: windows_imports.sh OBJDUMP DLL [[+]DLL_NAME...]
#   DLL_NAME    may be imported (a library of ours, a runtime DLL)
#   +DLL_NAME   must be imported: with the shared GCC runtime every module imports the runtime's unwinder
#               (libgcc_s_dw2-1.dll), so none carries an unwinder of its own that would not see the others'
#               unwind tables
set -euo pipefail
objdump=$1 dll=$2
shift 2
system='^(kernel32|user32|gdi32|advapi32|comdlg32|ole32|oleaut32|shell32|msvcrt|ntdll|ws2_32|comctl32|version|api-ms-win-[a-z0-9-]+)\.dll$'
allowed=$(printf '%s\n' "$@" | sed 's/^+//' | tr 'A-Z' 'a-z')
required=$(printf '%s\n' "$@" | sed -n 's/^+//p' | tr 'A-Z' 'a-z')
name=$(basename "$dll")
bad=0
imports=$("$objdump" -p "$dll" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
lowered=$(printf '%s\n' "$imports" | tr 'A-Z' 'a-z')
for import in $imports; do
    lower=$(printf '%s' "$import" | tr 'A-Z' 'a-z')
    if [[ $lower =~ $system ]] || grep -qxF "$lower" <<<"$allowed"; then
        continue
    fi
    echo "$name imports $import, which is not a system DLL"
    bad=1
done
for must in $required; do
    if ! grep -qxF "$must" <<<"$lowered"; then
        echo "$name does not import $must"
        bad=1
    fi
done
echo "$name imports:" $imports
exit $bad
