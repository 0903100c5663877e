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
    for program in kitbag_core_tests kitbag_drops_tests console_core_tests clog_builder_tests trace_core_tests; do
        log="$PL_BUILD/$1.valgrind-$program.log"
        # Fair scheduling: with valgrind's default lock a thread that spins with yield() can keep the one it
        # waits for from running for minutes (trace_core_tests once took 13 minutes here instead of 80 s).
        if timeout -k 10 900 valgrind --fair-sched=yes --error-exitcode=9 --leak-check=full \
            --errors-for-leak-kinds=definite -q \
            "$bin/$program" --gtest_brief=1 >"$log" 2>&1; then
            passed=$((passed + 1))
        else
            tail -n 40 "$log"
            fail "$1: $program under valgrind"
        fi
    done
    echo "$1: in-process test programs checked under valgrind"
}

# A host built without CMake: the smoke host (all three libraries) and its unload helper, compiled and
# linked with nothing but what pkg-config says of the installed tree, then run (with RUN yes).
# pkg_config_host PREFIX FOLDER RUN
pkg_config_host() {
    local prefix=$1 folder=$2 run=$3 flags libdir
    local -x PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=""
    flags=$(pkg-config --cflags --libs pelmora-kitbag pelmora-trace pelmora-console) || return 1
    libdir=$(pkg-config --variable=libdir pelmora-console) || return 1
    mkdir -p "$folder"
    # shellcheck disable=SC2086
    g++ -std=c++17 -o "$folder/smoke_host" "$PL_ROOT/tests/smoke/smoke_host.cpp" \
        "$PL_ROOT/tests/smoke/smoke_platform_posix.cpp" -DPL_SMOKE_EXPECTED_VERSION="\"$(package_version)\"" \
        $flags "-Wl,-rpath,$libdir" &&
        g++ -std=c++17 -o "$folder/smoke_unload_host" "$PL_ROOT/tests/smoke/smoke_unload_host_posix.cpp" -ldl ||
        return 1
    [ "$run" = no ] || KITBAG_SETTINGS="$folder/settings.ini" timeout -k 10 300 "$folder/smoke_host" \
        -logging:103 2>"$folder/smoke.log" || { cat "$folder/smoke.log"; return 1; }
}

# A host outside the tree finds the installed libraries with find_package and links all three; on Linux
# another finds them with pkg-config.
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
            2>"$PL_BUILD/$name.smoke.log" || { cat "$PL_BUILD/$name.smoke.log"; false; }; } &&
        { [[ $name == win-* ]] || pkg_config_host "$prefix" "$consumer/pkg-config" "$run"; }; then
        passed=$((passed + 1))
        echo "$name: installed package found and linked by a host (CMake and, on Linux, pkg-config)"
    else
        fail "$name: installed package"
    fi
}

# The package's version, as the public header PelmoraVersion.h has it (the build takes it from there too).
package_version() {
    sed -n 's/^#define PELMORA_VERSION_STRING "\(.*\)"$/\1/p' "$PL_ROOT/include/PelmoraVersion.h"
}

