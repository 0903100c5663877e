# Shared by the entry scripts: where things are and how packages get installed.
# shellcheck shell=bash

PL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PL_BUILD=${PL_BUILD_DIR:-$PL_ROOT/build}
PL_JOBS=$(nproc 2>/dev/null || echo 2)

# Packages every build needs, and those the Windows builds and their tests add. clang, lld and llvm give
# the MSVC-style tools: llvm-dlltool (Trace.lib), and clang with lld-link for the host that links it;
# fonts-wine, Wine's own fonts, the glyphs of the title bars' buttons (Marlett) among them.
PL_NATIVE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
    libspdlog-dev binutils gdb valgrind pkg-config)
PL_WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 xvfb xauth
    x11-apps x11-utils imagemagick clang lld llvm fonts-wine)

# Installs, as root with apt-get, whichever of the named packages are missing.
pl_ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages and not root: install them with apt-get first." >&2
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >/dev/null && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Whether CMakePresets.json has a configure preset of that name.
pl_is_preset() {
    (cd "$PL_ROOT" && cmake --list-presets=configure 2>/dev/null) | grep -qF "\"$1\""
}

# pl_configure NAME [--preset PRESET] [cmake arguments...]: configures $PL_BUILD/NAME. Its configuration is
# the preset PRESET of CMakePresets.json, or the preset NAME when there is one (the one place the five
# configurations are written down); otherwise a plain Ninja build of the arguments alone.
pl_configure() {
    local name=$1 preset="" origin
    shift
    if [ "${1:-}" = --preset ]; then
        preset=$2
        shift 2
    elif pl_is_preset "$name"; then
        preset=$name
    fi
    if [ -n "$preset" ]; then origin=(--preset "$preset"); else origin=(-G Ninja); fi
    mkdir -p "$PL_BUILD"
    cmake -S "$PL_ROOT" "${origin[@]}" -B "$PL_BUILD/$name" "$@" >"$PL_BUILD/$name.configure.log" 2>&1 || {
        cat "$PL_BUILD/$name.configure.log"
        return 1
    }
}

# pl_build_target NAME TARGET: builds one target quietly, showing the build's output when it fails.
pl_build_target() {
    cmake --build "$PL_BUILD/$1" --parallel "$PL_JOBS" --target "$2" >"$PL_BUILD/$1.build.log" 2>&1 || {
        tail -n 40 "$PL_BUILD/$1.build.log"
        return 1
    }
}

pl_build() {
    cmake --build "$PL_BUILD/$1" --parallel "$PL_JOBS"
}

# 32-bit Wine. This kind of machine's kernel does not start 32-bit ELF programs, so the 32-bit Wine loader
# runs under QEMU's user-mode emulator, registered for 32-bit ELF programs through binfmt_misc. QEMU 7.2
# (Debian 12's own) does not give its guests MAP_FIXED_NOREPLACE, and Wine's reservation of its address
# space then probes in 64 KB steps: minutes per process start. With QEMU 10 a start takes seconds, so on
# Debian 12 QEMU comes from bookworm-backports.
PL_QEMU_I386=/usr/bin/qemu-i386
PL_QEMU_MIN_MAJOR=10
PL_BINFMT=/proc/sys/fs/binfmt_misc
# Magic and mask of 32-bit little-endian x86 ELF executables and shared objects (e_machine 3).
PL_BINFMT_I386=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

pl_qemu_is_recent() {
    local version
    version=$("$PL_QEMU_I386" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p' | head -n 1)
    [ -n "$version" ] && [ "$version" -ge "$PL_QEMU_MIN_MAJOR" ]
}

pl_binfmt_registered() {
    [ -r "$PL_BINFMT/qemu-i386" ] && grep -qx enabled "$PL_BINFMT/qemu-i386" &&
        grep -qx "interpreter $PL_QEMU_I386" "$PL_BINFMT/qemu-i386"
}

# The mirror and key of the machine's own apt source for a Debian suite, as "URI KEYRING" (KEYRING may be
# empty): from one-line entries ("deb [signed-by=...] URI SUITE ...") and from deb822 stanzas (URIs:, Suites:,
# Signed-By:). Nothing when no source serves the suite.
pl_apt_source_of() {
    local suite=$1 file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -r "$file" ] || continue
        awk -v suite="$suite" '$1 == "deb" {
            key = ""; i = 2
            if ($2 ~ /^\[/) {
                for (; i <= NF; i++) {
                    if ($i ~ /signed-by=/) { key = $i; sub(/.*signed-by=/, "", key); sub(/\]$/, "", key) }
                    if ($i ~ /\]$/) { i++; break }
                }
            }
            if ($(i + 1) == suite) { print $i, key; exit }
        }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -r "$file" ] || continue
        awk -v suite="$suite" '
            function emit() { if (uri != "" && serves && enabled) { print uri, key; found = 1 } }
            /^[ \t]*$/ { emit(); if (found) exit; uri = ""; key = ""; serves = 0; enabled = 1; next }
            /^URIs:/ { uri = $2 }
            /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) serves = 1 }
            /^Signed-By:/ { key = $2 }
            /^Enabled: *no/ { enabled = 0 }
            BEGIN { enabled = 1 }
            END { if (!found) emit() }' "$file"
    done | head -n 1
}

