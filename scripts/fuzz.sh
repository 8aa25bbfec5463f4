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
[ ${#targets[@]} -eq 0 ] && targets=(ensemble snapshot macro sound pool map settings systemini midi paste dialogs)
# A target that has seen fewer coverage points than this after that many runs
# is fuzzing blind (its code built without the fuzzer's instrumentation).
min_coverage=100
coverage_runs=2000
if ! command -v clang++ > /dev/null; then
  echo "clang++ is not installed: no fuzzing (the corpora are still replayed by the tests)"
  exit 0
fi
# The GCC builds of the test command are the ones that fail on a new warning;
# clang also reports the list templates' members hiding the base's virtual
# overloads, which the lists do by design.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ "-DQV_SANITIZE=address;undefined" -DQV_FUZZ=ON -DQV_WERROR=OFF > /dev/null
cmake --build build/fuzz -j "${QV_JOBS:-$(nproc)}" --target $(printf 'fuzz_%s ' "${targets[@]}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
# The coverage figure of libFuzzer's last status line in a log.
coverage() { grep -ao 'cov: [0-9]*' "$1" | tail -1 | awk '{print $2}'; }
runs() { grep -ao 'Done [0-9]* runs' "$1" | tail -1 | awk '{print $2}'; }
# Limits: 512 MB for one allocation or the whole run's growth, 10 s for an input.
limits=(-malloc_limit_mb=512 -rss_limit_mb=2048 -timeout=10 -detect_leaks=1)
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t" "$scratch/$t.first"
  # First a fixed number of runs from the corpus: the coverage they reach
  # tells whether the fuzzer sees the code at all.
  if ! build/fuzz/bin/fuzz_$t "$scratch/$t.first" "tests/fuzz/corpus/$t" -runs="$coverage_runs" -seed=1 \
      "${limits[@]}" -artifact_prefix="tests/fuzz/corpus/$t/found-" 2> "$scratch/$t.first.log"; then
    tail -40 "$scratch/$t.first.log"
    echo "fuzz target $t found a fault: its reproducer is in tests/fuzz/corpus/$t/"
    status=1
    continue
  fi
  first=$(coverage "$scratch/$t.first.log")
  if [ -z "$first" ] || [ "$first" -lt "$min_coverage" ]; then
    echo "fuzz target $t reached only ${first:-no} coverage points after $coverage_runs runs (at least $min_coverage expected): the fuzzer does not see the code"
    status=1
    continue
  fi
  echo "=== fuzzing $t for ${seconds}s (coverage $first after $coverage_runs runs)"
  if ! build/fuzz/bin/fuzz_$t "$scratch/$t" "tests/fuzz/corpus/$t" -max_total_time="$seconds" "${limits[@]}" \
      -artifact_prefix="tests/fuzz/corpus/$t/found-" -print_final_stats=0 2> "$scratch/$t.log"; then
    tail -40 "$scratch/$t.log"
    echo "fuzz target $t found a fault: its reproducer is in tests/fuzz/corpus/$t/"
    status=1
  fi
  echo "    $t: coverage $(coverage "$scratch/$t.log") after $(runs "$scratch/$t.log") runs"
done
exit $status
