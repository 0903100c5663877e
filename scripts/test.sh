#!/usr/bin/env bash
# The test command: installs what is missing, builds every configuration and runs every test, natively
# (plain, AddressSanitizer+UndefinedBehaviorSanitizer, ThreadSanitizer) and under Wine (Windows x86_64),
# and checks the 32-bit Windows DLLs and runs them once under 32-bit Wine (QEMU). Ends with one line
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
run_ctest() {
    local name=$1 log="$PL_BUILD/$1.ctest.log"
    shift
    (cd "$PL_BUILD/$name" && "$@" ctest --output-on-failure --timeout 900) >"$log" 2>&1
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
        if valgrind --error-exitcode=9 --leak-check=full --errors-for-leak-kinds=definite -q \
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
        { [ "$run" = no ] || KITBAG_SETTINGS="$consumer/settings.ini" "$consumer/package_consumer"; } &&
        { [ "$run" = no ] || KITBAG_SETTINGS="$consumer/settings.ini" "$consumer/smoke_host" -logging:103 \
            2>"$PL_BUILD/$name.smoke.log" || { cat "$PL_BUILD/$name.smoke.log"; false; }; }; then
        passed=$((passed + 1))
        echo "$name: installed package found and linked by a host"
    else
        fail "$name: installed package"
    fi
}

# The 32-bit DLLs run: the smoke host, built against the installed package as a host builds, under 32-bit
# Wine (QEMU). One result; its checks are listed. Skipped, and said so, where 32-bit Wine cannot be set up.
run_smoke_32bit() {
    local start=$SECONDS consumer="$PL_BUILD/win-i686-consumer" log="$PL_BUILD/win-i686.smoke.log"
    if ! pl_ensure_wine32 >"$PL_BUILD/win-i686.wine32.log" 2>&1; then
        skipped=$((skipped + 1))
        echo "win-i686: 32-bit smoke run SKIPPED: $PL_WINE32_PROBLEM"
        return
    fi
    local ready=$SECONDS
    if [ ! -f "$consumer/smoke_host.exe" ]; then
        fail "win-i686: 32-bit smoke run (no smoke host: the installed package did not build)"
        return
    fi
    pl_start_xvfb
    pl_start_wine
    local booted=$SECONDS status
    # Its own time limit: a host that hangs fails the step. The settings store lies beside it.
    (cd "$consumer" && env -u KITBAG_SETTINGS timeout -k 10 300 /usr/lib/wine/wine smoke_host.exe -logging:103) \
        </dev/null >"$log" 2>&1
    status=$?
    pl_stop_wine
    pl_stop_xvfb
    tr -d '\r' <"$log" | grep -E '^(ok|not ok) [0-9]+ - |^smoke host: ' | sed 's/^/  /'
    if [ "$status" -eq 0 ] && tr -d '\r' <"$log" | grep -qE '^smoke host: [0-9]+ passed, 0 failed$'; then
        passed=$((passed + 1))
    else
        [ "$status" -eq 124 ] && echo "  (ended by its time limit)"
        tail -n 20 "$log"
        fail "win-i686: 32-bit smoke run (exit $status)"
    fi
    echo "win-i686: 32-bit smoke run under Wine: $((SECONDS - start)) s (installs and QEMU registration" \
        "$((ready - start)) s, Wine prefix $((booted - ready)) s, smoke host $((SECONDS - booted)) s)"
}

# Pictures of the console window, its Reports menu and its About box, for the eye and for the README.
take_screenshots() {
    if bash "$PL_ROOT/scripts/screenshots.sh" "$PL_BUILD/win-x86_64/bin" "$PL_BUILD/screenshots"; then
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
            ;;
        linux-asan)
            run_ctest "$config" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
            ;;
        linux-tsan)
            # ThreadSanitizer needs the fixed memory layout that address-space randomisation can break.
            run_ctest "$config" setarch "$(uname -m)" -R env TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
            ;;
        win-i686)
            # The test programs are built, not run (each 32-bit process start is emulated); the smoke host
            # runs the DLLs once.
            run_ctest "$config"
            check_package "$config" no
            run_smoke_32bit
            ;;
        win-x86_64)
            # GUI tests get a private X server; Wine starts with it.
            pl_start_xvfb
            pl_start_wine
            run_ctest "$config"
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
