"""ostra.Model: read and write every example without changing its runs,
changes that run as they say, validation in the model's words, the
generated river against a hand calculation and its mass balance, the
exchange convention against ostra --check."""

from __future__ import annotations

import importlib.util
import os
import subprocess
import sys
import tempfile

import numpy as np
import pandas as pd
import pytest

import ostra
from conftest import EXAMPLE_NAMES, EXAMPLES, PROGRAM, REPO


def _example_script():
    """examples/river_with_sediment.py as a module (no bytecode left in examples/)."""
    spec = importlib.util.spec_from_file_location("river_with_sediment", EXAMPLES / "river_with_sediment.py")
    module = importlib.util.module_from_spec(spec)
    keep, sys.dont_write_bytecode = sys.dont_write_bytecode, True
    try:
        spec.loader.exec_module(module)
    finally:
        sys.dont_write_bytecode = keep
    return module


river_example = _example_script()


def _run(directory):
    return ostra.run(directory, executable=PROGRAM)


def _same_runs(first, second):
    """Both runs wrote the same files, byte for byte."""
    assert sorted(first.files) == sorted(second.files)
    for name in first.files:
        assert (first.model_dir / name).read_bytes() == (second.model_dir / name).read_bytes(), name


@pytest.mark.parametrize("name", EXAMPLE_NAMES)
def test_read_then_write_runs_byte_identical(runs, name, tmp_path):
    original = runs[name]
    assert isinstance(original, ostra.RunResult), original
    m = ostra.Model.read(original.model_dir)
    m.write(tmp_path / name)
    _same_runs(original, _run(tmp_path / name))


def test_generated_models_read_back_as_written(tmp_path):
    models = {"river with sediment": river_example.build(sediment=True),
              "grid": ostra.grid(4, 3, 10.0, 5.0, 2.0, flow=3.0, exchange_x=0.1, exchange_y=0.2,
                                 inflow={"sv1": 1.0})}
    for name, m in models.items():
        m.write(tmp_path / name / "a")
        again = ostra.Model.read(tmp_path / name / "a")
        assert again.state_variables == m.state_variables
        again.write(tmp_path / name / "b")
        for f in sorted((tmp_path / name / "a").iterdir()):
            assert f.read_bytes() == (tmp_path / name / "b" / f.name).read_bytes(), (name, f.name)


def _one_value_a_line(model):
    """Every table after its header one value per line (Loads.csv keeps its lines)."""
    for path in model.iterdir():
        if path.suffix.lower() == ".csv" and path.name not in ("Control.csv", "Loads.csv"):
            head, *rest = path.read_text().splitlines()
            values = [v for line in rest for v in line.split(",")]
            path.write_text("\n".join([head] + values) + "\n")


def _quoted_padded_crlf(model):
    """Values quoted and padded with blanks, CR LF line ends, a byte-order mark."""
    for path in model.iterdir():
        if path.suffix.lower() == ".csv" and path.name not in ("Control.csv", "Loads.csv"):
            head, *rest = path.read_text().splitlines()
            lines = [head] + [",".join(f' "{v}" ' for v in line.split(",")) for line in rest]
            path.write_bytes(b"\xef\xbb\xbf" + "\r\n".join(lines).encode() + b"\r\n")


def _exit_without_records(model):
    """The flow exit (compartment 7) with interface count -999: no record in
    the interface, flow and exchange tables."""
    for name, first in (("Compartments.csv", "7,1,3"), ("Interfaces.csv", "7,"), ("Flows.csv", None),
                        ("ECoefficients.csv", None)):
        lines = (model / name).read_text().splitlines()
        if name == "Compartments.csv":
            lines = [ln.replace("7,1,3", "7,-999,3") if ln.startswith("7,1,3") else ln for ln in lines]
        else:
            lines = [ln for ln in lines if not (ln.startswith(first) if first else ln.split(",")[1:2] == ["7"])]
        (model / name).write_text("\n".join(lines) + "\n")


@pytest.mark.parametrize("layout", [_one_value_a_line, _quoted_padded_crlf, _exit_without_records],
                         ids=["one value a line", "quoted, padded, CR LF", "a compartment without records"])
