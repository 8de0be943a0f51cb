#!/usr/bin/env bash
# Runs each fuzz target for a bounded time on its own growing corpus plus the generated
# seeds, and says how many inputs each tried. A crash stops nothing else but fails the run;
# the input that caused it is kept under BUILD/fuzz/artifacts/.
# Usage: fuzz/run.sh BUILD_FOLDER SECONDS_EACH
set -uo pipefail
build=$1
seconds=$2
declare -A seeds=([catalogue]=catalogue [jpegcheck]=picture [signature]=picture [uprightpicture]=picture [facts]=picture [leadingnumber]=number [notalike]=notalike [heif]=heif [raw]=raw)
# libFuzzer looks for leaks after every input that allocated more than it freed. The
# sanitizer's own whole-process check at exit is left out: its tracer, which stops every
# thread to scan them, now and then crashes there ("Tracer caught signal 11"), a fault of
# the runtime that no input causes and that would fail a clean run.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}leak_check_at_exit=0"
passed=0
failed=0
for target in catalogue jpegcheck signature uprightpicture facts leadingnumber notalike heif raw; do
    work=$build/fuzz
    mkdir -p "$work/corpus/$target" "$work/artifacts"
    log=$work/$target.log
    if "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -detect_leaks=1 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/$target-" \
        "$work/corpus/$target" "$work/seeds/${seeds[$target]}" >"$log" 2>&1; then
        runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
        echo "fuzz_$target: ${runs:-?} inputs in $seconds s, no finding"
        passed=$((passed + 1))
    else
        tail -n 60 "$log"
        echo "fuzz_$target: FOUND A FAULT; the input is under $work/artifacts/ (log: $log)"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
