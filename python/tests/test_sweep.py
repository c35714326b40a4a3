"""Scenario sweeps of the river network: on a local cluster, through a real
scheduler and workers, with a failing scenario, restarted, and refused
before anything runs when templates and table do not match."""

from __future__ import annotations

import json
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import ostra
from conftest import PROGRAM, REPO, copy_model
from ostra.studies.worker import MARKER

SCENARIOS = pd.DataFrame(
    {
        "scenario": ["base", "more-discharge", "less-discharge", "fast-decay", "no-spill", "bad-compartment"],
        "spill": [2000, 2000, 2000, 2000, 0, 2000],
        "discharge": [5000.0, 10000.0, 2500.0, 5000.0, 5000.0, 5000.0],
        "decay": [-0.05, -0.05, -0.05, -0.1, -0.05, -0.05],
        "lake": [5, 5, 5, 5, 5, 40000],  # 40000 is no whole number ostra takes
    }
)


def make_base(root):
    """The river network with its loads and decay rate as template markers."""
    base = copy_model("river-network", root / "base")
    loads = (base / "Loads.csv").read_text()
    loads = loads.replace("2,1,2000,-999", "2,1,@spill @,-999").replace("5,1,5000,-999", "@lake@,1,@discharge@,-999")
    (base / "Loads.csv.tpl").write_text("ptf @\n" + loads)
    (base / "Loads.csv").unlink()
    decay = (base / "VolumeSrcSnks.csv").read_text()
    decay = "\n".join(line.replace(",1,1,-0.05", ",1,1,~ decay ~") for line in decay.splitlines())
    (base / "VolumeSrcSnks.csv.tpl").write_text("ptf ~\n" + decay + "\n")
    return base


@pytest.fixture(scope="module")
def base(tmp_path_factory):
    return make_base(tmp_path_factory.mktemp("sweep"))


@pytest.fixture(scope="module")
def local_sweep(base, tmp_path_factory):
    out = tmp_path_factory.mktemp("local") / "out"
    reports = []
    table = ostra.sweep(base, SCENARIOS, out, executable=PROGRAM,
                        progress=lambda *report: reports.append(report))
    return table, out, reports


def test_local_sweep_runs_every_scenario(local_sweep, runs):
    table, out, reports = local_sweep
    assert list(table.scenario) == list(SCENARIOS.scenario)
    assert list(table.columns[:5]) == list(SCENARIOS.columns)
    assert (table.spill.dtype, table.discharge.dtype) == (np.int64, np.float64)
    done = table.set_index("scenario")
    assert list(done.status) == ["done"] * 5 + ["failed"]
    # The base scenario is the example itself: the same numbers as a direct run.
    direct = ostra.read_time_series(runs["river-network"], wide=True).iloc[-1]
    for column, value in direct.items():
        assert done.loc["base", column] == value
    assert done.loc["base", "result_time"] == 60
    lake = done["SV 1 in Compartment 5"]
    assert lake["less-discharge"] < lake["base"] < lake["more-discharge"]
    assert lake["fast-decay"] < lake["base"]
    assert done.loc["no-spill", "SV 1 in Compartment 2"] < done.loc["base", "SV 1 in Compartment 2"]
    assert reports[-1][:3] == (6, 6, 1)


def test_failed_scenario_keeps_its_row_and_message(local_sweep):
    table, out, _ = local_sweep
    bad = table.set_index("scenario").loc["bad-compartment"]
    assert bad.exit_status == 1
    error_dng = (out / "bad-compartment" / "Error.dng").read_text().splitlines()[0]
    assert error_dng == "Error:  " + bad.error
    assert '"40000"' in bad.error and 'file "Loads.csv"' in bad.error
    assert np.isnan(bad["SV 1 in Compartment 5"])
    marker = json.loads((out / "bad-compartment" / MARKER).read_text())
    assert marker["status"] == "failed" and marker["parameters"]["lake"] == 40000


def test_scenario_directories_hold_the_filled_model(local_sweep, base):
    _, out, _ = local_sweep
    for name in SCENARIOS.scenario:
        directory = out / name
        assert not list(directory.glob("*.tpl"))
        assert {p.name for p in base.iterdir() if not p.name.endswith(".tpl")} <= {p.name for p in directory.iterdir()}
    loads = [[f.strip() for f in line.split(",")] for line in (out / "more-discharge" / "Loads.csv").read_text().splitlines()]
    assert ["2", "1", "2000", "-999"] in loads and ["5", "1", "10000", "-999"] in loads
    rates = [[f.strip() for f in line.split(",")] for line in (out / "fast-decay" / "VolumeSrcSnks.csv").read_text().splitlines()]
    assert [r[3] for r in rates if r[1:3] == ["1", "1"]] == ["-.1"] * 4


