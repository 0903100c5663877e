#!/usr/bin/env bash
# Builds the benchmarks (native, optimised), runs them and prints one table of ratios (below 1: ours is
# faster), then the memory of the print thread's queue under a flood. Extra arguments go to the benchmark
# programs (e.g. --benchmark_filter=Trace --benchmark_min_time=0.1).
#
# Pairs come from the benchmark names, BM_<Pair>_<Side>[_<Variant>] with Side Ours, Spdlog or Floor (Pair
# and Variant CamelCase, no underscores). Each Ours benchmark is one row, compared with the Spdlog and the
# Floor benchmark of its pair run with the same number of threads:
#   ours/spdlog, ours/floor  median real time over the repetitions (5; 20 short ones for ConsoleFile);
#                            with several threads, the run's wall time per call of all threads together.
#                            The repetitions of all benchmarks run in a random order, so that a slow spell
#                            of the shared machine (or its disk) does not fall on one side of a pair only;
#   p50, p99 ours/spdlog     the median over the repetitions of the caller cost's 50th and 99th percentile
#                            (ns per call, timed in batches of 64 calls per thread: counters p50_ns, p99_ns).
# The floor is what the machine costs for the same work with nothing but its system calls. The caller
# benchmarks also report drain_ms (how long the backlog takes once the callers stop), faults_per_1k and
# waits_per_1k (page faults and lock waits of the callers per 1000 calls): see bench/bench_support.h.
#
# Queue memory: PL_BENCH_QUEUE_MESSAGES messages (default 200,000: some 20 MB of our queue, far above the
# resident memory's noise, so the figure per message holds; 5,000,000 gives the same figure per message).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

pl_ensure_packages cmake ninja-build g++ libbenchmark-dev libspdlog-dev python3
mkdir -p "$PL_BUILD/bench-run"
pl_configure bench -DCMAKE_BUILD_TYPE=Release -DPL_BUILD_TESTS=OFF -DPL_BUILD_BENCH=ON
for target in console_bench trace_bench trace_queue_memory trace_crash_keep; do
    pl_build_target bench "$target"
done
rm -f "$PL_BUILD/bench-run"/*.log "$PL_BUILD/bench-run"/*.txt
# Trace writes its files beside the program: a file per second of each run would pile up there.
rm -f "$PL_BUILD/bench/bin"/Bench*.log "$PL_BUILD/bench/bin"/bench-trace-output.txt
for program in console trace; do
    BENCH_DIR="$PL_BUILD/bench-run" "$PL_BUILD/bench/bin/${program}_bench" --benchmark_repetitions=5 \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
        --benchmark_out="$PL_BUILD/bench-run/$program.json" --benchmark_out_format=json "$@"
done

echo
python3 - "$PL_BUILD/bench-run/console.json" "$PL_BUILD/bench-run/trace.json" <<'PY'
import json, re, sys

NAME = re.compile(r"^BM_([A-Za-z0-9]+)_(Ours|Spdlog|Floor)(?:_([A-Za-z0-9]+))?$")
TO_NS = {"s": 1e9, "ms": 1e6, "us": 1e3, "ns": 1}
results, order, unnamed = {}, [], []
def benchmarks(path):
    # A filter that matches nothing in a program leaves its output file empty.
    text = open(path).read()
    return json.loads(text)["benchmarks"] if text.strip() else []

for program, path in enumerate(sys.argv[1:]):
    for b in benchmarks(path):
        if b.get("aggregate_name") != "median":
            continue
        base = b["run_name"].split("/")[0]
        match = NAME.match(base)
        if not match:
            unnamed.append(base)
            continue
        pair, side, variant = match.group(1), match.group(2), match.group(3) or ""
        key = (pair, side, variant, int(b.get("threads", 1)))
        results[key] = {"time": b["real_time"] * TO_NS[b["time_unit"]], "p50": b.get("p50_ns"),
                        "p99": b.get("p99_ns")}
        if side == "Ours":  # rows in the order the programs register them (the runs are interleaved)
            order.append(((program, b.get("family_index", 0), b.get("per_family_instance_index", 0)), key))

def counterpart(pair, side, variant, threads):
    return results.get((pair, side, variant, threads)) or results.get((pair, side, "", threads))

def ratio(ours, theirs, field):
    if not theirs or ours.get(field) is None or not theirs.get(field):
        return "-"
    return f"{ours[field] / theirs[field]:.2f}"

header = ("Pair", "Variant", "Threads", "ours/spdlog", "ours/floor", "p50 ours/spdlog", "p99 ours/spdlog")
rows = []
for _, (pair, _, variant, threads) in sorted(order):
    ours = results[(pair, "Ours", variant, threads)]
    spdlog = counterpart(pair, "Spdlog", variant, threads)
    floor = counterpart(pair, "Floor", variant, threads)
    rows.append((pair, variant or "-", str(threads), ratio(ours, spdlog, "time"), ratio(ours, floor, "time"),
                 ratio(ours, spdlog, "p50"), ratio(ours, spdlog, "p99")))
widths = [max(len(row[i]) for row in rows + [header]) for i in range(len(header))]
for row in [header] + rows:
    print("  ".join(cell.ljust(width) if i < 2 else cell.rjust(width)
                    for i, (cell, width) in enumerate(zip(row, widths))))
for base in sorted(set(unnamed)):
    print(f"not in a pair (name does not follow BM_<Pair>_<Side>[_<Variant>]): {base}")
PY

messages=${PL_BENCH_QUEUE_MESSAGES:-200000}
echo
echo "Queue memory under a flood (one process per side; resident memory above the start, peak from VmHWM):"
for side in trace spdlog spdlog-default; do
    "$PL_BUILD/bench/bin/trace_queue_memory" "$side" "$messages"
done

echo
echo "Lines kept at a crash (100,000 traced just before a write through a null pointer; one process per side):"
for side in trace spdlog; do
    "$PL_BUILD/bench/bin/trace_crash_keep" "$side" 100000
done
