"""Calibration, sampling and sensitivity of the river examples: parameters
recovered from synthetic observations, the Jacobian spread over a real
scheduler's workers, an interrupted fit resumed, a sample's median against
the sweep of the same points, failures kept as data, and a ranking."""

from __future__ import annotations

import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import ostra
from conftest import PROGRAM, REPO, copy_model

TRUTH = {"lake_decay": -0.05, "lake_load": 5000.0}
LAKE = pd.DataFrame({"name": ["lake_decay", "lake_load"], "initial": [-0.1, 3000.0], "lower": [-0.5, 100.0],
                     "upper": [-0.001, 50000.0], "transform": ["none", "log"]})


def _template(base, name, old, new, delimiter="@"):
    text = (base / name).read_text()
    assert old in text
    (base / f"{name}.tpl").write_text(f"ptf {delimiter}\n" + text.replace(old, new))
    (base / name).unlink()


@pytest.fixture(scope="module")
def lake(tmp_path_factory):
    """The river network with the lake's decay rate and discharge as markers,
    and observations of its own run (state variable 1 in the lake and the
    reach below it, every five days)."""
    root = tmp_path_factory.mktemp("lake")
    base = copy_model("river-network", root / "base")
    _template(base, "Loads.csv", "5,1,5000,-999", "5,1,@lake_load@,-999")
    _template(base, "VolumeSrcSnks.csv", "5,1,1,-0.05", "5,1,1,@lake_decay@")
    truth = ostra.run(copy_model("river-network", root / "truth"), executable=PROGRAM)
    series = ostra.read_time_series(truth, compartments=[5, 6], state_variables=[1])
    observations = series[series.time % 5 == 0].rename(columns={"concentration": "value"}).reset_index(drop=True)
    return base, observations


def test_lake_recovered_exactly_and_within_standard_errors(lake, tmp_path):
    base, observations = lake
    fit = ostra.calibrate(base, LAKE, observations, tmp_path / "exact", client="serial", executable=PROGRAM)
    assert fit.success and fit.undetermined == [] and len(fit.failures) == 0
    for name, value in TRUTH.items():
        assert abs(fit.values[name] / value - 1) < 1e-6, (name, fit.values[name])
    assert fit.history.objective.iloc[-1] <= fit.history.objective.iloc[0] * 1e-6
    assert fit.runs == fit.evaluations and list(fit.residuals.columns[-3:]) == ["model", "residual",
                                                                                 "weighted_residual"]
    rng = np.random.default_rng(7)
    noisy = observations.assign(value=observations.value * (1 + 0.01 * rng.standard_normal(len(observations))))
    fit = ostra.calibrate(base, LAKE, noisy, tmp_path / "noisy", client="serial", executable=PROGRAM)
    se = fit.standard_errors
    assert np.isfinite(se).all() and (se > 0).all()
    for name, value in TRUTH.items():
        assert abs(fit.values[name] - value) < 3 * se[name], (name, fit.values[name], se[name])
    corr = fit.correlation.to_numpy()
    assert np.allclose(np.diag(corr), 1) and abs(corr[0, 1]) < 1


def test_steady_river_decay_from_profile_observations(tmp_path):
    base = copy_model("river-network-steady", tmp_path / "base")
    text = (base / "VolumeSrcSnks.csv").read_text()
    rate = next(line.split(",")[3] for line in text.splitlines()[1:] if line.split(",")[1:3] == ["1", "1"])
    truth = ostra.read_profile(ostra.run(copy_model("river-network-steady", tmp_path / "truth"), executable=PROGRAM))
    lines = text.splitlines(keepends=True)
    filled = [ln.replace(f",1,1,{rate}", ",1,1,@decay@") if ln.split(",")[1:3] == ["1", "1"] else ln for ln in lines]
    (base / "VolumeSrcSnks.csv.tpl").write_text("ptf @\n" + "".join(filled))
    (base / "VolumeSrcSnks.csv").unlink()
    observations = truth[truth.state_variable == 1][["time", "state_variable", "compartment", "concentration"]]
    observations = observations.rename(columns={"concentration": "value"})
    parameters = pd.DataFrame({"name": ["decay"], "initial": [float(rate) * 3], "lower": [-1.0], "upper": [-1e-4]})
    fit = ostra.calibrate(base, parameters, observations, tmp_path / "out", client="serial", executable=PROGRAM)
    assert abs(fit.values["decay"] / float(rate) - 1) < 1e-6
    # An observation the results cannot give is named by its row after the first run alone.
    wrong = observations.assign(compartment=observations.compartment.replace({observations.compartment.iloc[1]: 99}))
    with pytest.raises(ostra.StudyError, match=r"observation row 2 \(time -999, state variable 1, compartment 99\)"):
        ostra.calibrate(base, parameters, wrong, tmp_path / "wrong", client="serial", executable=PROGRAM)


