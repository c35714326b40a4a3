"""Reading results and sweeping large models, side by side in one run.

    /usr/bin/python3 python/bench/results_bench.py [--executable build/ostra] [--quick]

1. fresh/old: a one-compartment model of 10,000 steps run right after its
   files were written, and the same run once they are 1.2 s old (three
   pairs, alternating): the run time of `ostra` itself;
2. read: a chain of 32,765 equations run 100 steps with the sparse solver
   ("AllTimeSeries.csv" of 67 MB): the run's time against
   `read_time_series` tidy and wide, and the peak memory of each read beyond
   the final table (tracemalloc, a separate pass);
3. sweep-1000: 200 scenarios of a 1,000-compartment chain collecting final
   values on the local cluster: seconds reading against seconds running
   (summed over the scenarios, as the workers measured them);
4. sweep-32765: four scenarios of the 32,765-equation chain on 2 local
   workers (outputs only kept) against the same four runs in a shell loop;
   the client's peak memory (maximum resident set of its process); and,
   as the bound no sweep on this machine can pass, the same four runs two
   at a time in the shell (no Python): two runs side by side share the
   machine's memory and disk, so each is slower than alone.

Each part runs in a process of its own (so that memory figures are its
own); wall and CPU seconds are printed for every figure.
"""

from __future__ import annotations

import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
import tracemalloc
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(REPO / "python"))
sys.path.insert(0, str(HERE))

import ostra  # noqa: E402
import pandas as pd  # noqa: E402
from models import write_chain, write_one_compartment  # noqa: E402


def _cpu_children() -> float:
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def _cpu_self() -> float:
    r = resource.getrusage(resource.RUSAGE_SELF)
    return r.ru_utime + r.ru_stime


def fresh_old(root: Path, exe: str, pairs: int) -> dict:
    out = {"fresh": [], "old": []}
    for k in range(pairs):
        for kind in ("fresh", "old"):
            model = write_one_compartment(root / f"one-{kind}-{k}", 10000)
            if kind == "old":
                time.sleep(1.2)
            cpu = _cpu_children()
            result = ostra.run(model, executable=exe)
            out[kind].append((result.wall_time, _cpu_children() - cpu))
    return out


def _templated_chain(root: Path, n: int, steps: int, sparse: bool) -> Path:
    base = write_chain(root / "base", n, steps, sparse=sparse)
    text = (base / "VolumeSrcSnks.csv").read_bytes()
    assert b"2,1,1,-0.01\r\n" in text
    text = text.replace(b"2,1,1,-0.01\r\n", b"2,1,1,@k@\r\n", 1)
    (base / "VolumeSrcSnks.csv.tpl").write_bytes(b"ptf @\r\n" + text)
    (base / "VolumeSrcSnks.csv").unlink()
    return base


def read(root: Path, exe: str) -> dict:
    model = write_chain(root / "chain", 32765, 100, sparse=True)
    cpu = _cpu_children()
    result = ostra.run(model, executable=exe)
    figures = {"run": (result.wall_time, _cpu_children() - cpu),
               "file_mb": (model / "AllTimeSeries.csv").stat().st_size / 1e6}
    for label, wide in (("tidy", False), ("wide", True)):
        cpu, start = _cpu_self(), time.perf_counter()
        table = ostra.read_time_series(result, wide=wide)
        figures[label] = (time.perf_counter() - start, _cpu_self() - cpu)
        size = int(table.memory_usage(deep=True).sum()) + (table.index.nbytes if wide else 0)
        del table
        tracemalloc.start()
        table = ostra.read_time_series(result, wide=wide)
        _, peak = tracemalloc.get_traced_memory()
        tracemalloc.stop()
        del table
        figures[label + "_table_mb"] = size / 1e6
        figures[label + "_peak_beyond_table_mb"] = (peak - size) / 1e6
    return figures


