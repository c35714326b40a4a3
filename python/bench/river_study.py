"""The worked river example of the manual (docs/python.md, "Calibration" and
"Uncertainty and sensitivity"): four parameters of examples/river-network
fitted to 40 synthetic observations, a sample around the fit, and a
sensitivity screening.

    /usr/bin/python3 python/bench/river_study.py [--out DIR] [--figures DIR] [--client serial|ADDRESS]

`make_base` and `make_observations` are also used by calibrate_bench.py.
"""

from __future__ import annotations

import argparse
import shutil
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]
sys.path.insert(0, str(REPO / "python"))

import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

import ostra  # noqa: E402

# The four parameters, their true values (those of the example) and the
# ranges searched; decay rates are sinks, hence negative.
PARAMETERS = pd.DataFrame({
    "name": ["reach_decay", "lake_decay", "spill", "discharge"],
    "initial": [-0.1, -0.02, 1000.0, 8000.0],
    "lower": [-0.5, -0.5, 100.0, 100.0],
    "upper": [-0.001, -0.001, 20000.0, 50000.0],
    "transform": ["none", "none", "log", "log"],
})
TRUTH = {"reach_decay": -0.05, "lake_decay": -0.05, "spill": 2000.0, "discharge": 5000.0}


def _template(base: Path, name: str, changes: list[tuple[str, str]]) -> None:
    text = (base / name).read_text()
    for old, new in changes:
        assert old in text, (name, old)
        text = text.replace(old, new)
    (base / f"{name}.tpl").write_text("ptf @\n" + text)
    (base / name).unlink()


def make_base(root: Path) -> Path:
    """examples/river-network with the four parameters as template markers."""
    base = root / "river-base"
    shutil.rmtree(base, ignore_errors=True)
    shutil.copytree(REPO / "examples" / "river-network", base)
    _template(base, "Loads.csv", [("2,1,2000,-999", "2,1,@spill@,-999"), ("5,1,5000,-999", "5,1,@discharge@,-999")])
    _template(base, "VolumeSrcSnks.csv", [(f"{k},1,1,-0.05", f"{k},1,1,@{'lake' if k == 5 else 'reach'}_decay@")
                                          for k in (2, 4, 5, 6)])
    return base


def make_observations(root: Path, executable: str, noise: float = 0.03, seed: int = 1) -> pd.DataFrame:
    """40 observations of the parent chemical (state variable 1) in reaches 1
    and 2, the lake and reach 3 every 6 days, from a run with the true values,
    with `noise` relative error."""
    truth = root / "river-truth"
    shutil.rmtree(truth, ignore_errors=True)
    shutil.copytree(REPO / "examples" / "river-network", truth)
    series = ostra.read_time_series(ostra.run(truth, executable=executable), state_variables=[1],
                                    compartments=[2, 4, 5, 6])
    obs = series[series.time % 6 == 0].rename(columns={"concentration": "value"}).reset_index(drop=True)
    rng = np.random.default_rng(seed)
    return obs.assign(value=obs.value * (1 + noise * rng.standard_normal(len(obs))))


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", default="/tmp/ostra-river-study")
    parser.add_argument("--figures", help="directory for python-bands.png and python-sensitivity.png")
    parser.add_argument("--client", default=None, help='"serial", a scheduler address, or a local cluster')
    parser.add_argument("--executable", default=str(REPO / "build" / "ostra"))
    args = parser.parse_args()
    root = Path(args.out)
    root.mkdir(parents=True, exist_ok=True)
    base = make_base(root)
    observations = make_observations(root, args.executable)
    observations.to_csv(root / "observations.csv", index=False)
    PARAMETERS.to_csv(root / "parameters.csv", index=False)

    client = args.client if args.client else ostra.local_client()
    try:
        fit = ostra.calibrate(base, PARAMETERS, observations, root / "runs", client=client,
                              executable=args.executable)
        print(fit.table[["name", "value", "standard_error", "determined"]].to_string(index=False))
        print(f"objective {fit.objective:.4g}; {fit.evaluations} points, {fit.runs} runs; {fit.message}")
        print(fit.correlation.round(2).to_string())

        # Predictions with a range: the parameters drawn around the fit.
        # Normal for the rates, log-normal (of the same relative spread) for the loads.
        table = fit.table
        log = table["transform"] == "log"
        distributions = pd.DataFrame({
            "name": table.name, "distribution": np.where(log, "lognormal", "normal"),
            "mean": np.where(log, np.log(table.value.abs()), table.value),
            "sd": np.where(log, table.standard_error / table.value.abs(), table.standard_error)})
        spread = ostra.sample(base, distributions, 64, root / "runs", client=client, seed=2,
                              outputs="series:2,5", executable=args.executable, progress=False)
        print(f"sample: {len(spread.draws.draw.unique())} draws, {spread.n_failed} failed, {spread.runs} runs")

        screening = ostra.sensitivity(base, PARAMETERS.drop(columns="initial"), root / "runs", method="morris",
                                      trajectories=10, client=client, seed=3, executable=args.executable,
                                      progress=False)
        print(screening.ranking.to_string(index=False), f"\n({screening.runs} runs)")
    finally:
        if not isinstance(client, str):
            client.close()

    if args.figures:
        from ostra import plot

        figures = Path(args.figures)
        fig = plot.bands(spread, state_variable=1, observations=observations,
                               title="River network: state variable 1 after calibration (64 draws)")
        fig.savefig(figures / "python-bands.png", dpi=90)
        fig = plot.sensitivity(screening, output="SV 1 in Compartment 5")
        fig.savefig(figures / "python-sensitivity.png", dpi=90)
        print(f"figures in {figures}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
