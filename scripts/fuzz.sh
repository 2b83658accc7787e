#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target in fuzz/ for the given number of seconds
# (default 60). Seeds come from fuzz/corpus/<Name>/ when it exists; what a run learns is kept in
# build/fuzz/corpus/<Name>/, and a finding is written to build/fuzz/findings/<Name>/.
# Optional per target: fuzz/<Name>.dict (a libFuzzer dictionary) and fuzz/<Name>.options (extra
# libFuzzer flags, one per line, overriding the defaults below).
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

failed=()
for source in "${sources[@]}"; do
  target="$(basename "$source" .cpp)"
  name="${target%Fuzzer}"
  program="build/fuzz/fuzz/${target}"
  learned="build/fuzz/corpus/${name}"
  findings="build/fuzz/findings/${name}"
  mkdir -p "$learned" "$findings"

  flags=(-max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10
         -print_final_stats=1 -artifact_prefix="${findings}/")
  [ -f "fuzz/${name}.dict" ] && flags+=(-dict="fuzz/${name}.dict")
  if [ -f "fuzz/${name}.options" ]; then
    while IFS= read -r line; do
      [ -n "$line" ] && [ "${line#\#}" = "$line" ] && flags+=("$line")
    done <"fuzz/${name}.options"
  fi
  corpora=("$learned")
  [ -d "fuzz/corpus/${name}" ] && corpora+=("fuzz/corpus/${name}")

  echo "== fuzz ${name}: ${seconds} s =="
  log="build/fuzz/findings/${name}.log"
  if "$program" "${flags[@]}" "${corpora[@]}" >"$log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$log" || true
  else
    tail -n 60 "$log"
    echo "fuzz ${name}: FOUND A PROBLEM (input in ${findings}/, log in ${log})" >&2
    failed+=("$name")
  fi
done

if [ "${#failed[@]}" -ne 0 ]; then
  echo "Fuzz targets with findings: ${failed[*]}" >&2
  exit 1
fi
