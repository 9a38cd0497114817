#!/usr/bin/env bash
# Runs each fuzz target of a clang build (configured with -DPRAX_BUILD_FUZZ=ON) for a bounded
# time, two at a time, starting from its seed corpus in tests/fuzz/corpus/. New inputs go to a
# scratch folder, so the seed corpus stays as it is. A crash fails with the reproducer's path.
#   scripts/fuzz.sh [BUILD_DIR]     (default build-san; PRAX_FUZZ_SECONDS per target, default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-${PRAX_SAN_BUILD_DIR:-build-san}}")
seconds=${PRAX_FUZZ_SECONDS:-20}
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d -t prax-fuzz.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# target, longest input, and its dictionary in tests/fuzz/ if it has one. Only names here: the
# checkout's path may hold blanks, so it is joined on inside run, never split with these.
targets=(
  "decoder_chunking_fuzz 4096"
  "package_size_fuzz 64"
  "header_name_fuzz 128"
  "praxdl_args_fuzz 512 praxdl.dict"
  "recipe_fuzz 2048"
  "stream_round_trip_fuzz 4096"
)

run() {
  local name=$1 maxLen=$2 dict=${3:-}
  local extra=()
  [ -z "$dict" ] || extra=("-dict=$root/tests/fuzz/$dict")
  local binary=$build/tests/fuzz/$name
  [ -x "$binary" ] || { echo "fuzz: $binary is missing (configure with -DPRAX_BUILD_FUZZ=ON)"; return 1; }
  mkdir -p "$scratch/$name/corpus" "$scratch/$name/tmp"
  # Absolute paths: a target may change into a scratch folder of its own.
  if (cd "$scratch/$name" && TMPDIR="$scratch/$name/tmp" "$binary" \
        -max_total_time="$seconds" -max_len="$maxLen" -rss_limit_mb=1024 -timeout=10 \
        -artifact_prefix="$artifacts/$name-" -print_final_stats=1 ${extra[@]+"${extra[@]}"} \
        "$scratch/$name/corpus" "$root/tests/fuzz/corpus/$name" >"$scratch/$name.log" 2>&1); then
    echo "fuzz: $name: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$scratch/$name.log" | grep -o '[0-9]*$') runs in ${seconds}s, no failure"
  else
    echo "fuzz: $name FAILED"
    # From the first report on: the error, its stack, the input that caused it.
    sed -n '/ERROR:\|runtime error:\|deadly signal\|==ABORTING/,$p' "$scratch/$name.log" | head -n 60
    grep -h 'Test unit written to' "$scratch/$name.log" | sed "s|.*written to |fuzz: reproducer: |" || true
    echo "fuzz: rerun with: $binary REPRODUCER"
    return 1
  fi
}

failed=0
pids=()
for t in "${targets[@]}"; do
  # shellcheck disable=SC2086
  run $t &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
exit $failed
