#!/usr/bin/env bash
# Builds the benchmarks (native, optimised) and runs them; prints each of our results as a ratio to
# spdlog's doing the same work (below 1: we are faster). Extra arguments go to the benchmark program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

pl_ensure_packages cmake ninja-build g++ libbenchmark-dev libspdlog-dev python3
mkdir -p "$PL_BUILD/bench-run"
pl_configure bench -DCMAKE_BUILD_TYPE=Release -DPL_BUILD_TESTS=OFF -DPL_BUILD_BENCH=ON
pl_build_target bench console_bench && pl_build_target bench trace_bench
rm -f "$PL_BUILD/bench-run"/*.log
# Trace writes its files beside the program: a file per second of each run would pile up there.
rm -f "$PL_BUILD/bench/bin"/Bench*.log "$PL_BUILD/bench/bin"/bench-trace-output.txt
for program in console trace; do
    BENCH_DIR="$PL_BUILD/bench-run" "$PL_BUILD/bench/bin/${program}_bench" --benchmark_repetitions=5 \
        --benchmark_report_aggregates_only=true --benchmark_out="$PL_BUILD/bench-run/$program.json" \
        --benchmark_out_format=json "$@"
done
python3 - "$PL_BUILD/bench-run/console.json" "$PL_BUILD/bench-run/trace.json" <<'PY'
import json, sys
results = {}
for path in sys.argv[1:]:
    for b in json.load(open(path))["benchmarks"]:
        if b.get("aggregate_name") == "median":
            results[b["run_name"].split("/")[0]] = b["real_time"] * {"ms": 1e6, "us": 1e3, "ns": 1}[b["time_unit"]]
pairs = [("BM_Console_BufferOnly", "BM_Spdlog_RingBuffer"), ("BM_Console_FileSink", "BM_Spdlog_FileFlushSync"),
         ("BM_CLog_Disabled", "BM_Spdlog_Disabled"), ("BM_CLog_ToPipeline", "BM_Spdlog_RingBufferMessage"),
         ("BM_Trace_PrintCaller", "BM_Spdlog_AsyncCaller"), ("BM_Trace_LevelPrintCaller", "BM_Spdlog_AsyncCaller"),
         ("BM_Trace_PrintThreadThroughput", "BM_Spdlog_AsyncFileThroughput")]
for ours, theirs in pairs:
    if ours in results and theirs in results:
        print(f"{ours} / {theirs} = {results[ours] / results[theirs]:.2f} (median time)")
PY
