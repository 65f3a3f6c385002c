#!/usr/bin/env bash
# The R package and the Python module against kinvar-cli on one generated
# pedigree, as a user of each works: kinvar-cli reads the file, computes
# the inbreeding coefficients and writes them as CSV; R and Python hold the
# pedigree as a data frame already (read from the same file, not timed) and
# time `as_pedigree()` + `inbreeding()` and `Pedigree.from_frame()` +
# `inbreeding()`, to the language's own data frame of coefficients.
#
#   bench/packages_vs_cli.sh [--n 1000000] [--file PATH] [--threads 0]
#                            [--rlib DIR] [--python PYTHON] [--repeat 3]
#                            [--before-rlib DIR] [--before-python PYTHON]
#
# --before-rlib and --before-python add rows for another build of the
# packages (the R package installed in DIR, the module PYTHON imports), run
# in turn with the others, to compare a change in one run.
#
# Memory: kinvar-cli's peak resident set (/usr/bin/time) against what each
# package adds to its process's peak once the frame is read: the peak is
# reset (/proc/self/clear_refs) after the frame is read, and the resident
# set at that moment is subtracted from the peak after the call.
#
# Needs build/bin/kinvar-cli and build/bin/kinvar-generate (a build with
# KINVAR_BUILD_BENCH=ON), the R package installed (in --rlib when given) and
# the module importable by PYTHON (default python3). Targets: each package's
# data frame -> pedigree -> inbreeding within 1.3 times kinvar-cli's wall
# time and 1.5 times its peak memory. Figures are medians of --repeat runs,
# the three programs taking turns.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
n=1000000
file=""
threads=0
rlib=""
python=python3
repeat=3
before_rlib=""
before_python=""
while (($#)); do
  case "$1" in
    --n) n=$2; shift 2 ;;
    --file) file=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --rlib) rlib=$2; shift 2 ;;
    --python) python=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    --before-rlib) before_rlib=$2; shift 2 ;;
    --before-python) before_python=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
# The Python side reads the frame with pandas: a virtual environment made
# without --system-site-packages has no pandas of Debian's, and every run
# would fail after the CLI's.
for py in "$python" ${before_python:+"$before_python"}; do
  if ! "$py" -c 'import pandas, kinvar' 2>/dev/null; then
    echo "$py cannot import pandas and kinvar: give --python a Python that has both" \
      "(a venv made with --system-site-packages, the module installed in it)" >&2
    exit 2
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -n "$file" ]] || file="$work/generated-$n.pdg"
[[ -f "$file" ]] || "$repo/build/bin/kinvar-generate" --n "$n" "$file" >/dev/null
cat "$file" >/dev/null  # in the page cache for every run alike

cli_threads=()
((threads > 0)) && cli_threads=(--threads "$threads")

