"""The readers on the real output of every example and of variants that write
exponent-form and negative numbers, the other layouts and early ends."""

from __future__ import annotations

import re

import numpy as np
import pandas as pd
import pytest

import ostra
from conftest import EXAMPLE_NAMES

CONCENTRATION_FILES = {
    "equation-solver": "AllTimeSeries.csv",
    "kinetics": "AllTimeSeries.csv",
    "nonlinear-sorption": "AllTimeSeries.csv",
    "quadratic-steady": "ProfileSnapshot.csv",
    "river-network": "AllTimeSeries.csv",
    "river-network-steady": "ProfileSnapshot.csv",
    "tiny-steps": "AllTimeSeries.csv",
    "negative-feed": "AllTimeSeries.csv",
    "one-compartment": "OneCompTimeSeries.csv",
    "snapshot": "ProfileSnapshot.csv",
}
READERS = {
    "AllTimeSeries.csv": ostra.read_time_series,
    "OneCompTimeSeries.csv": ostra.read_one_compartment,
    "ProfileSnapshot.csv": ostra.read_profile,
}


def plain_fields(path):
    """Every line of a result file split at commas and trimmed: the reading
    the format description gives, done without the package."""
    lines = path.read_bytes().decode("ascii").split("\r\n")
    assert lines[-1] == "", "every line ends with CR LF"
    return [[f.strip() for f in line.split(",")] for line in lines[:-1]]


def interior_equations(model):
    """(state variable, compartment) in equation order, from "SVCompmap.csv"."""
    rows = (model / "SVCompmap.csv").read_text().splitlines()[1:]
    pairs = []
    for row in rows:
        fields = [int(f) for f in row.split(",")]
        pairs += [(fields[0], c) for c, on in enumerate(fields[1:], start=1) if on]
    return pairs


def test_every_example_is_covered(runs):
    assert set(EXAMPLE_NAMES) <= set(CONCENTRATION_FILES)
    for name in EXAMPLE_NAMES:
        assert isinstance(runs[name], ostra.RunResult), runs[name]


@pytest.mark.parametrize("name", sorted(CONCENTRATION_FILES))
def test_values_read_back_exactly(runs, name):
    result = runs[name]
    file = CONCENTRATION_FILES[name]
    assert result.wrote(file)
    table = READERS[file](result)
    fields = plain_fields(result.model_dir / file)
    body = fields[1:]
    if file == "ProfileSnapshot.csv":
        values = np.array([[float(f) for f in row] for row in body])
        assert len(table) == len(body)
        value_column = "value" if table.attrs["mode"] == "EQNS" else "concentration"
        assert (table[value_column].to_numpy() == values[:, -1]).all()
        assert (table["time"].to_numpy() == values[:, 0]).all()
    else:
        assert all(row[-1] == "" for row in fields), "time-series lines end with a comma"
        values = np.array([[float(f) for f in row[1:-1]] for row in body])
        times = np.array([float(row[0]) for row in body])
        width = len(fields[0]) - 2
        assert len(table) == len(body) * width
        assert (table.iloc[:, -1].to_numpy() == values.reshape(-1)).all()
        assert (table["time"].to_numpy() == np.repeat(times, width)).all()
    for column in ("state_variable", "compartment", "equation"):
        if column in table:
            assert table[column].dtype == np.int64
    assert table.iloc[:, -1].dtype == np.float64


@pytest.mark.parametrize("name", ["river-network", "nonlinear-sorption", "kinetics"])
def test_header_names_the_equations_in_order(runs, name):
    result = runs[name]
    wide = ostra.read_time_series(result, wide=True)
    expected = interior_equations(result.model_dir)
    assert list(wide.columns) == [f"SV {sv} in Compartment {c}" for sv, c in expected]
    long = ostra.read_time_series(result)
    first = long[long.time == long.time.iloc[0]]
    assert list(zip(first.state_variable, first.compartment)) == expected


def test_exponent_form_values(runs):
    result = runs["tiny-steps"]
    raw = (result.model_dir / "AllTimeSeries.csv").read_text()
    assert re.search(r" \d(\.\d+)?E-\d+ ,", raw), "the file has values in exponent form"
    table = ostra.read_time_series(result)
    small = table[table.concentration < 1e-4]
    assert len(small) > 10
    assert small.concentration.min() > 0
    assert table.time.iloc[0] == pytest.approx(1e-4, rel=1e-6)


