"""Building, validating and writing the largest models, and reading them back.

    /usr/bin/python3 python/bench/model_bench.py [--rounds 3] [--executable build/ostra]

Two models of the largest size ostra takes (32,767 compartments):

- chain: a river of one reach cut into 32,765 segments between a
  fixed-concentration inflow and a flow exit, with dispersion and decay;
- grid: 181 x 181 cells with flow along x between one inflow and one exit
  compartment, exchange along x and y, decay (32,763 compartments).

For each, in every round: the time to build it (the generator and the
decay), to validate it (the checks of the model's objects, the files
written into a temporary directory and `ostra --check` run there), to
write it, to run `ostra --check` alone on the written files, and to read it
back (Model.read). Wall time, and CPU time of this process and of the ostra
processes it waited for.
"""

from __future__ import annotations

import argparse
import resource
import shutil
import statistics
import sys
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "python"))

import pandas as pd  # noqa: E402

import ostra  # noqa: E402


def chain() -> ostra.Model:
    reach = pd.DataFrame([dict(reach="river", length=32765 * 100.0, width=20.0, depth=2.0, flow=40000.0,
                               downstream=None, segments=32765, dispersion=50.0)])
    reach["inflow:sv1"] = 1.0
    m = ostra.river_network(reach)
    m.add_decay("sv1", 0.05)
    return m


def grid() -> ostra.Model:
    m = ostra.grid(181, 181, 10.0, 10.0, 2.0, flow=5.0, exchange_x=0.5, exchange_y=0.5, inflow={"sv1": 1.0})
    m.add_decay("sv1", 0.01)
    return m


def cpu_time() -> float:
    """CPU seconds of this process and of its children that have ended."""
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return time.process_time() + children.ru_utime + children.ru_stime


def timed(step):
    wall, cpu = time.perf_counter(), cpu_time()
    value = step()
    return value, time.perf_counter() - wall, cpu_time() - cpu


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--executable", default=str(REPO / "build" / "ostra"))
    args = parser.parse_args()
    root = Path(tempfile.mkdtemp(prefix="ostra-model-bench-"))
    steps = ("build", "validate", "write", "check", "read")
    try:
        for name, make in (("chain", chain), ("grid", grid)):
            figures = {k: [] for k in steps}
            for r in range(args.rounds):
                directory = root / f"{name}-{r}"
                m, *build = timed(make)
                warnings, *validate = timed(lambda: m.validate(executable=args.executable))
                assert warnings == [], warnings
                _, *write = timed(lambda: m.write(directory, validate=False))
                _, *check = timed(lambda: ostra.run(directory, executable=args.executable, check=True))
                back, *read = timed(lambda: ostra.Model.read(directory))
                assert back.size == m.size and len(back.interfaces) == len(m.interfaces)
                for key, value in zip(steps, (build, validate, write, check, read)):
                    figures[key].append(value)
            print(f"{name}: {m.size} compartments, {len(m.interfaces)} interface sides, {args.rounds} rounds "
                  "(median wall s / median CPU s)")
            for key, values in figures.items():
                walls, cpus = zip(*values)
                label = {"check": "ostra --check alone", "read": "read back"}.get(key, key)
                print(f"  {label:20s} {statistics.median(walls):6.2f} / {statistics.median(cpus):6.2f}")
            total = [[sum(figures[k][i][j] for k in ("build", "validate", "write")) for j in (0, 1)]
                     for i in range(args.rounds)]
            walls, cpus = zip(*total)
            print(f"  {'build+validate+write':20s} {statistics.median(walls):6.2f} / {statistics.median(cpus):6.2f}")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