def test_other_layouts_of_the_same_model_read_and_run_the_same(layout, fresh_model, tmp_path):
    original = fresh_model("river-network-steady", "original")
    changed = fresh_model("river-network-steady", "changed")
    layout(changed)
    first, second = _run(original), _run(changed)
    _same_runs(first, second)
    ostra.Model.read(original).write(tmp_path / "a")
    ostra.Model.read(changed).write(tmp_path / "b")
    _same_runs(_run(tmp_path / "a"), _run(tmp_path / "b"))
    _same_runs(first, _run(tmp_path / "b"))


def test_an_unreadable_field_is_named_with_file_line_and_value(fresh_model):
    model = fresh_model("river-network-steady")
    path = model / "Interfaces.csv"
    path.write_text(path.read_text().replace("4,2,50,500,0,1", "4,2,50,5OO,0,1"))
    with pytest.raises(ostra.ModelFileError, match=r'file "Interfaces.csv", line 5 \(a value of an interface record\): '
                                                   r'expected a number, found "5OO"'):
        ostra.Model.read(model)


@pytest.mark.parametrize("change, edit", [
    (lambda m: m.compartments.__setitem__("volume", m.compartments["volume"].where(
        m.compartments.index != 5, m.compartments["volume"] * 2)),
     ("Compartments.csv", "5,3,0,3500,0,0,500000,", "5,3,0,3500,0,0,1000000,")),
    (lambda m: m.link(4, 5).exchange.__setitem__("sv2", 2500),
     ("ECoefficients.csv", "2,4,2,5000,3,0,5,5000\n2,5,4,5000", "2,4,2,5000,3,0,5,2500\n2,5,4,2500")),
    (lambda m: m.area_terms.__setitem__("rate", m.area_terms["rate"] * 2),
     ("AreaSrcSnks.csv", "1,5,8,-0.1", "1,5,8,-0.2")),
], ids=["lake volume doubled", "exchange of one link halved", "settling doubled"])
def test_a_changed_model_runs_as_the_change_says(change, edit, fresh_model, tmp_path):
    by_hand = fresh_model("river-network-steady")
    name, old, new = edit
    text = (by_hand / name).read_text()
    assert old in text
    (by_hand / name).write_text(text.replace(old, new))
    m = ostra.Model.read(fresh_model("river-network-steady", "original"))
    change(m)
    m.write(tmp_path / "changed")
    _same_runs(_run(by_hand), _run(tmp_path / "changed"))


def _small():
    """Inflow 1 -> 2 -> 3 -> exit 4, one state variable, steady."""
    m = ostra.Model(["tracer"])
    m.add_compartment("fixed", x=0)
    m.add_compartments(x=[10.0, 20.0], volume=100.0)
    m.add_compartment("exit", x=30)
    m.boundary.loc[1, "tracer"] = 1.0
    for a, b in ((1, 2), (2, 3), (3, 4)):
        m.connect(a, b, area=5.0, flow=2.0, exchange=0.5)
    m.add_decay("tracer", 0.01)
    m.options.steady = True
    return m


def test_a_links_flow_is_changed_on_both_sides(tmp_path):
    m = _small()
    for a, b in ((1, 2), (2, 3), (3, 4)):
        m.link(a, b).flow["tracer"] = 3.0
    m.write(tmp_path / "changed")
    built = _small()
    built.interfaces["flow:tracer"] *= 1.5
    built.write(tmp_path / "built")
    for name in ("Flows.csv", "Interfaces.csv", "ECoefficients.csv"):
        assert (tmp_path / "changed" / name).read_bytes() == (tmp_path / "built" / name).read_bytes()
    assert m.link(2, 3).flow["tracer"] == 3.0 and m.link(3, 2).flow["tracer"] == -3.0


def _dynamic(m):
    m.options.steady = False
    m.options.time_step, m.options.steps = 1.0, 10


def _maccormack_with_newton(m):
    """R(C) storage makes every step a Newton iteration."""
    _dynamic(m)
    m.options.scheme, m.options.linear = "maccormack", False
    m.options.nonlinear_storage = m.options.r_term = True
    m.guess = m.initial.copy()
    m.companions["Telm.exe"] = PROGRAM