def test_negative_values_mirror_the_positive_run(runs):
    positive = ostra.read_time_series(runs["equation-solver"], wide=True)
    negative = ostra.read_time_series(runs["negative-feed"], wide=True)
    assert len(negative) == 5 and (negative.to_numpy() < 0).all()
    # The system is linear and its feed is negated: every value changes sign, exactly.
    assert (negative.to_numpy() == -positive.iloc[:5].to_numpy()).all()


def test_documented_results(runs):
    tanks = ostra.read_time_series(runs["equation-solver"], wide=True)
    assert tanks.index[-1] == 240 and len(tanks) == 120
    assert tanks.iloc[-1].to_numpy() == pytest.approx([12.22, 11.34, 10.54], abs=0.01)
    kinetics = ostra.read_time_series(runs["kinetics"], wide=True)
    assert kinetics["SV 1 in Compartment 1"].iloc[-1] == pytest.approx(16.19, abs=0.05)
    roots = ostra.read_profile(runs["quadratic-steady"])
    assert roots.attrs == {**roots.attrs, "mode": "EQNS", "steady_state": True}
    assert roots.value.to_numpy() == pytest.approx([0.6180340, 0.3595220], abs=1e-6)


def test_one_compartment_matches_the_full_series(runs):
    one = ostra.read_one_compartment(runs["one-compartment"])
    full = ostra.read_time_series(runs["river-network"])
    assert list(one.columns) == ["time", "state_variable", "concentration"]
    times = sorted(one.time.unique())
    assert len(times) == 24  # steps 1, 11, ..., 231 of 240
    merged = one.merge(full[full.compartment == 5], on=["time", "state_variable"], suffixes=("", "_all"))
    assert len(merged) == len(one)
    assert (merged.concentration == merged.concentration_all).all()


def test_dynamic_snapshot_matches_the_series_and_coordinates(runs):
    snap = ostra.read_profile(runs["snapshot"])
    assert snap.attrs["steady_state"] is False and (snap.time == 25).all()
    full = ostra.read_time_series(runs["river-network"])
    at25 = full[np.isclose(full.time, 25)].reset_index(drop=True)
    assert (snap.concentration.to_numpy() == at25.concentration.to_numpy()).all()
    xs = dict(zip(snap.compartment, snap.x))
    assert xs == {2: 1000, 4: 2000, 5: 3500, 6: 5000}


def test_mass_balance_columns_close_the_balance(runs):
    for name in ("river-network", "nonlinear-sorption", "tiny-steps"):
        table, percent = ostra.read_mass_balance(runs[name])
        t = table
        closing = t.initial + t["in"] - t.transport_out - t.volume_sinks_out - t.area_sinks_out - t.residual
        assert np.allclose(closing, t.balance_error, rtol=0, atol=1e-8 * (t.initial + t["in"]).max())
        assert percent == pytest.approx(100 * t.balance_error.sum() / (t["in"].sum() + t.initial.sum()), rel=1e-9)
        assert t.state_variable.tolist() == list(range(1, len(t) + 1))
    table, percent = ostra.read_mass_balance(runs["river-network"])
    assert percent < 0 and table.balance_error.iloc[1] < 0  # the daughter product's formed mass


def test_early_end_is_refused_naming_error_dng(runs):
    error = runs["unstable"]
    assert isinstance(error, ostra.RunError) and error.status == 1
    assert error.result.wrote("AllTimeSeries.csv")
    first = (error.result.model_dir / "Error.dng").read_text().splitlines()[0].strip()
    for source in (error.result.model_dir, error.result, error.result.model_dir / "AllTimeSeries.csv"):
        with pytest.raises(ostra.IncompleteResultError, match="ended early") as info:
            ostra.read_time_series(source)
        assert first in str(info.value)