# What a release archive must hold, one path a line below its top folder (files, and on Linux the
# libraries' links); nothing else may be in it.
archive_expected_files() {
    local name=$1 version library picture arch
    version=$(package_version)
    for library in Trace Console Kitbag TWinString PelmoraVersion; do
        echo "include/$library.h"
    done
    # A Release build: the targets' configuration file is the Release one.
    for library in Config ConfigVersion Targets Targets-release; do
        echo "lib/cmake/PelmoraLogging/PelmoraLogging$library.cmake"
    done
    if [[ $name == win-* ]]; then
        arch=${name#win-}
        for library in Trace Console Kitbag; do
            echo "bin/$library.dll"
            echo "lib/lib$library.dll.a"
        done
        echo "lib/Trace.lib"
        # The 32-bit DLLs use the shared GCC runtime, shipped beside them; the 64-bit ones carry theirs.
        [ "$arch" = i686 ] && printf 'bin/%s\n' libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll
        # At the top: the README with its pictures, the license, the change log and the examples it names.
        printf '%s\n' README.md LICENSE CHANGELOG.md examples/CMakeLists.txt examples/host.cpp \
            "examples/toolchain-mingw-$arch.cmake" examples/msvc/trace_msvc_host.c
        if [ "$arch" = i686 ]; then echo examples/msvc/kernel32_i386.def; else echo examples/msvc/kernel32_x86_64.def; fi
        for picture in "$PL_ROOT"/docs/*.png; do
            echo "docs/$(basename "$picture")"
        done
    else
        # Each library, the link its SONAME names and the link the linker finds.
        for library in Trace Console Kitbag; do
            printf 'lib/lib%s.so%s\n' "$library" "" "$library" ".${version%%.*}" "$library" ".$version"
        done
        # The pkg-config files beside the CMake package.
        printf 'lib/pkgconfig/pelmora-%s.pc\n' trace console kitbag
        printf 'share/doc/PelmoraLogging/%s\n' README.md LICENSE CHANGELOG.md examples/CMakeLists.txt examples/host.cpp
    fi
    return 0
}

# What the symbols archive must hold: each library's debug information, in the library's folder.
archive_expected_symbols() {
    local library
    for library in Trace Console Kitbag; do
        if [[ $1 == win-* ]]; then
            echo "bin/$library.dll.debug"
        else
            echo "lib/lib$library.so.$(package_version).debug"
        fi
    done
}

# The files and links below a folder, one path a line, sorted.
tree_listing() {
    (cd "$1" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
}

# Prints the paths of a listing (standard input) below ROOT with their sizes, or where a link points.
print_listing() {
    local root=$1 file
    while read -r file; do
        if [ -L "$root/$file" ]; then
            printf '    %-62s -> %s\n' "$file" "$(readlink "$root/$file")"
        else
            printf '    %-62s %9s bytes\n' "$file" "$(stat -c %s "$root/$file")"
        fi
    done
}

# listing_problems WHAT LISTING: compares the listing with what must be in it (standard input), both ways.
listing_problems() {
    local expected missing extra
    expected=$(LC_ALL=C sort)
    missing=$(LC_ALL=C comm -23 <(printf '%s\n' "$expected") <(printf '%s\n' "$2") | sed '/^$/d')
    extra=$(LC_ALL=C comm -13 <(printf '%s\n' "$expected") <(printf '%s\n' "$2") | sed '/^$/d')
    [ -z "$missing" ] || echo "$1 misses: $(echo $missing)"
    [ -z "$extra" ] || echo "$1 holds what it should not: $(echo $extra)"
    return 0
}

# The build a release archive is made from, in PL_ARCHIVE_SOURCE: for Windows the configuration's own (a
# Release build); for Linux, whose tested configuration is a Debug build, build/linux-release: the
# libraries alone, Release, configured and built here.
archive_source_build() {
    if [[ $1 == win-* ]]; then
        PL_ARCHIVE_SOURCE=$PL_BUILD/$1
        return 0
    fi
    PL_ARCHIVE_SOURCE=$PL_BUILD/linux-release
    pl_configure linux-release -DCMAKE_BUILD_TYPE=Release -DPL_BUILD_TESTS=OFF -DPL_BUILD_EXAMPLES=OFF &&
        pl_build linux-release >"$PL_BUILD/linux-release.build.log" 2>&1 ||
        { tail -n 40 "$PL_BUILD/linux-release.build.log"; return 1; }
}

# The archive's libraries are optimised Release builds whose debug information is in the symbols archive
# (unpacked over ROOT): each library has a debug link and no debug information of its own, its .debug file
# has it, and each of its own compilation units was compiled with optimisation (-O2 or -O3). On Linux
# each library is lib<Name>.so.<version> with the SONAME lib<Name>.so.<major>, linked from that name and
# from lib<Name>.so. Prints what is wrong.
release_library_problems() {
    local name=$1 root=$2 tools="" version major library file sections units
    [[ $name == win-* ]] && tools=${name#win-}-w64-mingw32-
    version=$(package_version)
    major=${version%%.*}
    for library in Trace Console Kitbag; do
        if [[ $name == win-* ]]; then file=bin/$library.dll; else file=lib/lib$library.so.$version; fi
        sections=$("${tools}objdump" -h "$root/$file" 2>&1)
        grep -q ' \.gnu_debuglink ' <<<"$sections" || echo "$file has no debug link"
        grep -q ' \.debug_info ' <<<"$sections" && echo "$file holds debug information"
        # Per compilation unit of our sources (their paths begin with /PelmoraLogging/): "name producer".
        units=$("${tools}objdump" --dwarf=info "$root/$file.debug" 2>/dev/null | awk '
            /DW_TAG_compile_unit/ { if (name != "") print name, producer; name = ""; producer = "" }
            /DW_AT_producer/ && producer == "" { producer = $0 }
            /DW_AT_name/ && name == "" { name = $NF }
            END { if (name != "") print name, producer }' | grep '^/PelmoraLogging/')
        if [ -z "$units" ]; then
            echo "$file.debug holds no debug information of the libraries' sources"
        elif grep -qvE ' -O[23]( |$)' <<<"$units"; then
            echo "$file: compiled without optimisation: $(grep -vE ' -O[23]( |$)' <<<"$units" | head -n 2)"
        fi
        if [[ $name != win-* ]]; then
            readelf -d "$root/$file" | grep -q "(SONAME).*\[lib$library\.so\.$major\]" ||
                echo "$file: SONAME is not lib$library.so.$major"
            [ "$(readlink "$root/lib/lib$library.so.$major")" = "lib$library.so.$version" ] &&
                [ "$(readlink "$root/lib/lib$library.so")" = "lib$library.so.$major" ] ||
                echo "lib/lib$library.so and lib/lib$library.so.$major do not link to $file"
        fi
    done
    return 0
}

# The README of an unpacked archive: at its top on Windows, in its documentation folder on Linux.
archive_readme() {
    if [[ $1 == win-* ]]; then echo "$2/README.md"; else echo "$2/share/doc/PelmoraLogging/README.md"; fi
}

# Every path a README names below the archive's folder: bin/..., lib/..., include/..., examples/...,
# docs/..., share/... (with or without $PELMORA/ in front), README.md, LICENSE and CHANGELOG.md; one a
# line, a sentence's full stop left off.
readme_named_paths() {
    grep -oP '(?<![\w/.$%-])(?:\$PELMORA/)?(?:(?:bin|lib|include|examples|docs|share)/[\w.+*/-]*|README\.md|LICENSE|CHANGELOG\.md)|\$PELMORA/(?:bin|lib|include|examples|docs|share)\b' "$1" |
        sed -e 's|^\$PELMORA/||' -e 's|\.$||' | LC_ALL=C sort -u
}

