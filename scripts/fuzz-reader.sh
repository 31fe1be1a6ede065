#!/bin/sh
# Builds the form reader fuzz target with clang and runs it.
#   scripts/fuzz-reader.sh [seconds]     (default 60)
# The build goes to $FUZZ_BUILD_DIR (default build-fuzz in the checkout).
# Exits non-zero when the fuzzer finds a crash; the input is kept there.
set -eu

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_WITH_GTK=OFF >/dev/null
cmake --build "$build" --target fuzz_form_reader fuzz_seed_writer

corpus=$build/fuzz-corpus
mkdir -p "$corpus"
"$build/fuzz/fuzz_seed_writer" "$root/src/program/Unit2.form" "$corpus/tform2.bin"
for seed in "$root"/fuzz/seeds/*.form; do
    "$build/fuzz/fuzz_seed_writer" "$seed" "$corpus/$(basename "$seed" .form).bin"
done
# Inputs that once crashed the reader stay in the corpus for good.
cp "$root"/fuzz/regressions/*.bin "$corpus/"

# CI runs a fixed seed so that a run is repeatable; by hand, FUZZ_SEED=0
# lets the fuzzer pick one.
seed=${FUZZ_SEED:-1}
if [ "${CI:-}" != "true" ] && [ -z "${FUZZ_SEED:-}" ]; then seed=0; fi

"$build/fuzz/fuzz_form_reader" \
    -seed="$seed" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -dict="$root/fuzz/form.dict" -artifact_prefix="$build/" "$corpus"
