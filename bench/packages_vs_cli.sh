#!/usr/bin/env bash
# The R package and the Python module against kinvar-cli on one generated
# pedigree: each whole process (start, read, inbreeding, result in the
# language's own table) timed by /usr/bin/time, with its peak memory.
#
#   bench/packages_vs_cli.sh [--n 1000000] [--file PATH] [--threads 0]
#                            [--rlib DIR] [--python PYTHON]
#
# Needs build/bin/kinvar-cli and build/bin/kinvar-generate (a build with
# KINVAR_BUILD_BENCH=ON), the R package installed (in --rlib when given) and
# the module importable by PYTHON (default python3). Targets: the packages'
# read + inbreeding within 1.2 times kinvar-cli's wall time and 1.3 times its
# memory.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
n=1000000
file=""
threads=0
rlib=""
python=python3
while (($#)); do
  case "$1" in
    --n) n=$2; shift 2 ;;
    --file) file=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --rlib) rlib=$2; shift 2 ;;
    --python) python=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -n "$file" ]] || file="$work/generated-$n.pdg"
[[ -f "$file" ]] || "$repo/build/bin/kinvar-generate" --n "$n" "$file" >/dev/null
cat "$file" >/dev/null  # in the page cache for every run alike

cli_threads=()
((threads > 0)) && cli_threads=(--threads "$threads")

cat >"$work/run.R" <<EOF
suppressPackageStartupMessages(library(kinvar${rlib:+, lib.loc = \"$rlib\"}))
t0 <- proc.time()[["elapsed"]]
ped <- read_pedigree("$file", threads = $threads)
t1 <- proc.time()[["elapsed"]]
f <- inbreeding(ped, threads = $threads)
t2 <- proc.time()[["elapsed"]]
cat(sprintf("read %.2f s, inbreeding %.2f s, %d rows\n", t1 - t0, t2 - t1, nrow(f)))
EOF
cat >"$work/run.py" <<EOF
import time
import kinvar
t0 = time.perf_counter()
ped = kinvar.read_pedigree("$file", threads=$threads)
t1 = time.perf_counter()
f = ped.inbreeding(threads=$threads)
t2 = time.perf_counter()
print(f"read {t1 - t0:.2f} s, inbreeding {t2 - t1:.2f} s, {len(f)} rows")
EOF

measure() {
  local name=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
    cat "$work/err" >&2
    return 1
  }
  read -r wall kib <"$work/time"
  printf '%-34s %7.2f s %7d MB   %s\n' "$name" "$wall" $((kib / 1024)) "$(tail -1 "$work/out")"
  echo "$wall $kib" >"$work/$name.figures"
}

echo "pedigree: $file ($n lines), threads $threads, load average $(cut -d' ' -f1 /proc/loadavg)"
measure cli "$repo/build/bin/kinvar-cli" -q "${cli_threads[@]}" --format csv --table inbreeding \
  inbreeding "$file" -o "$work/cli.csv"
measure R Rscript "$work/run.R"
measure Python "$python" "$work/run.py"
read -r cli_wall cli_kib <"$work/cli.figures"
for name in R Python; do
  read -r wall kib <"$work/$name.figures"
  awk -v n="$name" -v w="$wall" -v k="$kib" -v cw="$cli_wall" -v ck="$cli_kib" \
    'BEGIN { printf "%-7s %.2f x the wall time, %.2f x the memory of kinvar-cli\n", n, w / cw, k / ck }'
done