def test_partial_results_of_a_run_that_ended_early(tmp_path):
    _write(tmp_path, "AllTimeSeries.csv", SERIES + " 1.5 , .5")  # cut off in the middle of its last line
    (tmp_path / "Error.dng").write_bytes(b"Error:  a data error\r\n")
    with pytest.raises(ostra.IncompleteResultError, match='"Error:  a data error" in "Error.dng"'):
        ostra.read_time_series(tmp_path)
    table = ostra.read_time_series(tmp_path, partial=True, wide=True)
    assert table.index.tolist() == [0.5, 1.0] and table.attrs["cut_off"]
    header = "State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,Area-Based Sinks Out,Residual,Balance Error\n"
    _write(tmp_path, "MassBalance.csv", header + " 1 , 0 , 0 , 0 , 0 , 0 , 0 , 0 \n")
    balance = ostra.read_mass_balance(tmp_path, partial=True)
    assert np.isnan(balance.error_percent) and balance.table.initial.tolist() == [0.0]


def test_file_left_by_an_earlier_run_is_refused(runs):
    stopped = runs["wiggle"]
    assert isinstance(stopped, ostra.RunError) and stopped.status == 4
    assert len(ostra.read_profile(stopped.model_dir)) == 1  # the earlier run's file, still readable as such
    assert not stopped.result.wrote("ProfileSnapshot.csv")
    with pytest.raises(ostra.StaleResultError, match="not written by this run"):
        ostra.read_profile(stopped.result)
    with pytest.raises(FileNotFoundError, match="wrote no"):
        ostra.read_mass_balance(runs["river-network-steady"])


def _write(tmp_path, name, text):
    (tmp_path / name).write_bytes(text.replace("\n", "\r\n").encode())
    return tmp_path


SERIES = "Time,SV 1 in Compartment 2 ,SV 2 in Compartment 2 ,\n .5 , .25 , 1E-05 ,\n 1 , .375 ,-2.5 ,\n"


@pytest.mark.parametrize(
    "name, text, message",
    [
        ("AllTimeSeries.csv", SERIES.replace("-2.5", "1;5"),
         r'line 3, field 3 \(SV 2 in Compartment 2\): expected a number, found "1;5"'),
        ("AllTimeSeries.csv", SERIES.replace(" 1 , .375 ,-2.5 ,", " 1 , .375 ,"), r"line 3: 3 fields .* ends early"),
        ("AllTimeSeries.csv", SERIES.replace("-2.5 ,", "-2.5 , 7 ,"), r"line 3: 5 fields .* a value too many"),
        ("AllTimeSeries.csv", SERIES.replace("-2.5 ,", "-2.5"), r"line 3: 3 fields"),
        ("AllTimeSeries.csv", SERIES.replace(" 1E-05", " nan"), r'line 2, field 3 .*found "nan"'),
        ("AllTimeSeries.csv", SERIES[:-5], r"line 3: the file ends in the middle of a line"),
        ("AllTimeSeries.csv", SERIES.replace("SV 2 in", "SV 2 at"), r'line 1, field 3: .*found "SV 2 at Compartment 2"'),
        ("AllTimeSeries.csv", SERIES.replace("SV 2 in Compartment 2", "SV 1 in Compartment 2"), r"second time"),
        ("AllTimeSeries.csv", SERIES + "\n", r"line 4: empty line"),
        ("AllTimeSeries.csv", "", r"the file is empty"),
        ("OneCompTimeSeries.csv", "Time,SV  1 ,SV  2 ,\n .5 , x , 1 ,\n", r'line 2, field 2 \(SV 1\).*found "x"'),
        ("ProfileSnapshot.csv", "TIME,VARIABLE,Compartment,X,Y,Z,CONC\n-999 , 1 , 2.5 , 0 , 0 , 0 , 1 \n",
         r"line 2, field 3 \(Compartment\): expected a whole number"),
        ("ProfileSnapshot.csv", "TIME,VARIABLE,CONC\n-999 , 1 , 1 \n", r"line 1: expected the header"),
        ("MassBalance.csv",
         "State Variable,Initial,In,Transport Out,Volume-Based Sinks Out,Area-Based Sinks Out,Residual,Balance Error\n"
         " 1 , 1 , 2 , 1 , 0 , 0 , 2 , 0 \n", r"line 2: the last line is not the balance error percentage line"),
    ],
)
def test_malformed_files_name_the_line_and_field(tmp_path, name, text, message):
    reader = {"AllTimeSeries.csv": ostra.read_time_series, "OneCompTimeSeries.csv": ostra.read_one_compartment,
              "ProfileSnapshot.csv": ostra.read_profile, "MassBalance.csv": ostra.read_mass_balance}[name]
    _write(tmp_path, name, text)
    with pytest.raises(ostra.ResultFileError, match=message) as info:
        reader(tmp_path)
    assert name in str(info.value)


