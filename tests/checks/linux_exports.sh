#!/usr/bin/env bash
# Fails when a Linux shared library exports a symbol its public API does not name.
# usage: linux_exports.sh LIBRARY ALLOWED_PATTERNS_FILE   (one extended regex per line, on demangled names)
set -euo pipefail
library=$1 allowed=$2
symbols=$(nm -D --defined-only -C "$library" | sed -E 's/^[0-9a-fA-F]+ [A-Za-z] //')
patterns=$(grep -v '^#' "$allowed" | sed '/^$/d' || true)
bad=0
while IFS= read -r symbol; do
    [ -z "$symbol" ] && continue
    if [ -n "$patterns" ] && grep -qE -f <(printf '%s\n' "$patterns") <<<"$symbol"; then
        continue
    fi
    echo "$(basename "$library") leaks: $symbol"
    bad=1
done <<<"$symbols"
echo "$(basename "$library") exports $(grep -c . <<<"$symbols" || true) symbols"
exit $bad