def test_same_sweep_on_a_scheduler_and_two_workers(local_sweep, base, dask_cluster, tmp_path):
    local, _, _ = local_sweep
    # In batches of four: the failing scenario shares its task with good ones.
    remote = ostra.sweep(base, SCENARIOS, tmp_path / "out", client=dask_cluster["address"], executable=PROGRAM,
                         progress=False, batch_size=4)
    columns = [c for c in local.columns if c != "wall_time"]
    pd.testing.assert_frame_equal(remote[columns], local[columns])
    # Both workers ran scenarios (two tasks), each in its own temporary directory.
    used = [d for d in (dask_cluster["root"] / "worker1", dask_cluster["root"] / "worker2")
            if list(d.glob("ostra-program-*"))]
    assert len(used) == 2


def test_restart_runs_only_what_is_missing(base, dask_cluster, tmp_path):
    out = tmp_path / "out"
    first = ostra.sweep(base, SCENARIOS, out, client=dask_cluster["address"], executable=PROGRAM, progress=False)
    markers = {name: (out / name / MARKER).stat().st_mtime_ns for name in SCENARIOS.scenario}
    (out / "fast-decay" / MARKER).unlink()  # as if the sweep had stopped before it
    (out / "no-spill" / "AllTimeSeries.csv").unlink()
    (out / "no-spill" / MARKER).unlink()
    reports = []
    again = ostra.sweep(base, SCENARIOS, out, client=dask_cluster["address"], executable=PROGRAM,
                        progress=lambda *r: reports.append(r))
    assert [r[0] for r in reports] == [5, 6] or [r[0] for r in reports] == [6]
    for name, before in markers.items():
        after = (out / name / MARKER).stat().st_mtime_ns
        assert (after != before) == (name in ("fast-decay", "no-spill")), name
    columns = [c for c in first.columns if c != "wall_time"]
    pd.testing.assert_frame_equal(again[columns], first[columns])
    # Nothing left to run: no cluster is even asked for.
    third = ostra.sweep(base, SCENARIOS, out, client="tcp://127.0.0.1:9", executable=PROGRAM, progress=False)
    pd.testing.assert_frame_equal(third[columns], first[columns])
    # Changed parameters are not mistaken for the results on disk.
    changed = SCENARIOS.assign(decay=[-0.05, -0.05, -0.05, -0.2, -0.05, -0.05])
    with pytest.raises(ostra.SweepError, match="fast-decay holds the results of other inputs"):
        ostra.sweep(base, changed, out, client="tcp://127.0.0.1:9", executable=PROGRAM, progress=False)


def test_other_outputs(base, dask_cluster, tmp_path):
    good = SCENARIOS.iloc[:2]
    balance = ostra.sweep(base, good, tmp_path / "out", client=dask_cluster["address"], executable=PROGRAM,
                          outputs="mass-balance", progress=False)
    direct = ostra.read_mass_balance(tmp_path / "out" / "base")
    row = balance.iloc[0]
    assert row["SV 1 In"] == direct.table["in"][0] and row["Balance Error %"] == direct.error_percent
    assert "SV 1 in Compartment 5" not in balance
    series = ostra.sweep(base, good, tmp_path / "out", client="tcp://127.0.0.1:9", executable=PROGRAM,
                         outputs="series:5", progress=False)
    assert list(series.columns[-3:]) == ["time", "SV 1 in Compartment 5", "SV 2 in Compartment 5"]
    assert len(series) == 2 * 240 and series.groupby("scenario").time.max().tolist() == [60, 60]
    last = series[series.scenario == "base"].iloc[-1]
    full = ostra.read_time_series(tmp_path / "out" / "base", wide=True)
    assert last["SV 1 in Compartment 5"] == full["SV 1 in Compartment 5"].iloc[-1]
    steady = ostra.sweep(base, good, tmp_path / "out", client="tcp://127.0.0.1:9", executable=PROGRAM,
                         outputs="series:3", progress=False)
    assert set(steady.status) == {"output-error"} and "compartment 3" in steady.error.iloc[0]


def test_command_line_sweep(base, dask_cluster, tmp_path):
    csv = tmp_path / "scenarios.csv"
    SCENARIOS.iloc[:3].drop(columns="scenario").to_csv(csv, index=False)
    proc = subprocess.run(
        [sys.executable, "-m", "ostra", "sweep", str(base), str(csv), "--out", str(tmp_path / "out"),
         "--scheduler", dask_cluster["address"], "--executable", str(PROGRAM)],
        capture_output=True, text=True, env={"PYTHONPATH": str(REPO / "python"), "PATH": "/usr/bin:/bin"})
    assert proc.returncode == 0, proc.stderr
    assert "3/3 scenarios finished" in proc.stderr
    table = pd.read_csv(tmp_path / "out" / "sweep-results.csv")
    assert table.scenario.tolist() == [1, 2, 3] and set(table.status) == {"done"}
    assert sorted(p.name for p in (tmp_path / "out").iterdir() if p.is_dir()) == [
        "scenario-0001", "scenario-0002", "scenario-0003"]