# readme_blocks README LANGUAGE FOLDER: writes each fenced block of that language to FOLDER/NN.LANGUAGE.
readme_blocks() {
    mkdir -p "$3"
    awk -v language="$2" -v folder="$3" '
        /^```/ {
            if (open) { open = 0; if (file != "") close(file); file = ""; next }
            open = 1
            if ($0 == "```" language) { count++; file = sprintf("%s/%02d.%s", folder, count, language) }
            next
        }
        open && file != "" { print > file }' "$1"
}

# The offset of TracePrint in Trace's library as a crash line names it (from the image base on Windows).
trace_print_offset() {
    local name=$1 root=$2 tools="" file address base=0
    if [[ $name == win-* ]]; then
        tools=${name#win-}-w64-mingw32-
        file=$root/bin/Trace.dll
        base=0x$("${tools}objdump" -p "$file" | awk '$1 == "ImageBase" { print $2 }')
    else
        file=$root/lib/libTrace.so.$(package_version)
    fi
    address=0x$("${tools}nm" "$file.debug" | awk '$3 ~ /^_?TracePrint$/ { print $1; exit }')
    printf '%#x\n' $((address - base))
}

# The README of the unpacked archive (ROOT, with the symbols archive unpacked over it) as a customer follows
# it: every path it names is in the archive; its cmake block is examples/CMakeLists.txt; each sh block runs,
# in an empty folder of its own with PELMORA set to ROOT (the crash-address block with the offset of
# TracePrint for its example's, and it must name TracePrint's source file and line); and, where RUN is yes,
# every program those blocks built runs (under wine64 on Windows) and reports success. Prints what is wrong
# to standard output, what it did to standard error.
readme_problems() {
    local name=$1 root=$2 work=$3 run=$4 readme path missing=() block folder offset output program
    readme=$(archive_readme "$name" "$root")
    if [ ! -f "$readme" ]; then
        echo "no README"
        return 0
    fi
    local paths
    paths=$(readme_named_paths "$readme")
    while read -r path; do
        [ -n "$path" ] || continue
        if [[ $path == *'*'* ]]; then
            compgen -G "$root/$path" >/dev/null || missing+=("$path")
        elif [ ! -e "$root/$path" ]; then
            missing+=("$path")
        fi
    done <<<"$paths"
    echo "  README: $(grep -c . <<<"$paths") paths named, $((${#missing[@]})) missing" >&2
    [ ${#missing[@]} -eq 0 ] || echo "the README names what the archive does not hold: ${missing[*]}"

    rm -rf "$work"
    readme_blocks "$readme" cmake "$work/blocks"
    readme_blocks "$readme" sh "$work/blocks"
    local examples=$root/examples
    [[ $name == win-* ]] || examples=$root/share/doc/PelmoraLogging/examples
    if [ "$(ls "$work"/blocks/*.cmake 2>/dev/null | wc -l)" -ne 1 ] ||
        ! cmp -s "$work"/blocks/*.cmake "$examples/CMakeLists.txt"; then
        echo "the README's cmake block is not examples/CMakeLists.txt"
    fi
    for block in "$work"/blocks/*.sh; do
        folder=$work/block-$(basename "$block" .sh)
        mkdir -p "$folder"
        offset=""
        if grep -q '^offset=0x1234 ' "$block"; then
            offset=$(trace_print_offset "$name" "$root")
            sed -i "s/^offset=0x1234 /offset=$offset /" "$block"
        fi
        if ! output=$(cd "$folder" && PELMORA=$root timeout -k 10 600 bash -e -o pipefail "$block" 2>&1); then
            echo "README block $(basename "$block") failed: $(tail -n 5 <<<"$output")"
            continue
        fi
        printf '%s\n' "$output" >"$folder.log"
        if [ -n "${offset:-}" ]; then
            # addr2line's "file:line" and gdb's 'Line N of "file"', both in Trace's sources.
            if [ "$(grep -cE '/PelmoraLogging/trace/[a-z_]+\.(cpp|h)(:| starts)|^Line [0-9]+ of "/PelmoraLogging/trace/' <<<"$output")" -lt 2 ] ||
                ! grep -q TracePrint <<<"$output"; then
                echo "the crash-address block did not name TracePrint's file and line: $(echo $output)"
            else
                echo "  README crash-address block, Trace's library+$offset (TracePrint): $(tr '\n' ' ' <<<"$output")" >&2
            fi
        fi
    done
    [ "$run" = yes ] || {
        echo "  README blocks built: $(cd "$work" && find block-* -path '*/CMakeFiles' -prune -o -type f -name '*.exe' -print | tr '\n' ' ')" >&2
        return 0
    }
    local programs settings runner=()
    if [[ $name == win-* ]]; then
        programs=$(cd "$work" && find block-* -path '*/CMakeFiles' -prune -o -type f -name '*.exe' -print)
        runner=(/usr/lib/wine/wine64)
    else
        programs=$(cd "$work" && find block-* -path '*/CMakeFiles' -prune -o -type f -perm -u+x ! -name '*.so*' -print)
    fi
    [ -n "$programs" ] || echo "the README's blocks built no program"
    while read -r program; do
        [ -n "$program" ] || continue
        folder=$(dirname "$work/$program")
        if [ "$(basename "$program")" = trace_msvc_host.exe ]; then
            "$PL_ROOT/tests/msvc_host/check_trace_msvc_host.sh" "${name#win-}-w64-mingw32-objdump" "$work/$program" \
                timeout -k 10 300 "${runner[@]}" >"$work/$program.log" 2>&1 ||
                echo "$program failed: $(tail -n 3 "$work/$program.log")"
        else
            settings=$folder/settings.ini
            [[ $name == win-* ]] && settings="Z:${settings//\//\\}"
            if ! (cd "$folder" && KITBAG_SETTINGS="$settings" timeout -k 10 300 "${runner[@]}" "$work/$program" \
                </dev/null >"$work/$program.log" 2>&1) ||
                ! tr -d '\r' <"$work/$program.log" | grep -qx 'example host: all ok' ||
                ! tr -d '\r' <"$folder/host-trace.txt" 2>/dev/null | grep -qE ' - run [0-9]+$'; then
                echo "$program failed: $(tr -d '\r' <"$work/$program.log" | grep -E 'FAILED|rror' | head -n 3)"
                continue
            fi
        fi
        echo "  ran: $program" >&2
    done <<<"$programs"
    return 0
}

# The release archives (CPack) of a configuration, made from a Release build (archive_source_build): the
# archive and its symbols archive made, listed with their sizes, each checked against what it must hold,
# unpacked into an empty folder; the libraries checked (Release, debug link, SONAME on Linux), the change
# log's entry for this version; the consumer of tests/package built against the unpacked tree alone and
# run where this machine runs it (natively, or under wine64 with the Wine of the x86_64 step); then the
# archive's README followed as a customer follows it (readme_problems). The i686 consumer is what the
# 32-bit run starts. One result.
check_archive() {
    local name=$1 run=$2 work="$PL_BUILD/$1-archive" consumer="$PL_BUILD/$1-archive-consumer"
    local log="$PL_BUILD/$1.archive.log" archive symbols root listing problems=() toolchain=() wine=()
    rm -rf "$work" "$consumer"
    mkdir -p "$work/unpacked" "$work/symbols"
    if ! archive_source_build "$name" >"$log" 2>&1 ||
        ! cpack --config "$PL_ARCHIVE_SOURCE/CPackConfig.cmake" -B "$work" >>"$log" 2>&1; then
        cat "$log"
        fail "$name: release archive (cpack)"
        return
    fi
    archive=$(find "$work" -maxdepth 1 -type f \( -name 'PelmoraLogging-*.zip' -o -name 'PelmoraLogging-*.tar.gz' \) \
        ! -name '*-symbols.*')
    symbols=$(find "$work" -maxdepth 1 -type f -name 'PelmoraLogging-*-symbols.*')
    if [ -z "$archive" ] || [ -z "$symbols" ]; then
        ls "$work"
        fail "$name: release archive (cpack made no archive, or no symbols archive)"
        return
    fi
    (cd "$work/unpacked" && cmake -E tar xf "$archive")
    (cd "$work/symbols" && cmake -E tar xf "$symbols")
    root=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
    listing=$(tree_listing "$root")
    echo "$name: $(basename "$archive") ($(stat -c %s "$archive") bytes), in $(basename "$root")/:"
    print_listing "$root" <<<"$listing"
    local symbols_root symbols_listing
    symbols_root=$(find "$work/symbols" -mindepth 1 -maxdepth 1 -type d)
    symbols_listing=$(tree_listing "$symbols_root")
    echo "  $(basename "$symbols") ($(stat -c %s "$symbols") bytes), in $(basename "$symbols_root")/:"
    print_listing "$symbols_root" <<<"$symbols_listing"
    [ "$(basename "$symbols_root")" = "$(basename "$root")" ] ||
        problems+=("the symbols archive's folder is not $(basename "$root")")
    mapfile -t -O "${#problems[@]}" problems < <(archive_expected_files "$name" | listing_problems "the archive" "$listing")
    mapfile -t -O "${#problems[@]}" problems < <(archive_expected_symbols "$name" |
        listing_problems "the symbols archive" "$symbols_listing")
    # The symbols archive unpacked over the other, as the README says: each .debug file beside its library.
    cp -a "$symbols_root/." "$root/"
    mapfile -t -O "${#problems[@]}" problems < <(release_library_problems "$name" "$root")
    local doc=$root
    [[ $name == win-* ]] || doc=$root/share/doc/PelmoraLogging
    grep -qx "## $(package_version)" "$doc/CHANGELOG.md" 2>/dev/null ||
        problems+=("CHANGELOG.md has no entry '## $(package_version)'")
    grep -q '^Copyright (C) [0-9]\{4\} Pelmora$' "$doc/LICENSE" 2>/dev/null || problems+=("LICENSE names no copyright")

    # The consumer sees the unpacked tree and nothing else of this build.
    [[ $name == win-* ]] && toolchain=("-DCMAKE_TOOLCHAIN_FILE=$PL_ROOT/cmake/toolchain-mingw-${name#win-}.cmake")
    if ! cmake -S "$PL_ROOT/tests/package" -B "$consumer" -G Ninja "${toolchain[@]}" \
        -DPelmoraLogging_DIR="$root/lib/cmake/PelmoraLogging" -DCMAKE_PREFIX_PATH="$root" >>"$log" 2>&1 ||
        ! cmake --build "$consumer" >>"$log" 2>&1; then
        tail -n 30 "$log"
        problems+=("the consumer did not build against the unpacked archive")
    elif grep -qF -e "$PL_ARCHIVE_SOURCE/" -e "$PL_BUILD/$name-install/" "$consumer/build.ninja" "$consumer/CMakeCache.txt"; then
        problems+=("the consumer's build refers to the build tree: $(grep -ohF -e "$PL_ARCHIVE_SOURCE/" \
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
    # The README, followed as a customer follows it.
    mapfile -t -O "${#problems[@]}" problems < <(readme_problems "$name" "$root" "$work/readme" "$run")
    if [ ${#problems[@]} -eq 0 ]; then
        passed=$((passed + 1))
        echo "$name: release archives made and complete; a host built against the unpacked tree; the README's commands work"
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
    if ! pl_configure "$config" || ! pl_build "$config" >"$PL_BUILD/$config.build.log" 2>&1; then
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
