#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang and runs each for a while on a copy
# of its seed corpus, after replaying any saved reproducers.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60 per target)
# Exits non-zero if any target crashed; findings go to build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

duration=${1:-60}
if ! [[ $duration =~ ^[0-9]+$ ]] || [ "$duration" -lt 1 ]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

targets=(fuzz_frame_assembler fuzz_cli_args)
build="$root/build-fuzz"
artifacts="$build/fuzz-artifacts"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANTA_BUILD_FUZZERS=ON \
  -DCORVANTA_BUILD_TESTS=OFF -DCORVANTA_BUILD_BENCHMARKS=OFF -DCORVANTA_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/corvanta-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The fuzzers' own scratch files then go with the work directory, even after a crash.
export TMPDIR="$work"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

summary=()
failed=0
for target in "${targets[@]}"; do
  bin="$build/fuzz/$target"
  crashes=0
  stale=0
  mkdir -p "$artifacts/$target"

  # Saved reproducers first: each must now pass.
  shopt -s nullglob
  regressions=("$root/fuzz/regressions/$target"/*)
  shopt -u nullglob
  for file in "${regressions[@]}"; do
    if ! "$bin" "$file" >"$work/$target.regression.log" 2>&1; then
      echo "$target: reproducer $file still fails:" >&2
      tail -n 40 "$work/$target.regression.log" >&2
      stale=$((stale + 1))
    fi
  done
  crashes=$stale

  # A copy, so new inputs don't pile up in the repository.
  mkdir -p "$work/corpus/$target"
  if [ -d "$root/fuzz/corpus/$target" ]; then
    cp -r "$root/fuzz/corpus/$target/." "$work/corpus/$target/"
  fi
  extra=()
  [ -f "$root/fuzz/$target.dict" ] && extra+=("-dict=$root/fuzz/$target.dict")
  # A dozen longest frames is plenty; longer inputs only slow it down.
  [ "$target" = fuzz_frame_assembler ] && extra+=(-max_len=256)

  log="$work/$target.log"
  start=$(date +%s)
  if "$bin" -max_total_time="$duration" -print_final_stats=1 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$artifacts/$target/" "${extra[@]}" "$work/corpus/$target" >"$log" 2>&1; then
    :
  else
    echo "$target: the fuzzer stopped on a finding (artifacts in $artifacts/$target/):" >&2
    tail -n 60 "$log" >&2
    crashes=$((crashes + 1))
  fi
  elapsed=$(($(date +%s) - start))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  [ "$crashes" -gt 0 ] && failed=1
  line="$target: ${executions:-unknown} executions in $elapsed s, $crashes crashes"
  [ "$stale" -gt 0 ] && line+=" ($stale of them saved reproducers that still fail)"
  summary+=("$line")
done

printf '%s\n' "${summary[@]}"
exit "$failed"