def test_jacobian_runs_spread_over_two_workers_and_an_interrupted_fit_resumes(lake, dask_cluster, tmp_path):
    base, observations = lake
    out = tmp_path / "out"
    stopped = ostra.calibrate(base, LAKE, observations, out, client=dask_cluster["address"], executable=PROGRAM,
                              max_evaluations=2)
    assert not stopped.success and stopped.runs >= 3
    jacobians = stopped.log[stopped.log.purpose == "Jacobian"]
    assert (stopped.log[stopped.log.batch.isin(jacobians.batch)].groupby("batch").worker.nunique() == 2).any()
    whole = ostra.calibrate(base, LAKE, observations, out, client=dask_cluster["address"], executable=PROGRAM)
    assert whole.cached_runs == stopped.runs and whole.runs == whole.evaluations - stopped.runs
    again = ostra.calibrate(base, LAKE, observations, out, client="tcp://127.0.0.1:9", executable=PROGRAM)
    assert again.runs == 0 and again.values == whole.values


@pytest.fixture(scope="module")
def sample_base(tmp_path_factory):
    base = copy_model("river-network", tmp_path_factory.mktemp("sample") / "base")
    _template(base, "Loads.csv", "5,1,5000,-999", "@lake@,1,@lake_load@,-999")
    _template(base, "VolumeSrcSnks.csv", "5,1,1,-0.05", "5,1,1,@lake_decay@")
    return base


def test_sample_median_is_that_of_the_sweep_of_the_same_points(sample_base, tmp_path):
    distributions = pd.DataFrame({"name": ["lake_decay", "lake_load"], "distribution": ["uniform", "lognormal"],
                                  "lower": [-0.1, np.nan], "upper": [-0.02, np.nan], "mean": [np.nan, np.log(5000)],
                                  "sd": [np.nan, 0.3]})
    result = ostra.sample(sample_base, distributions, 64, tmp_path / "sample", client="serial", seed=3,
                          executable=PROGRAM, fixed={"lake": 5}, progress=False)
    assert result.n_failed == 0 and result.draws.draw.tolist() == list(range(1, 65))
    points = result.draws[["lake_decay", "lake_load"]].assign(lake=5)
    swept = ostra.sweep(sample_base, points, tmp_path / "sweep", client="serial", executable=PROGRAM, progress=False)
    median = result.percentiles.set_index("percentile").loc[50.0]
    for column in ("SV 1 in Compartment 5", "SV 2 in Compartment 6"):
        assert median[column] == np.median(swept[column].to_numpy())
    assert (result.percentiles.set_index("percentile").loc[5.0] <= median).all()


def test_failed_draws_are_listed_and_left_out(sample_base, tmp_path):
    draws = pd.DataFrame({"lake_decay": [-0.05, -0.06, -0.07], "lake_load": [5000.0, 4000.0, 3000.0],
                          "lake": [5, 40000, 5]})
    result = ostra.sample(sample_base, draws, None, tmp_path / "out", client="serial", executable=PROGRAM,
                          progress=False)
    assert result.n_failed == 1
    failed = result.failed.iloc[0]
    assert failed.lake == 40000 and failed.status == "failed" and '"40000"' in failed.error
    good = result.draws[result.draws.status == "done"]["SV 1 in Compartment 5"].to_numpy()
    assert result.percentiles.set_index("percentile").loc[50.0, "SV 1 in Compartment 5"] == np.median(good)