def test_small_file_in_any_letter_case(tmp_path):
    _write(tmp_path, "alltimeseries.csv", SERIES)
    wide = ostra.read_time_series(tmp_path, wide=True)
    assert wide.to_dict("list") == {"SV 1 in Compartment 2": [0.25, 0.375], "SV 2 in Compartment 2": [1e-05, -2.5]}
    assert wide.index.tolist() == [0.5, 1.0]
    assert isinstance(ostra.read_time_series(tmp_path / "alltimeseries.csv"), pd.DataFrame)


@pytest.mark.parametrize("name, file", [("river-network", "AllTimeSeries.csv"), ("equation-solver", "AllTimeSeries.csv"),
                                        ("one-compartment", "OneCompTimeSeries.csv")])
def test_last_row_is_the_last_row_of_the_full_reading(runs, name, file):
    reader = ostra.read_time_series if file == "AllTimeSeries.csv" else ostra.read_one_compartment
    wide = reader(runs[name], wide=True)
    time, values = ostra.read_last_row(runs[name], file)
    assert time == wide.index[-1] and values == wide.iloc[-1].to_dict()


def test_last_row_checks_the_last_line(tmp_path):
    _write(tmp_path, "AllTimeSeries.csv", SERIES.replace("-2.5", "1;5"))
    with pytest.raises(ostra.ResultFileError, match=r"last line, field 3 .*found \"1;5\""):
        ostra.read_last_row(tmp_path)
    _write(tmp_path, "AllTimeSeries.csv", SERIES[:-3])
    with pytest.raises(ostra.ResultFileError, match="ends in the middle of a line"):
        ostra.read_last_row(tmp_path)
    assert ostra.read_last_row(tmp_path, partial=True)[0] == 0.5
    _write(tmp_path, "AllTimeSeries.csv", SERIES + "Incomplete: the run ended early, see Error.dng\n")
    with pytest.raises(ostra.ResultFileError, match="last line: 2 fields"):
        ostra.read_last_row(tmp_path)
    _write(tmp_path, "AllTimeSeries.csv", SERIES.splitlines()[0] + "\n")
    assert ostra.read_last_row(tmp_path) is None


def test_last_row_names_the_columns_of_each_header_read(tmp_path):
    # The names of a header are kept for the next file with the same header
    # only: another header, or a faulty one, is read anew.
    for k, header in enumerate(["SV 1 in Compartment 2 ,SV 2 in Compartment 2 ,",
                                "SV 1 in Compartment 3 ,SV 2 in Compartment 3 ,",
                                "SV 1 in Compartment 2 ,SV 2 in Compartment 2 ,"]):
        _write(tmp_path, "AllTimeSeries.csv", SERIES.replace(SERIES.split(",", 1)[1].split("\n")[0], header))
        assert list(ostra.read_last_row(tmp_path)[1]) == [c.strip() for c in header.split(",")[:2]], k
    _write(tmp_path, "AllTimeSeries.csv", SERIES.replace("SV 2 in Compartment 2", "SV 1 in Compartment 2"))
    with pytest.raises(ostra.ResultFileError, match="names a column a second time"):
        ostra.read_last_row(tmp_path)


def _general(v: float) -> str:
    """A Double as ostra writes it: up to 15 significant digits, no zero
    before the point, exponent form outside 1E-5 .. 1E15, blanks around."""
    text = f"{v:.15G}"
    if "E" not in text and "." in text:
        text = text.rstrip("0").rstrip(".")
    text = text.replace("0.", ".", 1) if text.startswith(("0.", "-0.")) else text
    if "E" in text:
        mantissa, exponent = text.split("E")
        if "." in mantissa:
            mantissa = mantissa.rstrip("0").rstrip(".")
        text = f"{mantissa}E{exponent[0]}{exponent[1:].zfill(2)}"
    return ("" if text.startswith("-") else " ") + text + " "


