#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target in fuzz/ for the given number of seconds
# (default 60). Seeds come from fuzz/corpus/<Name>/ when it exists; what a run learns is kept in
# build/fuzz/corpus/<Name>/, and a finding is written to build/fuzz/findings/<Name>/.
# Optional per target: fuzz/<Name>.dict (a libFuzzer dictionary) and fuzz/<Name>.options (extra
# libFuzzer flags, one per line, overriding the defaults below).
# The targets run side by side, as many at a time as there are cores (NUDGERLY_FUZZ_JOBS sets another
# number), each for the whole time given.
# Exits non-zero when a target crashes, leaks, times out or runs out of memory.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "Usage: scripts/fuzz.sh [seconds]" >&2; exit 2 ;;
esac

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

shopt -s nullglob
sources=(fuzz/*Fuzzer.cpp)
if [ "${#sources[@]}" -eq 0 ]; then
  echo "No fuzz targets in fuzz/."
  exit 0
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

jobs_max="${NUDGERLY_FUZZ_JOBS:-$(nproc)}"
case "$jobs_max" in
  ''|*[!0-9]*|0) echo "NUDGERLY_FUZZ_JOBS must be a positive number" >&2; exit 2 ;;
esac

# Runs one target; its log and exit status land in build/fuzz/findings/.
fuzz_target() {
  local name=$1
  local learned="build/fuzz/corpus/${name}"
  local findings="build/fuzz/findings/${name}"
  mkdir -p "$learned" "$findings"
  local flags=(-max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10
               -print_final_stats=1 -artifact_prefix="${findings}/")
  [ -f "fuzz/${name}.dict" ] && flags+=(-dict="fuzz/${name}.dict")
  if [ -f "fuzz/${name}.options" ]; then
    while IFS= read -r line; do
      [ -n "$line" ] && [ "${line#\#}" = "$line" ] && flags+=("$line")
    done <"fuzz/${name}.options"
  fi
  local corpora=("$learned")
  [ -d "fuzz/corpus/${name}" ] && corpora+=("fuzz/corpus/${name}")
  local status=0
  "build/fuzz/fuzz/${name}Fuzzer" "${flags[@]}" "${corpora[@]}" >"build/fuzz/findings/${name}.log" 2>&1 || status=$?
  echo "$status" >"build/fuzz/findings/${name}.status"
}

names=()
for source in "${sources[@]}"; do
  target="$(basename "$source" .cpp)"
  names+=("${target%Fuzzer}")
done
echo "== fuzz: ${#names[@]} targets, ${seconds} s each, ${jobs_max} at a time =="
mkdir -p build/fuzz/findings
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do
    wait -n || true
  done
  rm -f "build/fuzz/findings/${name}.status"
  fuzz_target "$name" &
done
wait

failed=()
for name in "${names[@]}"; do
  log="build/fuzz/findings/${name}.log"
  echo "== fuzz ${name} =="
  if [ "$(cat "build/fuzz/findings/${name}.status" 2>/dev/null)" = 0 ]; then
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" || true
  else
    tail -n 60 "$log"
    echo "fuzz ${name}: FOUND A PROBLEM (input in build/fuzz/findings/${name}/, log in ${log})" >&2
    failed+=("$name")
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "Fuzz targets with findings: ${failed[*]}" >&2
  exit 1
fi
