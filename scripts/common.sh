# Shared by the entry scripts: where things are and how packages get installed.
# shellcheck shell=bash

PL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PL_BUILD=${PL_BUILD_DIR:-$PL_ROOT/build}
PL_JOBS=$(nproc 2>/dev/null || echo 2)

# Packages every build needs, and those the Windows builds and their tests add.
PL_NATIVE_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
    libspdlog-dev binutils gdb valgrind)
PL_WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 xvfb xauth
    x11-apps x11-utils imagemagick)

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

# pl_configure NAME [cmake arguments...]: configures build/NAME with Ninja.
pl_configure() {
    local name=$1
    shift
    cmake -S "$PL_ROOT" -B "$PL_BUILD/$name" -G Ninja "$@" >"$PL_BUILD/$name.configure.log" 2>&1 || {
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

# Configurations: name, then its cmake arguments.
pl_config_args() {
    case $1 in
        linux-debug) echo "-DCMAKE_BUILD_TYPE=Debug -DPL_BUILD_BENCH=ON" ;;
        linux-asan) echo "-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPL_SANITIZE=address,undefined -DPL_BUILD_FUZZERS=ON" ;;
        linux-tsan) echo "-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DPL_SANITIZE=thread" ;;
        win-i686) echo "-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$PL_ROOT/cmake/toolchain-mingw-i686.cmake" ;;
        win-x86_64) echo "-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$PL_ROOT/cmake/toolchain-mingw-x86_64.cmake" ;;
        *) return 1 ;;
    esac
}

# Wine: one prefix under the build tree, a persistent server booted once with every descriptor detached
# (otherwise Wine's helpers keep ctest's output pipe open and it never returns).
pl_start_wine() {
    # No debugger on a crash: a crashing test program fails at once instead of waiting in winedbg.
    export WINEPREFIX="$PL_BUILD/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d"
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
    # No Mono or Gecko: their installers would ask on the X display and wait for an answer.
    WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
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
