#!/usr/bin/env bash
# The demo command: builds the libraries and the demo host and runs it.
#   scripts/demo.sh          natively on Linux
#   scripts/demo.sh --wine   the Windows (x86_64) build under Wine; it opens the console window (on a
#                            private X server when DISPLAY is not set) and closes it after a few seconds
# The demo keeps its settings in build/demo-settings.ini, never in your own settings file, and runs with
# -logging:0x107 (CLog to its own file, the console pipeline and COM error information).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

mkdir -p "$PL_BUILD"
if [ "${1:-}" = "--wine" ]; then
    pl_ensure_packages cmake ninja-build g++-mingw-w64-x86-64-posix wine64 xvfb xauth
    config=win-demo
    pl_configure "$config" --preset win-x86_64 -DPL_BUILD_TESTS=OFF
    pl_build_target "$config" demo_host
    [ -n "${DISPLAY:-}" ] || pl_start_xvfb
    pl_start_wine
    trap 'pl_stop_wine; pl_stop_xvfb' EXIT
    rm -f "$PL_BUILD/$config/bin/demo_host.exe.log"
    KITBAG_SETTINGS="$PL_BUILD/demo-settings.ini" /usr/lib/wine/wine64 "$PL_BUILD/$config/bin/demo_host.exe" -logging:0x107 --unattended 4
else
    pl_ensure_packages cmake ninja-build g++
    config=demo
    pl_configure "$config" -DCMAKE_BUILD_TYPE=Debug -DPL_BUILD_TESTS=OFF
    pl_build_target "$config" demo_host
    rm -f "$PL_BUILD/$config/bin/demo_host.log"
    KITBAG_SETTINGS="$PL_BUILD/demo-settings.ini" "$PL_BUILD/$config/bin/demo_host" -logging:0x107
fi
