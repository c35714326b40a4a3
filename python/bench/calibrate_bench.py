"""Calibrating four parameters of the river example (examples/river-network)
to 40 observations: on a local cluster of 2 workers against the same fit run
serially in this process (the same runs, each side into a fresh out_dir),
two rounds alternately; then the resumed second call of the cluster's fit.

    /usr/bin/python3 python/bench/calibrate_bench.py [--executable build/ostra]

Prints, per fit, the model runs used, wall seconds and CPU seconds (of this
process and its children, and for the cluster also of the two workers and
the runs they started), the ratio of the serial wall time to the cluster's,
and the resumed call's share of the first.
"""

from __future__ import annotations

import argparse
import os
import resource
import shutil
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(REPO / "python"))
sys.path.insert(0, str(HERE))

import ostra  # noqa: E402
from river_study import PARAMETERS, make_base, make_observations  # noqa: E402


def _cpu() -> float:
    a, b = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
    return a.ru_utime + a.ru_stime + b.ru_utime + b.ru_stime


def _workers_cpu(cluster) -> float:
    def usage():  # travels by value to the workers
        import resource as r

        a, b = r.getrusage(r.RUSAGE_SELF), r.getrusage(r.RUSAGE_CHILDREN)
        return a.ru_utime + a.ru_stime + b.ru_utime + b.ru_stime

    return sum(cluster.client.run(usage).values())


def _fit(base, observations, out, client, exe):
    cpu, start = _cpu(), time.perf_counter()
    fit = ostra.calibrate(base, PARAMETERS, observations, out, client=client, executable=exe,
                          jacobian_ahead=True)
    return fit, time.perf_counter() - start, _cpu() - cpu


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--executable", default=str(REPO / "build" / "ostra"))
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()
    exe = str(Path(args.executable).absolute())
    root = Path(tempfile.mkdtemp(prefix="ostra-calibrate-bench-"))
    try:
        base = make_base(root)
        observations = make_observations(root, exe)
        print(f"{len(observations)} observations; load average {os.getloadavg()}")
        start = time.perf_counter()
        cluster = ostra.local_client(2)
        print(f"local cluster of 2 workers started in {time.perf_counter() - start:.2f} s")
        try:
            ratios = []
            for k in range(args.rounds):
                before = _workers_cpu(cluster)
                fit_c, wall_c, cpu_c = _fit(base, observations, root / f"cluster-{k}", cluster, exe)
                workers = _workers_cpu(cluster) - before
                fit_s, wall_s, cpu_s = _fit(base, observations, root / f"serial-{k}", "serial", exe)
                assert fit_c.values == fit_s.values and fit_c.runs == fit_s.runs
                ratios.append(wall_s / wall_c)
                print(f"round {k + 1}: {fit_c.runs} model runs ({fit_c.evaluations} points) each; "
                      f"cluster {wall_c:.2f} s wall ({cpu_c:.2f} s CPU here, {workers:.2f} s in the workers and their runs), "
                      f"serial {wall_s:.2f} s wall "
                      f"({cpu_s:.2f} s CPU); serial / cluster = {wall_s / wall_c:.2f}")
            again, wall_r, cpu_r = _fit(base, observations, root / "cluster-0", cluster, exe)
            assert again.runs == 0
            print(f"resumed call: {wall_r:.3f} s wall ({cpu_r:.3f} s CPU), {again.cached_runs} runs from the cache: "
                  f"{100 * wall_r / wall_c:.1f} % of the last cluster fit")
            print(f"fitted: {fit_c.values}")
        finally:
            cluster.close()
        print(f"load average after: {os.getloadavg()}")
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
