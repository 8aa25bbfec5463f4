#!/usr/bin/env bash
# Fuzzes every file reader with libFuzzer (needs clang):
#   bash scripts/fuzz.sh [seconds per target] [target ...]
# A clang build with ASan+UBSan goes to build/fuzz. Each target starts from
# its corpus in tests/fuzz/corpus/<target>; what it learns stays in a scratch
# folder, and a crash, leak or oversized allocation leaves its reproducer in
# tests/fuzz/corpus/<target>/ so that the test command replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(ensemble snapshot macro sound pool map settings)
if ! command -v clang++ > /dev/null; then
  echo "clang++ is not installed: no fuzzing (the corpora are still replayed by the tests)"
  exit 0
fi
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ "-DQV_SANITIZE=address;undefined" -DQV_FUZZ=ON > /dev/null
cmake --build build/fuzz -j "$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for t in "${targets[@]}"; do
  echo "=== fuzzing $t for ${seconds}s"
  mkdir -p "$scratch/$t"
  # Limits: 512 MB for one allocation or the whole run's growth, 10 s for an input.
  if ! build/fuzz/bin/fuzz_$t "$scratch/$t" "tests/fuzz/corpus/$t" -max_total_time="$seconds" \
      -malloc_limit_mb=512 -rss_limit_mb=2048 -timeout=10 -detect_leaks=1 \
      -artifact_prefix="tests/fuzz/corpus/$t/found-" -print_final_stats=0 2> "$scratch/$t.log"; then
    tail -40 "$scratch/$t.log"
    echo "fuzz target $t found a fault: its reproducer is in tests/fuzz/corpus/$t/"
    status=1
  fi
done
exit $status
