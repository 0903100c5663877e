#!/usr/bin/env bash
# Checks trace_msvc_host.exe (the MSVC-mode C host linked against Trace.lib): it imports Trace.dll's
# functions by ordinal, each the one its name has in Trace.def; and, given a command that runs Windows
# programs (wine64, or 32-bit wine), it runs, exits 0 (every call answered as documented) and its output
# file holds exactly the lines it traced, each with its time stamp.
# usage: check_trace_msvc_host.sh OBJDUMP HOST [RUNNER...]
set -euo pipefail
objdump=$1 host=$2
shift 2

# The rows of Trace.dll's import block: "<thunk> <ordinal> <none>" for an import by ordinal,
# "<thunk> <hint> <name>" for one by name.
rows=$("$objdump" -p "$host" | tr -d '\r' | sed -n '/DLL Name: Trace.dll/,/^[[:space:]]*$/p' | awk 'NF == 3 && $1 ~ /^[0-9a-f]+$/')
named=$(awk '$3 != "<none>"' <<<"$rows")
ordinals=$(awk '$3 == "<none>" { print $2 + 0 }' <<<"$rows" | sort -n | tr '\n' ' ')
# TraceStart 1, TraceStop 2, TraceSetConsole 3, TraceGetFile 5, TraceSetFile 6, TracePrint 8, TraceVPrint 9.
expected="1 2 3 5 6 8 9 "
if [ -n "$named" ] || [ "$ordinals" != "$expected" ]; then
    echo "$(basename "$host") imports from Trace.dll ordinals [$ordinals] (expected [$expected])${named:+ and by name: $named}"
    exit 1
fi
echo "$(basename "$host") imports Trace.dll by ordinal: $ordinals"
[ $# -eq 0 ] && exit 0

output="$(dirname "$host")/trace_msvc_host.txt"
rm -f "$output"
status=0
timeout -k 10 300 "$@" "$host" </dev/null || status=$?
if [ "$status" -ne 0 ]; then
    echo "$(basename "$host") exited with $status (bits: 1 TraceGetFile, 2 TraceStart, 4 TracePrint, 8 TraceVPrint, 16 TraceStop)"
    exit 1
fi
stamp='[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} - '
expected_lines=("msvc host: 42 -7 through Trace.lib x beef" "msvc host: vprint with a va_list 3")
mapfile -t lines < <(tr -d '\r' <"$output" 2>/dev/null)
ok=yes
[ ${#lines[@]} -eq ${#expected_lines[@]} ] || ok=no
for i in "${!expected_lines[@]}"; do
    [[ ${lines[i]:-} =~ ^$stamp(.*)$ ]] && [ "${BASH_REMATCH[1]}" = "${expected_lines[i]}" ] || ok=no
done
echo "$(basename "$output"):"
printf '    %s\n' "${lines[@]}"
if [ $ok = no ]; then
    echo "expected exactly, each after its time stamp:"
    printf '    %s\n' "${expected_lines[@]}"
    exit 1
fi