# Both scripts print "SECONDS CPU_SECONDS RSS_BEFORE_KIB PEAK_KIB ROWS" as
# their last line. A generated file spells an ID in lower case now and then, and one
# individual may so be spelled two ways, which a file allows and a data
# frame does not (the packages give IDs back as spelled): each ID keeps its
# first spelling, as bench/r/bench.R does.
cat >"$work/run.R" <<EOF
suppressPackageStartupMessages(library(kinvar${rlib:+, lib.loc = \"$rlib\"}))
kib <- function(field) {
  line <- grep(paste0("^", field, ":"), readLines("/proc/self/status"), value = TRUE)
  as.numeric(strsplit(trimws(sub(".*:", "", line)), " ")[[1]][1])
}
df <- read.table("$file", header = TRUE, comment.char = "!", quote = "",
                 colClasses = "character", na.strings = character())
if ("Group" %in% names(df)) df\$Group <- suppressWarnings(as.integer(ifelse(df\$Group == ".", NA, df\$Group)))
ids <- c(df\$Progeny, df\$Sire, df\$Dam)
key <- toupper(ids)
ids <- ids[match(key, key)]
rows <- nrow(df)
df\$Progeny <- ids[seq_len(rows)]
df\$Sire <- ids[rows + seq_len(rows)]
df\$Dam <- ids[2L * rows + seq_len(rows)]
rm(ids, key)
invisible(gc())
writeLines("5", "/proc/self/clear_refs")
before <- kib("VmRSS")
cpu <- function(t) t[["user.self"]] + t[["sys.self"]]
t0 <- proc.time()
ped <- as_pedigree(df, threads = $threads)
f <- inbreeding(ped, threads = $threads)
t1 <- proc.time()
cat(sprintf("%.3f %.3f %.0f %.0f %d\n", t1[["elapsed"]] - t0[["elapsed"]], cpu(t1) - cpu(t0), before,
            kib("VmHWM"), nrow(f)))
EOF
# The same script for the R package in --before-rlib.
if [[ -n "$before_rlib" ]]; then
  sed "1s|.*|suppressPackageStartupMessages(library(kinvar, lib.loc = \"$before_rlib\"))|" "$work/run.R" \
    >"$work/run-before.R"
fi
cat >"$work/run.py" <<EOF
import resource
import time
import pandas as pd
import kinvar

def kib(field):
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1])

frame = pd.read_csv("$file", sep=r"\s+", comment="!", dtype=str, na_values=["."],
                    keep_default_na=False)
if "Group" in frame:
    frame["Group"] = frame["Group"].astype(float)
ids = pd.concat([frame["Progeny"], frame["Sire"], frame["Dam"]], ignore_index=True)
first = ids.groupby(ids.str.upper()).transform("first")
rows = len(frame)
for k, column in enumerate(("Progeny", "Sire", "Dam")):
    frame[column] = first.iloc[k * rows:(k + 1) * rows].to_numpy()
del ids, first
with open("/proc/self/clear_refs", "w") as clear:
    clear.write("5")
def cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime

before = kib("VmRSS")
start, cpu_start = time.perf_counter(), cpu()
ped = kinvar.Pedigree.from_frame(frame, threads=$threads)
f = ped.inbreeding(threads=$threads)
end, cpu_end = time.perf_counter(), cpu()
print(f"{end - start:.3f} {cpu_end - cpu_start:.3f} {before} {kib('VmHWM')} {len(f)}")
EOF

# Each run appends "WALL CPU KIB" to NAME.figures.
run_cli() {
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$repo/build/bin/kinvar-cli" -q "${cli_threads[@]}" --format csv \
    --table inbreeding inbreeding "$file" -o "$work/cli.csv" >/dev/null 2>"$work/err" || {
    cat "$work/err" >&2
    return 1
  }
  read -r wall user sys kib <"$work/time"
  echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $kib" >>"$work/cli.figures"
}
run_package() {
  local name=$1
  shift
  "$@" >"$work/out" 2>"$work/err" || {
    cat "$work/err" >&2
    return 1
  }
  read -r seconds cpu before peak _ < <(tail -1 "$work/out")
  echo "$seconds $cpu $((peak - before))" >>"$work/$name.figures"
}

echo "pedigree: $file ($n lines), threads $threads, load average $(cut -d' ' -f1 /proc/loadavg)"
for ((run = 0; run < repeat; ++run)); do
  run_cli
  run_package R Rscript "$work/run.R"
  [[ -z "$before_rlib" ]] || run_package R-before Rscript "$work/run-before.R"
  run_package Python "$python" "$work/run.py"
  [[ -z "$before_python" ]] || run_package Python-before "$before_python" "$work/run.py"
done
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
read -r cli_wall < <(cut -d' ' -f1 "$work/cli.figures" | median)
read -r cli_cpu < <(cut -d' ' -f2 "$work/cli.figures" | median)
read -r cli_kib < <(cut -d' ' -f3 "$work/cli.figures" | median)
printf '%-13s %7.2f s wall %7.2f s processor %7d MB   (the whole program)\n' cli "$cli_wall" "$cli_cpu" \
  $((cli_kib / 1024))
names=(R)
[[ -z "$before_rlib" ]] || names+=(R-before)
names+=(Python)
[[ -z "$before_python" ]] || names+=(Python-before)
for name in "${names[@]}"; do
  read -r wall < <(cut -d' ' -f1 "$work/$name.figures" | median)
  read -r cpu < <(cut -d' ' -f2 "$work/$name.figures" | median)
  read -r kib < <(cut -d' ' -f3 "$work/$name.figures" | median)
  awk -v n="$name" -v w="$wall" -v c="$cpu" -v k="$kib" -v cw="$cli_wall" -v cc="$cli_cpu" -v ck="$cli_kib" 'BEGIN {
    printf "%-13s %7.2f s wall %7.2f s processor %7d MB\n", n, w, c, k / 1024
    printf "              %.2f x the wall time (target 1.3), %.2f x the processor time, %.2f x the memory (target 1.5)\n",
           w / cw, c / cc, k / ck }'
done
echo "load average after: $(cut -d' ' -f1 /proc/loadavg)"