def sweep_small(root: Path, exe: str, n: int) -> dict:
    from ostra.studies import Study
    from ostra.studies.outputs import parse_outputs

    base = _templated_chain(root, 1000, 20, sparse=False)
    with Study(base, root / "out", executable=exe, files="none", progress=False) as study:
        study.model.check_parameters(["k"], "the benchmark")
        scenarios = [study.scenario({"k": -0.01 * (1 + i / n)}, name=i + 1) for i in range(n)]
        start, cpu = time.perf_counter(), _cpu_self()
        answers = study.run(scenarios, parse_outputs("final"))
        wall = time.perf_counter() - start
    done = [a for a in answers if a["status"] == "done"]
    return {"scenarios": n, "done": len(done), "sweep_wall": wall,
            "running_s": sum(a["wall_time"] for a in done), "reading_s": sum(a.get("read_time", 0) for a in done),
            "client_cpu": _cpu_self() - cpu}


def sweep_large(root: Path, exe: str) -> dict:
    base = _templated_chain(root, 32765, 100, sparse=True)
    values = [-0.01, -0.02, -0.03, -0.04]
    # The loop: the same four filled models, run one after another by the shell.
    from ostra.studies.templates import find_templates
    dirs = []
    for i, k in enumerate(values):
        d = root / f"loop-{i}"
        shutil.copytree(base, d, ignore=shutil.ignore_patterns("*.tpl"))
        for t in find_templates(base):
            (d / t.target).write_bytes(t.fill({"k": k}))
        dirs.append(d)
    script = "; ".join(f"(cd {d} && {exe} . > /dev/null)" for d in dirs)
    pairs = "; ".join(" ".join(f"(cd {d} && {exe} . > /dev/null) &" for d in dirs[k:k + 2]) + " wait"
                      for k in range(0, len(dirs), 2))
    rounds = []
    with ostra.local_client(2) as cluster:
        for k in range(2):  # alternately, so that both meet the same load
            cpu, start = _cpu_children(), time.perf_counter()
            subprocess.run(["/bin/sh", "-c", script], check=True)
            loop = (time.perf_counter() - start, _cpu_children() - cpu)
            start = time.perf_counter()
            subprocess.run(["/bin/sh", "-c", pairs], check=True)
            two_at_a_time = time.perf_counter() - start
            start, cpu = time.perf_counter(), _cpu_self()
            table = ostra.sweep(base, pd.DataFrame({"k": values}), root / f"out-{k}", client=cluster,
                                executable=exe, files="none", progress=False)
            sweep = (time.perf_counter() - start, _cpu_self() - cpu)
            assert set(table.status) == {"done"}, table[["status", "error"]]
            rounds.append({"loop": loop, "sweep": sweep, "ratio": sweep[0] / loop[0],
                           "two_at_a_time": two_at_a_time, "bound_ratio": two_at_a_time / loop[0],
                           "run_wall_in_sweep": table.wall_time.tolist()})
    return {"rounds": rounds, "client_max_rss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1e3}


def _part(name: str, exe: str, args) -> dict:
    root = Path(tempfile.mkdtemp(prefix=f"ostra-bench-{name}-"))
    try:
        if name == "fresh-old":
            return fresh_old(root, exe, args.pairs)
        if name == "read":
            return read(root, exe)
        if name == "sweep-1000":
            return sweep_small(root, exe, args.scenarios)
        return sweep_large(root, exe)
    finally:
        shutil.rmtree(root, ignore_errors=True)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--executable", default=str(REPO / "build" / "ostra"))
    parser.add_argument("--part", help="run one part in this process (used by the script itself)")
    parser.add_argument("--parts", nargs="+", default=["fresh-old", "read", "sweep-1000", "sweep-32765"])
    parser.add_argument("--pairs", type=int, default=3)
    parser.add_argument("--scenarios", type=int, default=200)
    args = parser.parse_args()
    exe = str(Path(args.executable).absolute())
    if args.part:
        print(json.dumps(_part(args.part, exe, args)))
        return 0
    print(f"load average before: {os.getloadavg()}")
    for name in args.parts:
        proc = subprocess.run([sys.executable, __file__, "--part", name, "--executable", exe,
                               "--pairs", str(args.pairs), "--scenarios", str(args.scenarios)],
                              capture_output=True, text=True)
        if proc.returncode != 0:
            print(f"{name}: FAILED\n{proc.stderr[-3000:]}")
            continue
        print(f"{name}: {proc.stdout.strip().splitlines()[-1]}")
    print(f"load average after: {os.getloadavg()}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