def _product_unbalanced(m):
    m.add_state_variable("product")
    m.boundary.loc[1, "product"] = 0.0
    for a, b in ((1, 2), (2, 3), (3, 4)):
        m.link(a, b).flow["product"] = 1.5 if a == 2 else 2.0


def _equations(**arrays):
    def make(_):
        m = ostra.Model.from_equations(A=[[-1.0, 0.5], [0.5, -1.0]], B=[1.0, 0.0])
        for name, value in arrays.items():
            setattr(m.equations, name, np.asarray(value, dtype=np.float64))
        m.options.steady = True
        return m
    return make


def _too_many(m):
    m.add_compartments(volume=np.ones(32764))


# Faults of the model's objects: named all at once, before ostra is asked
# (an ostra program that does not exist is never looked for).
@pytest.mark.parametrize("break_it, expected", [
    (lambda m: m.interfaces.__setitem__("adjacent", m.interfaces["adjacent"].replace(4, 9)),
     "compartment 3 has an interface to compartment 9, which does not exist (the model has 4 compartments)"),
    (lambda m: m.interfaces.__setitem__("adjacent", m.interfaces["adjacent"].where(m.interfaces.index != 0, 1)),
     "compartment 1 has an interface to itself"),
    (lambda m: setattr(m.compartments, "index", pd.Index([1, 2, 3, 5], name="compartment")),
     "the compartments must be numbered 1, 2, ... in order"),
    (_too_many, "32768 compartments x 1 state variables = 32768 table rows, more than 32767"),
    (lambda m: setattr(m.options, "scheme", "runge-kutta"), "scheme 'runge-kutta' is none of explicit-euler,"),
    (lambda m: m.compartments.__setitem__("kind", m.compartments["kind"].replace("exit", "sea")),
     "compartment kind 'sea' names no kind"),
    (lambda m: m.volume_terms.__setitem__("driving", "dye"),
     "a term names the state variable 'dye', which the model does not have"),
    (lambda m: m.compartments.__setitem__("volume", m.compartments["volume"].where(m.compartments.index != 3)),
     "interior compartment 3 has no volume (NaN), which would be written as -999"),
    (lambda m: m.loads.add(0, 1, {(2, "tracer"): np.nan}), "load block 1 (0 to 1): the load of 'tracer' into "
     "compartment 2 is not given"),
    (lambda m: m.companions.__setitem__("varn.exe", "/nonexistent/varn"),
     'the companion program "varn.exe" is to be copied from /nonexistent/varn, which does not exist'),
    (_equations(A=np.ones((2, 3))), "A must be a square matrix, not (2, 3)"),
    (_equations(B=[1.0, np.nan]), "B is not given for equation 2"),
], ids=["missing compartment", "link to itself", "numbering", "16-bit counts", "scheme name", "kind name",
        "unknown state variable", "volume not given", "load not given", "companion's source", "A not square",
        "B not given"])
def test_validation_names_the_faults_of_the_models_objects(break_it, expected, tmp_path):
    m = _small()
    assert m.validate() == []
    made = break_it(m)
    m = made if isinstance(made, ostra.Model) else m
    with pytest.raises(ostra.ModelError) as info:
        m.write(tmp_path / "model", executable=tmp_path / "no-ostra")
    assert any(p.startswith(expected) for p in info.value.problems), info.value.problems
    assert not (tmp_path / "model").exists()


def test_validation_names_every_fault_of_the_objects_at_once():
    m = _small()
    m.options.output = "everything"
    m.add_area_term("tracer", 3, 2, -0.1)
    m.area_terms["state_variable"] = "dye"
    with pytest.raises(ostra.ModelError) as info:
        m.validate()
    assert [p.split(" ")[:2] for p in info.value.problems] == [["output", "'everything'"], ["a", "term"]]


