"""Building, validating and writing the largest models, and reading them back.

    /usr/bin/python3 python/bench/model_bench.py [--rounds 3] [--check] [--executable build/ostra]

Two models of the largest size ostra takes (32,767 compartments):

- chain: a river of one reach cut into 32,765 segments between a
  fixed-concentration inflow and a flow exit, with dispersion and decay;
- grid: 181 x 181 cells with flow along x between one inflow and one exit
  compartment, exchange along x and y, decay (32,763 compartments).

For each, in every round: the time to build it (the generator and the
decay), to validate it, to write it, and to read it back (Model.read), wall
and CPU time of this process. With --check, `ostra --check` of the written
model once, for comparison (wall time; ostra runs in a process of its own).
"""

from __future__ import annotations

import argparse
import shutil
import statistics
import subprocess
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


def timed(step):
    wall, cpu = time.perf_counter(), time.process_time()
    value = step()
    return value, time.perf_counter() - wall, time.process_time() - cpu


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--check", action="store_true", help="run ostra --check on each written model once")
    parser.add_argument("--executable", default=str(REPO / "build" / "ostra"))
    args = parser.parse_args()
    root = Path(tempfile.mkdtemp(prefix="ostra-model-bench-"))
    try:
        for name, make in (("chain", chain), ("grid", grid)):
            figures = {k: [] for k in ("build", "validate", "write", "read")}
            for r in range(args.rounds):
                directory = root / f"{name}-{r}"
                m, *build = timed(make)
                _, *validate = timed(m.validate)
                _, *write = timed(lambda: m.write(directory, validate=False))
                back, *read = timed(lambda: ostra.Model.read(directory))
                assert back.size == m.size and len(back.interfaces) == len(m.interfaces)
                for key, value in zip(figures, (build, validate, write, read)):
                    figures[key].append(value)
            print(f"{name}: {m.size} compartments, {len(m.interfaces)} interface sides, {args.rounds} rounds "
                  "(median wall s / median CPU s)")
            for key, values in figures.items():
                walls, cpus = zip(*values)
                print(f"  {key:9s} {statistics.median(walls):6.2f} / {statistics.median(cpus):6.2f}")
            total = [sum(figures[k][i][0] for k in ("build", "validate", "write")) for i in range(args.rounds)]
            print(f"  build + validate + write: {statistics.median(total):.2f} s wall (median)")
            if args.check:
                start = time.perf_counter()
                proc = subprocess.run([args.executable, "--check", "--quiet", str(root / f"{name}-0")],
                                      capture_output=True, text=True)
                print(f"  ostra --check: {time.perf_counter() - start:.2f} s wall, status {proc.returncode}"
                      + (f": {proc.stderr.strip()[:200]}" if proc.returncode else ""))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