@pytest.mark.parametrize(
    "change, message",
    [
        (lambda t: t.drop(columns="decay"), r'VolumeSrcSnks.csv.tpl, line \d+ names the parameter "decay", which'),
        (lambda t: t.assign(depth=1.0), r'table names the parameter "depth", which no template uses'),
        (lambda t: t.assign(discharge=np.inf),
         r"scenario base: .*Loads.csv.tpl, line 10, parameter \"discharge\": inf is not a finite number"),
        (lambda t: t.assign(scenario=["a"] * 6), r'rows 1 and 2 are both named "a"'),
        (lambda t: t.assign(spill=[1.0, np.nan, 1, 1, 1, 1]), r'row 2, column "spill": no value'),
    ],
)
def test_mismatch_is_an_error_before_anything_runs(base, tmp_path, change, message):
    out = tmp_path / "out"
    with pytest.raises(ostra.SweepError, match=message):
        ostra.sweep(base, change(SCENARIOS.copy()), out, client="tcp://127.0.0.1:9", executable=PROGRAM)
    assert not out.exists()


def test_scenario_csv_is_checked(tmp_path):
    path = tmp_path / "s.csv"
    path.write_text("a,b\n1,2\n3\n")
    with pytest.raises(ostra.SweepError, match=r"s.csv, line 3: 1 fields where the header has 2"):
        ostra.read_scenarios(path)
    path.write_text("a,a\n1,2\n")
    with pytest.raises(ostra.SweepError, match='the column "a" appears twice'):
        ostra.read_scenarios(path)
    path.write_text("scenario, k ,mode\nx, .5 ,Y\ny,1e-3,N\n")
    table = ostra.read_scenarios(path)
    assert table.to_dict("list") == {"scenario": ["x", "y"], "k": [0.5, 0.001], "mode": ["Y", "N"]}


def test_outputs_missing_from_a_run_can_be_asked_for_differently_later(base, dask_cluster, tmp_path):
    good = SCENARIOS.iloc[:1]
    out = tmp_path / "out"
    missing = ostra.sweep(base, good, out, client=dask_cluster["address"], executable=PROGRAM,
                          outputs="series:3", progress=False)
    assert missing.status.tolist() == ["output-error"]
    assert "compartment 3" in missing.error.iloc[0] and str(out) not in missing.error.iloc[0]
    # The run itself finished: a restart that asks for other outputs reads them from its files.
    final = ostra.sweep(base, good, out, client="tcp://127.0.0.1:9", executable=PROGRAM, progress=False)
    assert final.status.tolist() == ["done"] and final["SV 1 in Compartment 5"].iloc[0] > 0


def test_scenario_files_written_by_the_workers_or_not_kept(local_sweep, base, dask_cluster, tmp_path):
    local, _, _ = local_sweep
    columns = [c for c in local.columns if c != "wall_time"]
    for files in ("shared", "none"):
        out = tmp_path / files
        table = ostra.sweep(base, SCENARIOS, out, client=dask_cluster["address"], executable=PROGRAM,
                            progress=False, files=files)
        pd.testing.assert_frame_equal(table[columns], local[columns])
        kept = sorted(p.name for p in (out / "base").iterdir())
        if files == "shared":  # the workers ran in the scenario's own directory
            assert "AllTimeSeries.csv" in kept and "Loads.csv" in kept
        else:
            assert [k for k in kept if not k.startswith("ostra-")] == []
        # Resumed from the markers and kept outputs alone: no cluster is asked for.
        again = ostra.sweep(base, SCENARIOS, out, client="tcp://127.0.0.1:9", executable=PROGRAM,
                            progress=False, files=files)
        pd.testing.assert_frame_equal(again[columns], local[columns])
    # Other outputs than those kept, without the files: the scenarios run again.
    balance = ostra.sweep(base, SCENARIOS.iloc[:2], tmp_path / "none", client=dask_cluster["address"],
                          executable=PROGRAM, progress=False, files="none", outputs="mass-balance")
    assert set(balance.status) == {"done"} and "SV 1 In" in balance


def test_final_values_travel_packed_with_their_bits_and_order():
    import pickle
    import struct

    from ostra.studies.worker import PackedValues, unpack_outputs

    values = {f"SV 1 in Compartment {k}": v for k, v in
              enumerate([-0.0, 5e-324, 1.7976931348623157e308, float("inf"), 0.1 + 0.2, -2.5e-17] * 300)}
    values["result_time"] = 10.0
    back = unpack_outputs(pickle.loads(pickle.dumps(PackedValues(values))))
    assert list(back) == list(values)
    assert all(type(v) is float and struct.pack("<d", v) == struct.pack("<d", values[k]) for k, v in back.items())
    assert unpack_outputs(values) is values