# Faults ostra --check finds in the files: its message, the state variables
# it numbers named, neither the user's directory nor the scratch one left.
@pytest.mark.parametrize("break_it, expected", [
    (lambda m: m.presence.__setitem__("tracer", True),
     'Compartment(*,3) data error in Compartments.csv: compartment 1 has kind 2 (column 3 of its record, line 2), '
     'a boundary or dummy compartment, but "SVCompmap.csv" has a 1 for state variable 1 ("tracer") in it'),
    (_product_unbalanced,
     'Flow Balance error: compartment 2, state variable 2 ("product"): inflow 2, outflow 1.5 (25 % > '
     'FlowBalanceTol 1 %; file "Flows.csv", record on line 7 (state variable 2 ("product"), compartment 2)'),
    (lambda m: m.boundary.__setitem__("tracer", np.nan),
     'Boundary(JJ, NColBoundary) = -999 in Transport: file "BOUNDARY.csv", record on line 2 (state variable 1 '
     '("tracer"), compartment 1) gives no concentration, but compartment 1 is a fixed-concentration boundary'),
    (lambda m: m.compartments.__setitem__("x", [0.0, 10.0, 10.0, 30.0]), "MixLength = 0 in Transport: "),
    (lambda m: m.loads.add(0, 1, {(1, "tracer"): 5.0}),
     'file "Loads.csv", line 4: state variable 1 ("tracer") has no equation in compartment 1'),
    (_maccormack_with_newton, "MacCormack method inappropriate for nonlinear systems"),
    (lambda m: setattr(m.options, "time_variable", {"flows"}),
     'Companion program "Flows.exe" not found in the model\'s files (no file named "Flows.exe"'),
], ids=["boundary holds a state variable", "flow balance", "no boundary concentration", "no mixing length",
        "load where there is no equation", "scheme cannot run nonlinear", "companion program missing"])
def test_validation_raises_ostras_message_of_the_files(break_it, expected, tmp_path, monkeypatch):
    scratch = tmp_path / "scratch"
    scratch.mkdir()
    monkeypatch.setattr(tempfile, "tempdir", str(scratch))
    m = _small()
    break_it(m)
    with pytest.raises(ostra.ModelError) as info:
        m.write(tmp_path / "model", executable=PROGRAM)
    assert len(info.value.problems) == 1 and info.value.problems[0].startswith(expected), info.value.problems
    assert isinstance(info.value.__cause__, ostra.RunError)
    assert not (tmp_path / "model").exists() and list(scratch.iterdir()) == []


def test_validation_returns_its_warnings_and_ostras(tmp_path):
    m = _small()
    _dynamic(m)
    m.loads.add(20, 30, {(2, "tracer"): 5.0})
    m.options.linear, m.options.f_term = False, True  # varn.exe is not among the companions
    m.guess = m.initial.copy()
    expected = ["load block 1 (20 to 30) lies outside the run's time 0 to 10, so it never applies",
                'companion program "varn.exe" for the f(C) term is missing in the model directory: the run would '
                "stop at its first step"]
    assert m.write(tmp_path / "model", executable=PROGRAM) == expected
    assert list(m.check(tmp_path / "model", executable=PROGRAM).warnings) == expected


def test_check_returns_the_summary_or_raises_with_ostras_message(tmp_path):
    m = _small()
    report = m.check(tmp_path / "good", executable=PROGRAM)
    # (ostra wraps the summary's lines, and where depends on the directory's name.)
    summary = " ".join(report.summary.split())
    assert "no fault found" in summary and "Equations: 2" in summary and report.warnings == ()
    # check writes the files into the directory and lets ostra judge them there.
    m.boundary.loc[1, "tracer"] = np.nan
    with pytest.raises(ostra.RunError) as info:
        m.check(tmp_path / "bad", executable=PROGRAM)
    assert info.value.error.startswith("Boundary(JJ, NColBoundary) = -999 in Transport")
    assert (tmp_path / "bad" / "Error.dng").is_file()


def test_single_fields_are_read_as_the_decimal_text_rounds(fresh_model):
    # Just above halfway between the Singles 1 and 1 + 2^-23: the nearest
    # Double is the halfway point itself, which rounds to 1 as a Single.
    model = fresh_model("river-network-steady")
    path = model / "Compartments.csv"
    path.write_text(path.read_text().replace("2,2,0,1000,0,0,20000,20,1,0",
                                             "2,2,0,1000,0,0,20000,20,1.0000000596046447753906251,0"))
    m = ostra.Model.read(model)
    assert m.compartments.at[2, "water_content"] == 1 + 2.0 ** -23
    assert np.float32(float("1.0000000596046447753906251")) == 1.0  # what a reader through a Double gets


