"""Throughput of a scenario sweep of examples/river-network on the local
cluster, against the same runs one after another in a shell loop.

    /usr/bin/python3 python/bench/sweep_bench.py [--scenarios 200] [--executable build/ostra]

Both sides run the same filled models: the loop runs `ostra` in directories
prepared beforehand (preparing them is not timed); the sweep is timed from
the call of `ostra.sweep` to its table, on a local cluster started before
(its start is reported on its own). Prints scenarios per second of each
and their ratio, which approaches the number of worker processes when the
sweep's own overhead is small.
"""

from __future__ import annotations

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "python"))

import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

import ostra  # noqa: E402
from ostra.studies.templates import find_templates  # noqa: E402


def make_base(root: Path) -> Path:
    base = root / "base"
    shutil.copytree(REPO / "examples" / "river-network", base)
    loads = (base / "Loads.csv").read_text()
    loads = loads.replace("2,1,2000,-999", "2,1,@spill    @,-999").replace("5,1,5000,-999", "5,1,@discharge@,-999")
    (base / "Loads.csv.tpl").write_text("ptf @\n" + loads)
    (base / "Loads.csv").unlink()
    rates = (base / "VolumeSrcSnks.csv").read_text().replace(",1,1,-0.05", ",1,1,@decay      @")
    (base / "VolumeSrcSnks.csv.tpl").write_text("ptf @\n" + rates)
    (base / "VolumeSrcSnks.csv").unlink()
    return base


def scenarios(n: int) -> pd.DataFrame:
    rng = np.random.default_rng(42)
    return pd.DataFrame({
        "spill": rng.integers(0, 5000, n),
        "discharge": np.round(rng.uniform(1000, 10000, n), 1),
        "decay": np.round(-rng.uniform(0.01, 0.2, n), 4),
    })


def prepare_loop(base: Path, table: pd.DataFrame, root: Path) -> list[Path]:
    templates = find_templates(base)
    dirs = []
    for i, row in enumerate(table.to_dict("records"), start=1):
        d = root / f"s{i:04d}"
        shutil.copytree(base, d, ignore=shutil.ignore_patterns("*.tpl"))
        for t in templates:
            (d / t.target).write_bytes(t.fill(row))
        dirs.append(d)
    return dirs


def _cpu() -> tuple[float, float]:
    """CPU seconds of this process and of its finished children."""
    import resource

    me = resource.getrusage(resource.RUSAGE_SELF)
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return me.ru_utime + me.ru_stime, children.ru_utime + children.ru_stime


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scenarios", type=int, default=200)
    parser.add_argument("--executable", default=None, help="default: OSTRA_EXE, build/ostra, PATH")
    parser.add_argument("--workers", type=int, default=None, help="default: one per core")
    parser.add_argument("--repeat", type=int, default=3, help="loop and sweep, alternately, this many times each")
    args = parser.parse_args()
    program = ostra.find_executable(args.executable)
    cores = args.workers or len(os.sched_getaffinity(0))
    n = args.scenarios

    root = Path(tempfile.mkdtemp(prefix="ostra-bench-"))
    try:
        base = make_base(root)
        table = scenarios(n)
        dirs = prepare_loop(base, table, root / "loop")
        listing = root / "dirs.txt"
        listing.write_text("\n".join(map(str, dirs)) + "\n")

        start = time.perf_counter()
        client, cluster = ostra.local_client(cores)  # as a sweep without a client starts it
        client.wait_for_workers(cores)
        startup = time.perf_counter() - start
        loops, sweeps, cpu = [], [], []
        try:
            for k in range(args.repeat):
                c0 = _cpu()[1]
                start = time.perf_counter()
                subprocess.run(["bash", "-c", 'while read -r d; do "$0" "$d" >/dev/null || exit 1; done < "$1"',
                                str(program), str(listing)], check=True)
                loops.append(time.perf_counter() - start)
                loop_cpu = _cpu()[1] - c0

                w0, s0 = client.run(_cpu), _cpu()[0]
                start = time.perf_counter()
                result = ostra.sweep(base, table, root / f"sweep{k}", client=client, executable=program,
                                     progress=False)
                sweeps.append(time.perf_counter() - start)
                w1, s1 = client.run(_cpu), _cpu()[0]
                workers = sum(w1[w][0] - w0[w][0] for w in w0)
                runs = sum(w1[w][1] - w0[w][1] for w in w0)
                cpu.append((loop_cpu, runs, workers, s1 - s0))
                assert (result.status == "done").all(), result[result.status != "done"][["scenario", "error"]]
        finally:
            client.close()
            cluster.close()

        # The sweep's values are those of the loop's runs.
        for i in (0, len(dirs) // 2, len(dirs) - 1):
            final = ostra.read_time_series(dirs[i], wide=True).iloc[-1]
            assert all(result.iloc[i][c] == v for c, v in final.items())

        ms = 1000 / n
        print(f"river-network, {n} scenarios, {cores} worker processes, {args.repeat} rounds, "
              f"load average {os.getloadavg()[0]:.1f} at the end")
        for k, (loop, swept) in enumerate(zip(loops, sweeps), start=1):
            print(f"  round {k}: loop {loop:6.2f} s ({n / loop:5.1f}/s)   sweep {swept:6.2f} s ({n / swept:5.1f}/s)"
                  f"   ratio {loop / swept:4.2f}")
        ratio = statistics.median(loop / swept for loop, swept in zip(loops, sweeps))
        print(f"median of the rounds: loop {n / statistics.median(loops):5.1f} scenarios/s, "
              f"sweep {n / statistics.median(sweeps):5.1f} scenarios/s, ratio {ratio:.2f} "
              f"(cluster start {startup:.2f} s, not included)")
        loop_cpu, runs, workers, client_cpu = (statistics.median(c[i] for c in cpu) for i in range(4))
        print(f"CPU per scenario: loop {loop_cpu * ms:.1f} ms (ostra); sweep {(runs + workers + client_cpu) * ms:.1f} ms "
              f"= ostra {runs * ms:.1f} + worker processes {workers * ms:.1f} + client and scheduler {client_cpu * ms:.1f}")
        best = cores * loop_cpu / (runs + workers + client_cpu)
        print(f"ratio the CPU allows on {cores} otherwise idle cores: {best:.2f}")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
