#!/usr/bin/env bash
# Fails unless a shared library exports exactly the names of its list: every listed name, nothing else.
# usage: exports.sh linux|windows TOOL LIBRARY LIST
#   linux:   TOOL is nm; the dynamic symbols LIBRARY defines
#   windows: TOOL is the target's objdump; the names of the DLL's export table
# LIST holds one demangled name a line; "linux: NAME" or "windows: NAME" for a name of one platform only;
# "#" starts a comment line. Names are compared demangled (c++filt), each once.
set -euo pipefail
platform=$1 tool=$2 library=$3 list=$4
name=$(basename "$library")

case $platform in
    linux) exported=$("$tool" -D --defined-only "$library" | awk 'NF == 3 { print $3 }') ;;
    windows)
        # The rows of "[Ordinal/Name Pointer] Table": "[   0] NAME".
        exported=$("$tool" -p "$library" | tr -d '\r' |
            sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p')
        ;;
    *)
        echo "unknown platform $platform" >&2
        exit 2
        ;;
esac
actual=$(printf '%s\n' "$exported" | sed '/^$/d' | c++filt | LC_ALL=C sort -u)
expected=$(sed -e '/^#/d' -e '/^[[:space:]]*$/d' "$list" |
    awk -v platform="$platform" '!match($0, /^[a-z]+: /) { print; next }
        substr($0, 1, RLENGTH - 2) == platform { print substr($0, RLENGTH + 1) }' | LC_ALL=C sort -u)

missing=$(LC_ALL=C comm -23 <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed '/^$/d')
extra=$(LC_ALL=C comm -13 <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed '/^$/d')
[ -z "$missing" ] || printf '%s does not export: %s\n' "$name" "$missing" | sed '2,$s/^/    /'
[ -z "$extra" ] || printf '%s exports, unlisted: %s\n' "$name" "$extra" | sed '2,$s/^/    /'
echo "$name exports $(grep -c . <<<"$actual" || true) names; $(basename "$list") lists $(grep -c . <<<"$expected" || true)"
[ -z "$missing" ] && [ -z "$extra" ]