def _hand_calculation(t, k):
    """Steady concentrations of a chain of well-mixed reaches: each reach
    receives its upstream reaches' water and its outside inflow."""
    c = {}
    for r in ["R1", "R2", "R3", "T1", "T2", "T3", "R4", "R5", "Lake", "R6", "R7", "R8", "R9"]:
        up = t.index[t["downstream"] == r]
        inflow = t.at[r, "flow"] - t.loc[up, "flow"].sum()
        mass = sum(t.at[u, "flow"] * c[u] for u in up) + inflow * t.at[r, "inflow:parent"]
        volume = t.at[r, "length"] * t.at[r, "width"] * t.at[r, "depth"]
        c[r] = mass / (t.at[r, "flow"] + k * volume)
    return c


def test_the_generated_river_matches_the_hand_calculation(tmp_path):
    t = river_example.reaches()
    m = river_example.build(sediment=False)
    assert len(t) == 13 and m.compartments["layer"].eq("water").sum() == 13
    m.write(tmp_path / "river")
    profile = ostra.read_profile(_run(tmp_path / "river"))
    parent = profile[profile.state_variable == 1].set_index("compartment")["concentration"]
    expected = _hand_calculation(t, river_example.DECAY)
    reach = m.compartments["reach"]
    for k, value in parent.items():
        assert value == pytest.approx(expected[reach[k]], rel=1e-6), reach[k]


def test_the_sediment_version_closes_its_balance(tmp_path):
    # The layers' water contents differ from the water's: each side of a
    # water-sediment link gets its own E. With the values of the example,
    # ostra's Single sums of each equation's coefficients are exact, so what
    # is left of the balance error is the conservation across interfaces.
    m = river_example.build(sediment=True)
    m.write(tmp_path / "kept")
    balance = ostra.read_mass_balance(_run(tmp_path / "kept")).table.iloc[0]
    assert abs(balance.balance_error) <= 1e-9 * (balance.initial + balance["in"])

    # The same E on both sides, as the tables allow: mass is lost.
    same = m.copy()
    sediment = same.interfaces["compartment"].map(same.compartments["layer"]).str.startswith("sediment")
    above = same.interfaces["adjacent"].map(same.compartments["layer"]).eq("water")
    bulk = same.interfaces.loc[sediment & above, "exchange:parent"] * 0.5
    same.interfaces.loc[sediment & above, "exchange:parent"] = bulk
    same.write(tmp_path / "same")
    balance = ostra.read_mass_balance(_run(tmp_path / "same")).table.iloc[0]
    assert abs(balance.balance_error) > 1e-4 * (balance.initial + balance["in"])


def test_check_is_silent_on_the_builders_links_and_warns_of_a_water_content_mismatch(tmp_path):
    m = river_example.build(sediment=True)
    assert m.check(tmp_path / "built", executable=PROGRAM).warnings == ()
    # The water content of one top layer changed after its links were made.
    layer = m.compartments["layer"]
    top = int(layer.index[layer == "sediment 1"][0])
    sides = m.interfaces[m.interfaces["compartment"] == top]
    water = int(sides.loc[sides["adjacent"].map(layer) == "water", "adjacent"].iloc[0])
    below = int(sides.loc[sides["adjacent"].map(layer) == "sediment 2", "adjacent"].iloc[0])
    m.compartments.loc[top, "water_content"] = 0.4
    report = m.check(tmp_path / "changed", executable=PROGRAM)
    found = [w for w in report.warnings if "different dispersive conductances" in w]
    assert len(found) == 2 and all(f"compartments {water} and {top}" in w for w in found), report.warnings
    assert all(f"compartments {top} and {below}" in w for w in found)
    # Setting the links' exchange again derives both sides' E anew.
    for sv in m.state_variables:
        m.link(water, top).exchange[sv] = 0.0025
        m.link(top, below).exchange[sv] = 0.0005
    assert m.check(tmp_path / "reset", executable=PROGRAM).warnings == ()


