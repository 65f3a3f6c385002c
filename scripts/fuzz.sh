#!/usr/bin/env bash
# Coverage-guided fuzzing of every file reader under AddressSanitizer and
# UndefinedBehaviorSanitizer (libFuzzer, clang).
#
#   scripts/fuzz.sh                  1,000,000 inputs for each target, one after another
#   scripts/fuzz.sh 20000            another number of inputs
#   scripts/fuzz.sh 20000 seed       only the named targets
#
# Each target starts from its checked-in corpus (tests/fuzz/corpus/NAME) and
# keeps what it finds in build-fuzz/corpus/NAME, so a later run goes on from
# there. An input that crashes, hangs for more than a second or breaks an
# invariant is saved under build-fuzz/artifacts/NAME/ and makes the script
# fail; replay it with build-fuzz/bin/fuzz_NAME FILE. Without clang and
# libFuzzer the targets are skipped with a message and the script succeeds.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-1000000}
shift $(($# > 0 ? 1 : 0))
targets=("$@")
((${#targets[@]})) || targets=(pedigree contribution forbidden ebv seed settings xlsx xlsx_parts groups fractions gamma
                            genotype_text genotype_bed)
# A guard per target, not the measure: the run count decides.
max_seconds=${KINVAR_FUZZ_MAX_SECONDS:-14400}
# A fixed random seed repeats the same inputs (CI sets one): such a run starts
# from the checked-in corpus alone, not from what earlier runs found.
seed=${KINVAR_FUZZ_SEED:-}

if ! command -v clang++ >/dev/null; then
  echo "Fuzz targets skipped: clang++ is not installed (scripts/install-deps.sh installs it)."
  exit 0
fi
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKINVAR_FUZZ=ON -DKINVAR_BUILD_GUI=OFF -DKINVAR_BUILD_BENCH=OFF >/dev/null
if ! grep -q '^KINVAR_FUZZ_READY:INTERNAL=ON' build-fuzz/CMakeCache.txt; then
  echo "Fuzz targets skipped: clang cannot link libFuzzer with the sanitizers."
  exit 0
fi
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets

# A smaller quarantine than the default 256 MB keeps freed memory coming
# back instead of faulting in fresh pages on every run; a use after free is
# still caught within the last 16 MB freed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

dictionary() {
  case $1 in
    pedigree) echo tests/fuzz/pedigree.dict ;;
    contribution | forbidden) echo tests/fuzz/mating.dict ;;
    ebv) echo tests/fuzz/ebv.dict ;;
    seed) echo tests/fuzz/seed.dict ;;
    xlsx | xlsx_parts) echo tests/fuzz/xlsx.dict ;;
    groups | fractions | gamma) echo tests/fuzz/groups.dict ;;
  esac
}

failed=0
summary=()
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  [[ -n $seed ]] && work=build-fuzz/corpus-seed$seed/$t && rm -rf "$work"
  artifacts=build-fuzz/artifacts/$t
  log=build-fuzz/fuzz-$t.log
  mkdir -p "$work" "$artifacts"
  options=(-runs="$runs" -max_total_time="$max_seconds" -timeout=1 -rss_limit_mb=2048
           -artifact_prefix="$artifacts/" -print_final_stats=1)
  dict=$(dictionary "$t")
  [[ -n $dict ]] && options+=(-dict="$dict")
  [[ -n $seed ]] && options+=(-seed="$seed")
  echo "== fuzz_$t: $runs inputs"
  status=0
  nice -n 19 build-fuzz/bin/fuzz_"$t" "${options[@]}" "$work" tests/fuzz/corpus/"$t" \
      >"$log" 2>&1 || status=$?
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\).*/cov \1 ft \2/p' <<<"$last")
  if ((status != 0)); then
    failed=1
    grep -E 'invariant broken|ERROR:|runtime error|Test unit written' "$log" | head -n 5 || true
    summary+=("fuzz_$t: FAILED after ${inputs:-?} inputs (log $log)")
  else
    summary+=("fuzz_$t: ${inputs:-?} inputs, ${cov:-cov ?}, no failure")
  fi
done

echo
printf '%s\n' "${summary[@]}"
exit "$failed"