def test_sensitivity_ranks_the_one_parameter_that_matters(sample_base, tmp_path):
    base = copy_model("river-network", tmp_path / "base")
    _template(base, "VolumeSrcSnks.csv", "5,1,1,-0.05", "5,1,1,@lake_decay@")
    # A load in a window after the end of the run changes nothing.
    loads = (base / "Loads.csv").read_text().rstrip().removesuffix("-999")
    (base / "Loads.csv.tpl").write_text("ptf @\n" + loads + "late\n1000,2000\nCompartment,SV,load\n"
                                        "5,1,@dummy@,-999\n-999\n-999\n")
    (base / "Loads.csv").unlink()
    parameters = pd.DataFrame({"name": ["dummy", "lake_decay"], "lower": [1.0, -0.2], "upper": [1000.0, -0.01],
                               "transform": ["log", "none"]})
    for method, options, runs in (("morris", {"trajectories": 4}, 12), ("src", {"n": 8}, 8)):
        result = ostra.sensitivity(base, parameters, tmp_path / method, method=method, client="serial", seed=1,
                                   executable=PROGRAM, progress=False, **options)
        assert 0 < result.runs <= runs and result.ranking.parameter.tolist() == ["lake_decay", "dummy"], method
        measure = "mu_star" if method == "morris" else "abs_src"
        lake5 = result.table[result.table.output == "SV 1 in Compartment 5"].set_index("parameter")[measure]
        # Elementary effects of a parameter that changes nothing are exactly 0; a
        # regression on 8 runs gives it only a chance correlation.
        assert lake5["lake_decay"] > 0 and (lake5["dummy"] == 0 if method == "morris" else lake5["dummy"] < 0.5)
    fig = ostra.plot.sensitivity(result)
    assert len(fig.axes) == 1 and len(fig.axes[0].patches) == 2


def test_bands_draw_the_percentiles_and_observations(sample_base, lake, tmp_path):
    _, observations = lake
    distributions = pd.DataFrame({"name": ["lake_decay", "lake_load"], "distribution": ["uniform", "uniform"],
                                  "lower": [-0.08, 3000], "upper": [-0.03, 7000]})
    result = ostra.sample(sample_base, distributions, 8, tmp_path / "out", client="serial", seed=2,
                          outputs="series:5", executable=PROGRAM, fixed={"lake": 5}, progress=False)
    assert set(result.percentiles.columns) >= {"percentile", "time", "SV 1 in Compartment 5"}
    fig = ostra.plot.bands(result, state_variable=1, compartments=[5], observations=observations)
    ax = fig.axes[0]
    assert len(ax.collections) == 2 and [len(line.get_xdata()) for line in ax.lines] == [240, 12]


def test_command_line_calibration(lake, tmp_path):
    base, observations = lake
    LAKE.to_csv(tmp_path / "parameters.csv", index=False)
    observations.to_csv(tmp_path / "observations.csv", index=False)
    proc = subprocess.run(
        [sys.executable, "-m", "ostra", "calibrate", str(base), str(tmp_path / "parameters.csv"),
         str(tmp_path / "observations.csv"), "--out", str(tmp_path / "out"), "--serial",
         "--executable", str(PROGRAM)],
        capture_output=True, text=True, env={"PYTHONPATH": str(REPO / "python"), "PATH": "/usr/bin:/bin"})
    assert proc.returncode == 0, proc.stderr
    table = pd.read_csv(tmp_path / "out" / "calibration-parameters.csv", float_precision="round_trip")
    assert abs(table.set_index("name").value["lake_load"] / 5000 - 1) < 1e-6
    assert "lake_decay" in proc.stdout and (tmp_path / "out" / "calibration-residuals.csv").is_file()


def test_a_failing_trial_point_is_stepped_back_from_and_named(lake, tmp_path):
    base, observations = lake
    plain = ostra.calibrate(base, LAKE, observations, tmp_path / "plain", client="serial", executable=PROGRAM)
    trials = plain.log[plain.log.purpose == "trial point"]
    second = trials.lake_decay.iloc[0]  # the first step's point (the initial one is logged apart)
    from ostra.numbers import field_text
    # A stand-in that refuses the run of exactly that point, as a data error would.
    program = tmp_path / "ostra-refusing"
    program.write_text("#!/bin/sh\n"
                       f'if grep -q "^5,1,1,{field_text(second)}" "$2/VolumeSrcSnks.csv"; then\n'
                       "  printf 'Error:  refused by the test\\r\\n' > \"$2/Error.dng\"; exit 1\nfi\n"
                       f'exec "{PROGRAM}" "$@"\n')
    program.chmod(0o755)
    fit = ostra.calibrate(base, LAKE, observations, tmp_path / "refusing", client="serial", executable=program)
    assert fit.success and abs(fit.values["lake_decay"] / TRUTH["lake_decay"] - 1) < 1e-6
    assert len(fit.failures) == 1
    failure = fit.failures.iloc[0]
    assert failure.lake_decay == second and failure.purpose == "trial point"
    assert failure.status == "failed" and failure.error == "refused by the test"
    assert fit.history.objective.is_monotonic_decreasing