def test_the_equation_solver_form_from_arrays(runs, tmp_path):
    original = ostra.Model.read(runs["equation-solver"].model_dir)
    e = original.equations
    m = ostra.Model.from_equations(e.A, e.B, RV=e.RV, initial=e.initial)
    m.options = original.options.copy()
    m.write(tmp_path / "eqns")
    _same_runs(runs["equation-solver"], _run(tmp_path / "eqns"))


def _copier(path, source, target: str):
    """A companion program that writes `target` as a copy of `source`."""
    path.write_text(f"#!/bin/sh\nexec cp '{source}' {target}\n")
    path.chmod(0o755)
    return path


def _same_files(first, second):
    names = sorted(p.name for p in first.iterdir())
    assert names == sorted(p.name for p in second.iterdir())
    for name in names:
        assert (first / name).read_bytes() == (second / name).read_bytes(), name


def test_a_table_its_program_writes_reads_back_and_runs_as_the_fixed_one(tmp_path):
    m = _small()
    _dynamic(m)
    m.write(tmp_path / "fixed")
    m.options.time_variable = {"flows"}
    m.companions["Flows.exe"] = _copier(tmp_path / "Flows.exe", tmp_path / "fixed" / "Flows.csv", "Flows.csv")
    m.interfaces["flow:tracer"] = np.nan  # the program gives them
    m.write(tmp_path / "a")  # validated: ostra --check starts the program where the files were written
    assert not (tmp_path / "a" / "Flows.csv").exists()
    back = ostra.Model.read(tmp_path / "a")
    assert back.options.time_variable == {"flows"} and back.interfaces["flow:tracer"].isna().all()
    back.write(tmp_path / "b")
    _same_files(tmp_path / "a", tmp_path / "b")
    fixed, varying = _run(tmp_path / "fixed"), _run(tmp_path / "b")
    assert varying.wrote("Flows.csv")
    for name in fixed.files:
        assert (tmp_path / "fixed" / name).read_bytes() == (tmp_path / "b" / name).read_bytes(), name


@pytest.mark.parametrize("form", ["steady", "dynamic", "time-variable B"])
def test_equation_solver_models_read_back_as_written(form, tmp_path):
    rng = np.random.default_rng(20)
    n = 5
    A = rng.uniform(0.0, 0.3, (n, n)) - np.diag(rng.uniform(1.0, 2.0, n))
    B, RV, initial = rng.uniform(0.0, 10.0, n), rng.uniform(0.5, 2.0, n), rng.uniform(0.0, 1.0, n)
    m = ostra.Model.from_equations(A, B, RV=RV, initial=initial)
    m.options.steady = form == "steady"
    m.options.time_step, m.options.steps = 0.1, 5
    if form == "time-variable B":
        m.write(tmp_path / "fixed")
        m.options.time_variable = {"B"}
        m.companions["BEqnSolver.exe"] = _copier(tmp_path / "BEqnSolver.exe", tmp_path / "fixed" / "BEqnSolver.csv",
                                                 "BEqnSolver.csv")
        m.equations.B = np.full(n, np.nan)
    m.write(tmp_path / "a")
    e = ostra.Model.read(tmp_path / "a").equations
    assert e.A.tobytes() == A.tobytes()  # Doubles as given, Singles as rounded
    assert e.B.tobytes() == (B.tobytes() if form != "time-variable B" else np.full(n, np.nan).tobytes())
    if form == "steady":
        assert e.RV is None and e.initial is None
    else:
        assert e.RV.tobytes() == RV.astype(np.float32).astype(np.float64).tobytes()
        assert e.initial.tobytes() == initial.astype(np.float32).astype(np.float64).tobytes()
    ostra.Model.read(tmp_path / "a").write(tmp_path / "b")
    _same_files(tmp_path / "a", tmp_path / "b")
    assert (tmp_path / "a" / "BEqnSolver.csv").exists() == (form != "time-variable B")
    first, second = _run(tmp_path / "a"), _run(tmp_path / "b")
    _same_runs(first, second)
    if form == "time-variable B":
        assert first.wrote("BEqnSolver.csv")
        fixed = _run(tmp_path / "fixed")
        for name in fixed.files:
            assert (tmp_path / "fixed" / name).read_bytes() == (tmp_path / "a" / name).read_bytes(), name