@pytest.fixture
def generated(tmp_path):
    """A wide series of random values over 300 orders of magnitude, both
    signs, in every notation, 15 digits where the format writes them."""
    rng = np.random.default_rng(21)
    n_rows, keys = 40, [(sv, c) for sv in (1, 2) for c in range(1, 60)]
    values = rng.choice([-1, 1], (n_rows, len(keys))) * 10.0 ** rng.uniform(-300, 300, (n_rows, len(keys)))
    values[::7, ::5] = rng.uniform(-1, 1, values[::7, ::5].shape).round(rng.integers(0, 15))
    values[3, :5] = [0.0, -1.23456789012345e-300, 1.79769313486231e308, -9.99999999999999e-100, 1e15]
    lines = ["Time," + "".join(f"SV {sv} in Compartment {c} ," for sv, c in keys)]
    for i, row in enumerate(values):
        lines.append(_general(0.25 * (i + 1)) + "," + "".join(_general(v) + "," for v in row))
    text = "\r\n".join(lines) + "\r\n"
    (tmp_path / "AllTimeSeries.csv").write_bytes(text.encode("ascii"))
    return tmp_path, keys, text


def _literal(text):
    """Every field read with `float`: the reading of the format itself."""
    rows = [line.split(",")[:-1] for line in text.split("\r\n")[1:-1]]
    return np.array([[float(f) for f in row] for row in rows])


def _bits(a):
    return np.ascontiguousarray(a, dtype=np.float64).view(np.int64)


@pytest.mark.parametrize("chunk", [None, 1000])  # one chunk, or many whose edges fall anywhere
def test_generated_values_read_back_bit_for_bit(generated, monkeypatch, chunk):
    import ostra.results.body as body
    if chunk:
        monkeypatch.setattr(body, "_CHUNK", chunk)
    directory, keys, text = generated
    literal = _literal(text)
    wide = ostra.read_time_series(directory, wide=True)
    assert (_bits(wide.to_numpy()) == _bits(literal[:, 1:])).all()
    assert (_bits(wide.index.to_numpy()) == _bits(literal[:, 0])).all()
    tidy = ostra.read_time_series(directory)
    assert (_bits(tidy.concentration.to_numpy()) == _bits(literal[:, 1:].reshape(-1))).all()
    assert tidy.state_variable.dtype == np.int64 and tidy.compartment.dtype == np.int64
    last = ostra.read_last_row(directory)
    assert _bits(np.array(list(last[1].values()))).tolist() == _bits(literal[-1, 1:]).tolist()


def test_column_choice_reads_only_those_columns(generated):
    directory, keys, text = generated
    literal = _literal(text)
    chosen = ostra.read_time_series(directory, wide=True, compartments=[3, 40], state_variables=[2])
    assert list(chosen.columns) == ["SV 2 in Compartment 3", "SV 2 in Compartment 40"]
    columns = [1 + keys.index((2, 3)), 1 + keys.index((2, 40))]
    assert (_bits(chosen.to_numpy()) == _bits(literal[:, columns])).all()
    tidy = ostra.read_time_series(directory, compartments=[5])
    assert tidy.groupby("state_variable").size().to_dict() == {1: 40, 2: 40}
    # A field of another column is not even parsed.
    (directory / "AllTimeSeries.csv").write_bytes(text.replace(_general(literal[5, 1]), " x ", 1).encode())
    assert len(ostra.read_time_series(directory, compartments=[3])) == 80
    with pytest.raises(ostra.ResultFileError, match=r'line 7, field 2 \(SV 1 in Compartment 1\).*"x"'):
        ostra.read_time_series(directory)
    for choice, message in [({"compartments": [99]}, "has no column of compartment 99"),
                            ({"equations": [1]}, "has no equations")]:
        with pytest.raises(ValueError, match=message):
            ostra.read_time_series(directory, **choice)


def test_error_in_a_later_chunk_names_its_line(generated, monkeypatch):
    import ostra.results.body as body
    monkeypatch.setattr(body, "_CHUNK", 1000)
    directory, _, text = generated
    lines = text.split("\r\n")
    lines[30] = lines[30].rsplit(",", 2)[0] + ","  # one field short
    (directory / "AllTimeSeries.csv").write_bytes("\r\n".join(lines).encode())
    with pytest.raises(ostra.ResultFileError, match=r"line 31: 119 fields where the header has 120; the line ends early"):
        ostra.read_time_series(directory)
