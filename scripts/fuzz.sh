#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds (default 20),
# starting from the sample inputs in fuzz/corpus/<target>. Findings are kept in fuzz-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build_dir=${TREVALON_FUZZ_BUILD_DIR:-build-fuzz}
if [ ! -f "$build_dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTREVALON_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
fi
targets=$(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
cmake --build "$build_dir" --parallel "$(nproc)" --target $targets
mkdir -p fuzz-out
status=0
for target in $targets; do
    name=${target#fuzz_}
    corpus=$(mktemp -d)
    cp -r "fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
    echo "== $target for ${seconds}s"
    if ! "$build_dir/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
            -artifact_prefix="fuzz-out/$name-" -print_final_stats=1 "$corpus" \
            >"fuzz-out/$name.log" 2>&1; then
        echo "FAILED: $target (see fuzz-out/$name.log)"; tail -n 30 "fuzz-out/$name.log"; status=1
    else
        grep -E '^stat::number_of_executed_units|^Done' "fuzz-out/$name.log" | tail -n 2
    fi
    rm -rf "$corpus"
done
exit "$status"