def test_the_example_script_builds_checks_runs_and_plots(tmp_path):
    env = dict(os.environ, OSTRA_EXE=str(PROGRAM), PYTHONDONTWRITEBYTECODE="1")
    proc = subprocess.run([sys.executable, str(EXAMPLES / "river_with_sediment.py"), str(tmp_path)],
                          capture_output=True, text=True, env=env, cwd=REPO, timeout=300)
    assert proc.returncode == 0, proc.stderr
    assert "no fault found" in proc.stdout and "Done!" in proc.stdout
    for picture in ("river-profile.png", "time-series.png", "mass-balance.png", "layers-profile.png"):
        assert (tmp_path / picture).stat().st_size > 2000


@pytest.mark.parametrize("pair, value, attribute, expected", [
    (9, "7", "scheme", 7),                     # a steady run ignores the scheme: kept as given
    (9, "4", "scheme", "crank-nicolson"),
    (13, "2", "output", "compartment"),
    (3, "y", "steady", True),                  # words are compared in upper case
    (20, "n", "non_negative", False),
    (20, "0", "non_negative", True),           # anything but N keeps it on
    (24, "Yes", "f_term", False),              # anything but Y leaves it off
    (37, "sparse-lu", "solver", "sparse-lu"),
    (37, "", "solver", "gauss-jordan"),
], ids=lambda v: repr(v))
def test_control_values_are_read_as_ostra_reads_them(pair, value, attribute, expected, fresh_model, tmp_path):
    model = fresh_model("river-network-steady")
    lines = (model / "Control.csv").read_text().splitlines()
    if pair == 37:
        lines += ["Linear solver", value]
    else:
        lines[2 * pair - 1] = value
    (model / "Control.csv").write_text("\n".join(lines) + "\n")
    m = ostra.Model.read(model)
    assert getattr(m.options, attribute) == expected
    m.write(tmp_path / "again")
    assert getattr(ostra.Model.read(tmp_path / "again").options, attribute) == expected


@pytest.mark.parametrize("change, message", [
    (lambda t: t.__setitem__("downstream", [None, None, "A"]), "one outlet reach"),
    (lambda t: t.__setitem__("downstream", [None, "C", "B"]), "flow in a circle"),
    (lambda t: t.loc.__setitem__(("A", "flow"), 5.0), "reach 'A' carries 5, less than the 30 that flows into it"),
    (lambda t: t.loc.__setitem__(("C", "downstream"), "X"), "reach 'C' flows into 'X', which is not in the table"),
], ids=["two outlets", "a circle", "water lost", "an unknown reach"])
def test_a_table_of_reaches_that_makes_no_river_is_refused(change, message):
    t = pd.DataFrame({"length": 100.0, "width": 10.0, "depth": 1.0, "flow": [30.0, 20.0, 10.0],
                      "downstream": [None, "A", "A"]}, index=pd.Index(["A", "B", "C"], name="reach"))
    assert ostra.river_network(t).size == 6  # three reaches, two inflows, one exit
    change(t)
    with pytest.raises(ValueError, match=message):
        ostra.river_network(t)


def test_record_tables_end_at_their_terminator_or_say_where_it_is_missing(fresh_model):
    model = fresh_model("river-network-steady")
    (model / "FlowandEMultipliers.csv").write_text("SV,Row,Column,I1,I2,EMult,QMult\n1,2,2,2,1,.5,1\n")
    assert ostra.Model.read(model).multipliers.to_dict("records") == [
        dict(state_variable="sv1", row=2, column=2, interface_a=2, interface_b=1, exchange_multiplier=0.5,
             flow_multiplier=1.0)]
    path = model / "VolumeSrcSnks.csv"
    path.write_text(path.read_text().replace("-999\n", ""))
    with pytest.raises(ostra.ModelFileError, match=r'VolumeSrcSnks.csv", line 13 .*or -999 ending the records\): '
                                                   "expected a number, found the end of the file"):
        ostra.Model.read(model)
