#!/usr/bin/env bash
# The test command: installs what is missing, builds every configuration and runs every test, natively
# (plain, AddressSanitizer+UndefinedBehaviorSanitizer, ThreadSanitizer) and under Wine (Windows x86_64, and
# the 32-bit DLLs we ship under 32-bit Wine through QEMU). Ends with one line
# "N passed, N failed" (", N skipped" when a step could not run here); exits non-zero on any failure.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

passed=0
failed=0
skipped=0
failures=()

fail() {
    failed=$((failed + 1))
    failures+=("$1")
}

# Runs ctest in a build folder and adds its counts; a run that reports no counts is one failure.
# run_ctest NAME [COMMAND PREFIX...] [-- CTEST ARGUMENTS...]
run_ctest() {
    local name=$1 log="$PL_BUILD/$1.ctest.log" prefix=() arguments=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        prefix+=("$1")
        shift
    done
    [ $# -gt 0 ] && shift
    arguments=("$@")
    (cd "$PL_BUILD/$name" && "${prefix[@]}" ctest --output-on-failure --timeout 900 "${arguments[@]}") >"$log" 2>&1
    local summary total bad
    summary=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
    if [ -z "$summary" ]; then
        cat "$log"
        fail "$name: ctest reported no result"
        return
    fi
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
    passed=$((passed + total - bad))
    if [ "$bad" -ne 0 ]; then
        failed=$((failed + bad))
        sed -n '/The following tests FAILED/,$p' "$log" | grep -E '^\s+[0-9]+ - ' | while read -r line; do
            echo "  $name: $line"
        done
        grep -B2 -A40 -E 'Failure|FAILED|ERROR: .*Sanitizer|WARNING: ThreadSanitizer|leaks:|imports .* not a system' "$log" | head -n 200
        failures+=("$name: $bad ctest test(s)")
    fi
    echo "$name: $summary"
}

# The in-process test programs under valgrind's memcheck: uninitialised reads and lost blocks that the
# sanitizers' builds do not see. (Programs that start helper processes are left out: valgrind reports a
# child that could not be started as started.)
check_valgrind() {
    local bin="$PL_BUILD/$1/bin" program log
    for program in kitbag_core_tests console_core_tests clog_builder_tests trace_core_tests; do
        log="$PL_BUILD/$1.valgrind-$program.log"
        if timeout -k 10 900 valgrind --error-exitcode=9 --leak-check=full --errors-for-leak-kinds=definite -q \
            "$bin/$program" --gtest_brief=1 >"$log" 2>&1; then
            passed=$((passed + 1))
        else
            tail -n 40 "$log"
            fail "$1: $program under valgrind"
        fi
    done
    echo "$1: in-process test programs checked under valgrind"
}

# A host outside the tree finds the installed libraries with find_package and links all three.
check_package() {
    local name=$1 run=$2 prefix="$PL_BUILD/$1-install" consumer="$PL_BUILD/$1-consumer"
    local toolchain=()
    # A cross build looks for packages only under its sysroot: name the package folder itself.
    [[ $name == win-* ]] && toolchain=("-DCMAKE_TOOLCHAIN_FILE=$PL_ROOT/cmake/toolchain-mingw-${name#win-}.cmake"
        "-DPelmoraLogging_DIR=$prefix/lib/cmake/PelmoraLogging")
    rm -rf "$prefix" "$consumer"
    if cmake --install "$PL_BUILD/$name" --prefix "$prefix" >/dev/null &&
        cmake -S "$PL_ROOT/tests/package" -B "$consumer" -G Ninja "${toolchain[@]}" \
            -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
        cmake --build "$consumer" >/dev/null &&
        { [ "$run" = no ] || KITBAG_SETTINGS="$consumer/settings.ini" timeout -k 10 300 \
            "$consumer/package_consumer"; } &&
        { [ "$run" = no ] || KITBAG_SETTINGS="$consumer/settings.ini" timeout -k 10 300 \
            "$consumer/smoke_host" -logging:103 \
            2>"$PL_BUILD/$name.smoke.log" || { cat "$PL_BUILD/$name.smoke.log"; false; }; }; then
        passed=$((passed + 1))
        echo "$name: installed package found and linked by a host"
    else
        fail "$name: installed package"
    fi
}

# What a release archive must hold, one path a line (below its top folder).
archive_expected_files() {
    local name=$1 library docs picture
    for library in Trace Console Kitbag TWinString; do
        echo "include/$library.h"
    done
    for library in Config ConfigVersion Targets; do
        echo "lib/cmake/PelmoraLogging/PelmoraLogging$library.cmake"
    done
    # The README beside its pictures: at the top of a Windows archive, in the documentation folder on Linux.
    docs=""
    [[ $name == win-* ]] || docs=share/doc/PelmoraLogging/
    echo "${docs}README.md"
    for picture in "$PL_ROOT"/docs/*.png; do
        echo "${docs}docs/$(basename "$picture")"
    done
    for library in Trace Console Kitbag; do
        if [[ $name == win-* ]]; then
            echo "bin/$library.dll"
            echo "lib/lib$library.dll.a"
        else
            echo "lib/lib$library.so"
        fi
    done
    [[ $name == win-* ]] && echo "lib/Trace.lib"
    # The 32-bit DLLs use the shared GCC runtime, shipped beside them; the 64-bit ones carry theirs.
    [ "$name" = win-i686 ] && printf 'bin/%s\n' libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll
    return 0
}

# The release archive (CPack): made, listed, checked against what it must hold, unpacked into an empty
# folder, and the consumer of tests/package built against the unpacked tree alone; run where this machine
# runs it (natively, or under wine64 with the Wine of the x86_64 step). The i686 consumer is what the
# 32-bit run starts. One result.
check_archive() {
    local name=$1 run=$2 work="$PL_BUILD/$1-archive" consumer="$PL_BUILD/$1-archive-consumer"
    local log="$PL_BUILD/$1.archive.log" archive root listing problems=() toolchain=() wine=()
    rm -rf "$work" "$consumer"
    mkdir -p "$work/unpacked"
    if ! cpack --config "$PL_BUILD/$name/CPackConfig.cmake" -B "$work" >"$log" 2>&1; then
        cat "$log"
        fail "$name: release archive (cpack)"
        return
    fi
    archive=$(find "$work" -maxdepth 1 -type f \( -name 'PelmoraLogging-*.zip' -o -name 'PelmoraLogging-*.tar.gz' \))
    (cd "$work/unpacked" && cmake -E tar xf "$archive")
    root=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
    listing=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
    echo "$name: $(basename "$archive") ($(stat -c %s "$archive") bytes), in $(basename "$root")/:"
    (cd "$root" && while read -r file; do printf '    %-62s %9s bytes\n' "$file" "$(stat -c %s "$file")"; done <<<"$listing")
    local missing extra
    missing=$(LC_ALL=C comm -23 <(archive_expected_files "$name" | LC_ALL=C sort) <(printf '%s\n' "$listing"))
    [ -z "$missing" ] || problems+=("missing: $(echo $missing)")
    # No DLL but ours and the runtime's: the x86_64 DLLs import only system DLLs.
    extra=$(grep -E '\.dll$' <<<"$listing" | LC_ALL=C comm -23 - <(archive_expected_files "$name" | LC_ALL=C sort))
    [ -z "$extra" ] || problems+=("unexpected DLLs: $(echo $extra)")

    # The consumer sees the unpacked tree and nothing else of this build.
    [[ $name == win-* ]] && toolchain=("-DCMAKE_TOOLCHAIN_FILE=$PL_ROOT/cmake/toolchain-mingw-${name#win-}.cmake")
    if ! cmake -S "$PL_ROOT/tests/package" -B "$consumer" -G Ninja "${toolchain[@]}" \
        -DPelmoraLogging_DIR="$root/lib/cmake/PelmoraLogging" -DCMAKE_PREFIX_PATH="$root" >>"$log" 2>&1 ||
        ! cmake --build "$consumer" >>"$log" 2>&1; then
        tail -n 30 "$log"
        problems+=("the consumer did not build against the unpacked archive")
    elif grep -qF -e "$PL_BUILD/$name/" -e "$PL_BUILD/$name-install/" "$consumer/build.ninja" "$consumer/CMakeCache.txt"; then
        problems+=("the consumer's build refers to the build tree: $(grep -ohF -e "$PL_BUILD/$name/" \
            -e "$PL_BUILD/$name-install/" "$consumer/build.ninja" "$consumer/CMakeCache.txt" | sort -u | head -n 3)")
    else
        echo "  consumer built against the unpacked archive only: $(cd "$consumer" && ls -d package_consumer \
            package_consumer.exe smoke_host smoke_host.exe trace_msvc_host.exe 2>/dev/null | tr '\n' ' ')"
        [[ $name == win-* && ! -f "$consumer/trace_msvc_host.exe" ]] &&
            problems+=("no trace_msvc_host.exe (clang, lld-link or llvm-dlltool missing?)")
    fi

    if [ "$run" = yes ] && [ ${#problems[@]} -eq 0 ]; then
        local settings="$consumer/settings.ini" suffix=""
        # Every host has a time limit: one that hangs fails the step instead of holding up the run.
        wine=(timeout -k 10 300)
        if [[ $name == win-* ]]; then
            wine+=(/usr/lib/wine/wine64)
            settings="Z:${settings//\//\\}"
            suffix=.exe
        fi
        if KITBAG_SETTINGS="$settings" "${wine[@]}" "$consumer/package_consumer$suffix" >>"$log" 2>&1; then
            echo "  ran: package_consumer"
        else
            problems+=("package_consumer failed")
        fi
        # The smoke host keeps its settings beside it.
        if ! (cd "$consumer" && env -u KITBAG_SETTINGS "${wine[@]}" "./smoke_host$suffix" -logging:103 \
            </dev/null >"$PL_BUILD/$name.archive-smoke.log" 2>&1); then
            tr -d '\r' <"$PL_BUILD/$name.archive-smoke.log" | grep -E '^not ok|^smoke host:' | sed 's/^/    /'
            problems+=("smoke_host failed")
        else
            echo "  ran: smoke_host ($(tr -d '\r' <"$PL_BUILD/$name.archive-smoke.log" | sed -n 's/^smoke host: //p'))"
        fi
        if [[ $name == win-* ]]; then
            if "$PL_ROOT/tests/msvc_host/check_trace_msvc_host.sh" "${name#win-}-w64-mingw32-objdump" \
                "$consumer/trace_msvc_host.exe" "${wine[@]}" >>"$log" 2>&1; then
                echo "  ran: trace_msvc_host (MSVC-mode C host, the archive's Trace.lib), its output file checked"
            else
                problems+=("trace_msvc_host failed")
            fi
        fi
    fi
    if [ ${#problems[@]} -eq 0 ]; then
        passed=$((passed + 1))
        echo "$name: release archive made, complete, and a host built against its unpacked tree"
    else
        printf '  %s\n' "${problems[@]}"
        fail "$name: release archive"
    fi
}

# The 32-bit DLLs we ship, run: every test program of win-i686 under 32-bit Wine (QEMU), GUI tests under a
# private Xvfb, the same list as win-x86_64; then, in the same Wine, the smoke host built against the
# unpacked release archive as a host builds, and the MSVC-mode host of the archive's Trace.lib (one result
# each; the smoke host's checks are listed). Where 32-bit Wine cannot be set up, only the checks of the
# binaries run, and the rest is SKIPPED with the reason.
run_win_i686() {
    local start=$SECONDS
    if ! pl_ensure_wine32 >"$PL_BUILD/win-i686.wine32.log" 2>&1; then
        run_ctest win-i686 -- -L binary
        local programs
        programs=$(cd "$PL_BUILD/win-i686" && ctest -N -LE binary | sed -n 's/^Total Tests: //p')
        skipped=$((skipped + ${programs:-0} + 2))
        echo "win-i686: ${programs:-0} test programs under 32-bit Wine, the 32-bit smoke run and the MSVC-mode" \
            "host SKIPPED: $PL_WINE32_PROBLEM"
        return
    fi
    local ready=$SECONDS
    # A prefix made before 32-bit Wine was installed has no 32-bit system ("could not load kernel32.dll"):
    # it is made again.
    local prefix="$PL_BUILD/wineprefix"
    [ -d "$prefix" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] && rm -rf "$prefix"
    pl_start_xvfb
    pl_start_wine
    local booted=$SECONDS
    # One program at a time: emulated, two at once on two cores make the GUI tests' waits too short.
    run_ctest win-i686 -- --timeout 1800
    local tested=$SECONDS
    run_archive_hosts_32bit
    pl_stop_wine
    pl_stop_xvfb
    echo "win-i686: 32-bit run under Wine: $((SECONDS - start)) s (installs and QEMU registration" \
        "$((ready - start)) s, Wine prefix $((booted - ready)) s, test programs $((tested - booted)) s," \
        "archive hosts $((SECONDS - tested)) s)"
}

# The smoke host and the MSVC-mode host of the unpacked i686 archive, under the running 32-bit Wine.
run_archive_hosts_32bit() {
    local consumer="$PL_BUILD/win-i686-archive-consumer" log="$PL_BUILD/win-i686.smoke.log"
    if [ ! -f "$consumer/smoke_host.exe" ]; then
        fail "win-i686: 32-bit smoke run (no smoke host: the consumer of the archive did not build)"
        fail "win-i686: MSVC-mode host under 32-bit Wine (not built)"
        return
    fi
    local status
    # Its own time limit: a host that hangs fails the step. The settings store lies beside it.
    (cd "$consumer" && env -u KITBAG_SETTINGS timeout -k 10 300 /usr/lib/wine/wine smoke_host.exe -logging:103) \
        </dev/null >"$log" 2>&1
    status=$?
    local msvc_log="$PL_BUILD/win-i686.msvc-host.log"
    "$PL_ROOT/tests/msvc_host/check_trace_msvc_host.sh" i686-w64-mingw32-objdump "$consumer/trace_msvc_host.exe" \
        /usr/lib/wine/wine >"$msvc_log" 2>&1
    local msvc_status=$?
    tr -d '\r' <"$log" | grep -E '^(ok|not ok) [0-9]+ - |^smoke host: ' | sed 's/^/  /'
    if [ "$status" -eq 0 ] && tr -d '\r' <"$log" | grep -qE '^smoke host: [0-9]+ passed, 0 failed$'; then
        passed=$((passed + 1))
    else
        [ "$status" -eq 124 ] && echo "  (ended by its time limit)"
        tail -n 20 "$log"
        fail "win-i686: 32-bit smoke run (exit $status)"
    fi
    if [ "$msvc_status" -eq 0 ]; then
        passed=$((passed + 1))
        sed 's/^/  /' "$msvc_log"
        echo "win-i686: MSVC-mode host (the archive's Trace.lib) ran under 32-bit Wine, its output file checked"
    else
        tail -n 20 "$msvc_log"
        fail "win-i686: MSVC-mode host under 32-bit Wine"
    fi
}

# Pictures of the console window, its Reports menu and its About box, for the eye and for the README.
take_screenshots() {
    # Its hosts have time limits of their own; this one bounds the script as a whole.
    if timeout -k 10 600 bash "$PL_ROOT/scripts/screenshots.sh" "$PL_BUILD/win-x86_64/bin" \
        "$PL_BUILD/screenshots"; then
        passed=$((passed + 1))
        echo "win-x86_64: screenshots in $PL_BUILD/screenshots"
    else
        fail "win-x86_64: screenshots"
    fi
}

mkdir -p "$PL_BUILD"
pl_ensure_packages "${PL_NATIVE_PACKAGES[@]}" "${PL_WINDOWS_PACKAGES[@]}" || exit 1

start=$(date +%s)
for config in linux-debug linux-asan linux-tsan win-i686 win-x86_64; do
    # shellcheck disable=SC2046
    if ! pl_configure "$config" $(pl_config_args "$config") || ! pl_build "$config" >"$PL_BUILD/$config.build.log" 2>&1; then
        tail -n 60 "$PL_BUILD/$config.build.log" 2>/dev/null
        fail "$config: build"
        continue
    fi
    echo "$config: built ($(($(date +%s) - start)) s so far)"
    case $config in
        linux-debug)
            run_ctest "$config"
            check_valgrind "$config"
            check_package "$config" yes
            check_archive "$config" yes
            ;;
        linux-asan)
            run_ctest "$config" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
            ;;
        linux-tsan)
            # ThreadSanitizer needs the fixed memory layout that address-space randomisation can break.
            run_ctest "$config" setarch "$(uname -m)" -R env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
            ;;
        win-i686)
            check_package "$config" no
            check_archive "$config" no
            run_win_i686
            ;;
        win-x86_64)
            # GUI tests get a private X server; Wine starts with it.
            pl_start_xvfb
            pl_start_wine
            run_ctest "$config"
            check_archive "$config" yes
            take_screenshots
            pl_stop_wine
            pl_stop_xvfb
            ;;
    esac
done

echo "Took $(($(date +%s) - start)) s."
for failure in "${failures[@]}"; do
    echo "FAILED: $failure"
done
if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
else
    echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