# Adds CODENAME-backports from the same mirror (and key) as the machine's source for CODENAME.
pl_add_backports() {
    local codename=$1 source uri key
    source=$(pl_apt_source_of "$codename")
    [ -n "$source" ] || return 1
    read -r uri key <<<"$source"
    {
        echo "Types: deb"
        echo "URIs: $uri"
        echo "Suites: $codename-backports"
        echo "Components: main"
        [ -z "$key" ] || echo "Signed-By: $key"
    } >"/etc/apt/sources.list.d/$codename-backports.sources"
}

# Makes 32-bit Windows programs run: wine32:i386, a recent QEMU and its binfmt_misc registration (as root,
# installing and registering what is missing). Returns 1 with the reason in PL_WINE32_PROBLEM when that
# cannot be done here.
pl_ensure_wine32() {
    PL_WINE32_PROBLEM=""
    local root=yes
    [ "$(id -u)" -eq 0 ] || root=no
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
        [ $root = yes ] || { PL_WINE32_PROBLEM="wine32:i386 is missing and this is not root"; return 1; }
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends wine32:i386; }; then
            PL_WINE32_PROBLEM="cannot install wine32:i386"
            return 1
        fi
    fi
    if ! pl_qemu_is_recent; then
        [ $root = yes ] || { PL_WINE32_PROBLEM="QEMU $PL_QEMU_MIN_MAJOR or later is missing and this is not root"; return 1; }
        local suite=()
        # shellcheck disable=SC1091
        if [ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ]; then
            suite=(-t bookworm-backports)
            if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ &&
                ! pl_add_backports bookworm; then
                PL_WINE32_PROBLEM="no Debian mirror for bookworm in the apt sources, so no bookworm-backports"
                return 1
            fi
        fi
        apt-get update -qq && apt-get install -y -qq --no-install-recommends "${suite[@]}" qemu-user
        if ! pl_qemu_is_recent; then
            PL_WINE32_PROBLEM="cannot install QEMU $PL_QEMU_MIN_MAJOR or later (qemu-user)"
            return 1
        fi
    fi
    if ! pl_binfmt_registered; then
        [ $root = yes ] || { PL_WINE32_PROBLEM="QEMU is not registered for 32-bit programs and this is not root"; return 1; }
        if [ ! -e "$PL_BINFMT/register" ] && ! mount -t binfmt_misc binfmt_misc "$PL_BINFMT"; then
            PL_WINE32_PROBLEM="binfmt_misc cannot be mounted on $PL_BINFMT"
            return 1
        fi
        [ -e "$PL_BINFMT/qemu-i386" ] && echo -1 >"$PL_BINFMT/qemu-i386"
        # F: the kernel opens the emulator now, so it also serves programs in other mount namespaces.
        if ! printf '%s' "$PL_BINFMT_I386:$PL_QEMU_I386:F" >"$PL_BINFMT/register" || ! pl_binfmt_registered; then
            PL_WINE32_PROBLEM="QEMU cannot be registered with binfmt_misc"
            return 1
        fi
    fi
    if ! timeout 60 /usr/lib/wine/wine --version </dev/null >/dev/null 2>&1; then
        PL_WINE32_PROBLEM="the 32-bit Wine loader does not start under QEMU"
        return 1
    fi
}

# Wine: one prefix under the build tree, a persistent server booted once with every descriptor detached
# (otherwise Wine's helpers keep ctest's output pipe open and it never returns).
pl_start_wine() {
    # No debugger on a crash: a crashing test program fails at once instead of waiting in winedbg.
    export WINEPREFIX="$PL_BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
    # No Mono or Gecko: their installers would ask on the X display and wait for an answer.
    WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" timeout -k 10 600 /usr/lib/wine/wine64 wineboot \
        </dev/null >/dev/null 2>&1
}

pl_stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k </dev/null >/dev/null 2>&1
    return 0
}

# A private X server on a free display; DISPLAY is exported for what runs after.
pl_start_xvfb() {
    local display_file="$PL_BUILD/xvfb.display"
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" </dev/null >/dev/null 2>&1 &
    PL_XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(tr -d '[:space:]' <"$display_file")"
}

pl_stop_xvfb() {
    [ -n "${PL_XVFB_PID:-}" ] && kill "$PL_XVFB_PID" 2>/dev/null
    return 0
}
