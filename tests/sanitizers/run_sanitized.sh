#!/bin/bash
# Builds test programs with sanitizers, in a build folder of their own (clang,
# -O1, line tables only, one translation unit per target, so the pass stays
# short), and runs each program once.
#   run_sanitized.sh <build folder> <sanitizers> <jobs> plain
#   run_sanitized.sh <build folder> <sanitizers> <jobs> <test target>...
# "plain" means every test without Qt. Any sanitizer report fails the run.
set -euo pipefail
build=$(realpath -m "$1") sanitizers=$2 jobs=$3
shift 3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
    -DFLOWLOOM_SANITIZE="$sanitizers" -DFLOWLOOM_BENCH=OFF -DCMAKE_UNITY_BUILD=ON > /dev/null
if [ "$1" = plain ]; then
    cmake --build "$build" -j "$jobs" --target plain_tests > "$build/build.log" 2>&1 \
        || { tail -50 "$build/build.log"; exit 1; }
    mapfile -t programs < "$build/plain_tests.txt"
else
    cmake --build "$build" -j "$jobs" --target "$@" > "$build/build.log" 2>&1 \
        || { tail -50 "$build/build.log"; exit 1; }
    programs=()
    for target in "$@"; do
        programs+=("$(find "$build/tests" -type f -executable -name "$target" -print -quit)")
    done
fi

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1"
export TSAN_OPTIONS="second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen LANG=C.UTF-8
# The accounting soak's simulated month is two days long under the sanitizers.
export FLOWLOOM_SOAK_DAYS=2
logs="$build/logs"
mkdir -p "$logs"
printf '%s\n' "${programs[@]}" | xargs -P "$jobs" -I{} bash -c '
    log="$0/$(basename "$1").log"
    if (cd "$(dirname "$1")" && "$1") > "$log" 2>&1; then exit 0; fi
    echo "sanitize: $(basename "$1") failed ($2):"; tail -80 "$log"; exit 1' "$logs" {} "$sanitizers"
echo "sanitize ($sanitizers): ${#programs[@]} test programs ran clean"
