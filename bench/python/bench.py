#!/usr/bin/env python3
"""The Python module against kinvar-cli on a generated herd book.

Times, each in a child process of its own so that its peak memory
(ru_maxrss) is its alone:
  - kinvar-cli inbreeding FILE --format csv (wall time, to a file)
  - from_frame + inbreeding() on the file read with pandas (reading untimed)
  - ainverse() on the same pedigree
and prints a table. Run with the installed module's Python, e.g.
  .venv/bin/python bench/python/bench.py --cli build/bin/kinvar-cli \
      --generate build/bin/kinvar-generate
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

# The child's script: reads the file with pandas, then times `stage`.
CHILD = r"""
import json, resource, sys, time
import pandas as pd
import kinvar

def cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime

def kib(field):
    for line in open("/proc/self/status"):
        if line.startswith(field + ":"):
            return int(line.split()[1])

path, stage, threads = sys.argv[1], sys.argv[2], int(sys.argv[3])
frame = pd.read_csv(path, sep=r"\s+", comment="!", dtype=str, na_values=["."],
                    keep_default_na=False)
frame["Group"] = frame["Group"].astype(float)
# The generator spells some IDs in lower case at one place and upper case at
# another, which the core reads as one ID and the module refuses as a clash.
for column in ("Progeny", "Sire", "Dam"):
    frame[column] = frame[column].str.upper()
before = kib("VmRSS")
cpu_start = cpu()
start = time.perf_counter()
ped = kinvar.Pedigree.from_frame(frame, id="Progeny", sire="Sire", dam="Dam", group="Group",
                                 threads=threads)
built = time.perf_counter()
cpu_built = cpu()
if stage == "inbreeding":
    rows = len(ped.inbreeding(threads=threads))
else:
    rows = ped.ainverse(threads=threads).nnz
end = time.perf_counter()
print(json.dumps({"from_frame": built - start, "stage": end - built, "rows": rows,
                  "cpu": cpu() - cpu_start, "stage_cpu": cpu() - cpu_built,
                  "rss_before_kib": before, "peak_kib": kib("VmHWM")}))
"""


def run_child(command):
    """Runs `command`; its wall time, its peak resident memory in KiB and
    its standard output."""
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.PIPE)
    out = child.stdout.read()
    _, status, usage = os.wait4(child.pid, 0)
    run_child.cpu = usage.ru_utime + usage.ru_stime
    child.returncode = os.waitstatus_to_exitcode(status)
    wall = time.perf_counter() - start
    if child.returncode != 0:
        sys.exit(f"failed ({child.returncode}): {' '.join(map(str, command))}")
    return wall, usage.ru_maxrss, out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--n", type=int, default=1_000_000)
    parser.add_argument("--cli", required=True, type=Path)
    parser.add_argument("--generate", type=Path, help="kinvar-generate, when --file is not given")
    parser.add_argument("--file", type=Path, help="a pedigree file to use instead")
    parser.add_argument("--threads", type=int, default=0)
    args = parser.parse_args()
    work = Path(tempfile.mkdtemp(prefix="kinvar-bench-"))
    path = args.file
    if path is None:
        if args.generate is None:
            parser.error("give --file or --generate")
        path = work / "herd.pdg"
        subprocess.run([str(args.generate), "--n", str(args.n), str(path)], check=True,
                       stdout=subprocess.DEVNULL)
    threads = ["--threads", str(args.threads)] if args.threads else []
    os.environ["KINVAR_HOME"] = str(work)  # the children's settings, not the user's
    cli_wall, cli_kib, _ = run_child([str(args.cli), "inbreeding", str(path), "--format", "csv",
                                      "--table", "inbreeding", "-q", "-o", str(work / "f.csv"),
                                      *threads])
    cli_cpu = run_child.cpu
    figures = {}
    for stage in ("inbreeding", "ainverse"):
        _, kib, out = run_child([sys.executable, "-c", CHILD, str(path), stage,
                                 str(args.threads)])
        figures[stage] = json.loads(out) | {"maxrss_kib": kib}
    f, a = figures["inbreeding"], figures["ainverse"]
    module_time = f["from_frame"] + f["stage"]
    print(f"pedigree: {path} ({args.n:,} rows)")
    print(f"kinvar-cli inbreeding --format csv     {cli_wall:7.2f} s   peak {cli_kib / 1024:7.0f} MiB"
          f"   CPU {cli_cpu:.2f} s")
    print(f"from_frame + inbreeding()              {module_time:7.2f} s   "
          f"({f['from_frame']:.2f} + {f['stage']:.2f}), {module_time / cli_wall:.2f} x kinvar-cli; "
          f"CPU {f['cpu']:.2f} s, {f['cpu'] / cli_cpu:.2f} x")
    print(f"  child's peak {f['maxrss_kib'] / 1024:.0f} MiB, of which the module's "
          f"{(f['peak_kib'] - f['rss_before_kib']) / 1024:.0f} MiB "
          f"({(f['peak_kib'] - f['rss_before_kib']) / cli_kib:.2f} x kinvar-cli's peak)")
    print(f"ainverse() ({a['rows']:,} stored elements)  {a['stage']:7.2f} s   "
          f"CPU {a['stage_cpu']:.2f} s; module's peak {(a['peak_kib'] - a['rss_before_kib']) / 1024:.0f} MiB "
          f"(with the pedigree)")


if __name__ == "__main__":
    main()
