"""Readers of ostra's result files, returning tidy pandas DataFrames.

Every reader takes a model directory (the file is found in any letter case),
the path of the file itself, or the `RunResult` of a run; given a run, it
refuses a file that run did not write. A file whose last line starts with
"Incomplete:" (a run that ended early) is refused with `IncompleteResultError`,
and any line that is not as ostra writes it with `ResultFileError`, naming
the file, line, field and value.
"""

from __future__ import annotations

import io
import re
from pathlib import Path
from typing import NamedTuple

import numpy as np
import pandas as pd

from .files import MASS_BALANCE, ONE_COMPARTMENT, PROFILE, TIME_SERIES, find_file
from .runner import RunResult

# A number as ostra writes it, once the blanks around it are trimmed.
_NUMBER = re.compile(r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?")
_SV_IN_COMPARTMENT = re.compile(r"SV\s*(\d+)\s+in\s+Compartment\s*(\d+)")
_EQUATION = re.compile(r"Equation\s*(\d+)")
_SV = re.compile(r"SV\s*(\d+)")
_PERCENT = re.compile(
    r"Mass balance error across state variables as a percentage of initial and total input mass"
    r"\s*=\s*(\S+)\s*%"
)

MASS_BALANCE_COLUMNS = {
    "State Variable": "state_variable",
    "Initial": "initial",
    "In": "in",
    "Transport Out": "transport_out",
    "Volume-Based Sinks Out": "volume_sinks_out",
    "Area-Based Sinks Out": "area_sinks_out",
    "Residual": "residual",
    "Balance Error": "balance_error",
}


class ResultFileError(ValueError):
    """A result file that cannot be read as ostra writes it."""

    def __init__(self, path: Path, message: str, line: int | None = None, field: str | None = None):
        self.path = Path(path)
        self.line = line
        self.field = field
        where = f'"{self.path}"' + (f", line {line}" if line is not None else "")
        where += f", field {field}" if field is not None else ""
        super().__init__(f"{where}: {message}")


class IncompleteResultError(ResultFileError):
    """A result file of a run that ended early."""


class StaleResultError(ResultFileError):
    """A result file that the given run did not write."""


class MassBalance(NamedTuple):
    """"MassBalance.csv": one row per state variable, and the overall error."""

    table: pd.DataFrame
    error_percent: float


def _resolve(source, name: str) -> Path:
    if isinstance(source, RunResult):
        if not source.wrote(name):
            found = find_file(source.model_dir, name)
            if found is None:
                raise FileNotFoundError(f'the run in {source.model_dir} wrote no "{name}"')
            raise StaleResultError(found, "was not written by this run; it is left from an earlier one")
        source = source.model_dir
    path = Path(source)
    if path.is_dir():
        found = find_file(path, name)
        if found is None:
            raise FileNotFoundError(f'{path} holds no "{name}"')
        return found
    if not path.is_file():
        raise FileNotFoundError(f"{path} does not exist")
    return path


class _Text:
    """The lines of a result file, checked for completeness."""

    def __init__(self, path: Path):
        self.path = path
        self.data = path.read_bytes()
        if not self.data:
            raise ResultFileError(path, "the file is empty; a result file starts with its header line")
        if not self.data.endswith(b"\n"):
            count = self.data.count(b"\n") + 1
            raise ResultFileError(path, "the file ends in the middle of a line (it was cut off)", count)
        text = self.data.decode("latin-1")
        self.lines = [ln[:-1] if ln.endswith("\r") else ln for ln in text.split("\n")[:-1]]
        for number, line in enumerate(self.lines, start=1):
            if line.startswith("Incomplete:"):
                raise IncompleteResultError(
                    path, f'the run that wrote it ended early ("{line.strip()}"); its results are not complete', number
                )
        for number, line in enumerate(self.lines, start=1):
            if not line.strip():
                raise ResultFileError(path, "empty line; ostra writes none", number)

    def fail(self, line: int, message: str, field: str | None = None):
        raise ResultFileError(self.path, message, line, field)


def _header_cells(text: _Text, first: str, trailing_comma: bool) -> list[str]:
    cells = [c.strip() for c in text.lines[0].split(",")]
    if trailing_comma:
        if len(cells) < 2 or cells[-1] != "":
            text.fail(1, "the header does not end with a comma")
        cells = cells[:-1]
    if cells[0].lower() != first.lower():
        text.fail(1, f'expected "{first}", found "{cells[0]}"', field="1")
    return cells


def _parse_columns(text: _Text, cells: list[str], pattern: re.Pattern, what: str) -> list[tuple[int, ...]]:
    keys = []
    for k, cell in enumerate(cells, start=1):
        m = pattern.fullmatch(cell)
        if not m:
            text.fail(1, f'expected {what}, found "{cell}"', field=str(k + 1))
        key = tuple(int(g) for g in m.groups())
        if key in keys:
            text.fail(1, f'"{cell}" names a column a second time', field=str(k + 1))
        keys.append(key)
    return keys


def _numbers(text: _Text, names: list[str], trailing_comma: bool) -> np.ndarray:
    """The numeric body of a file (every line after the header) as a 2-D array."""
    width = len(names) + (1 if trailing_comma else 0)
    rows = len(text.lines) - 1
    if rows == 0:
        return np.empty((0, len(names)))
    try:
        frame = pd.read_csv(
            io.BytesIO(text.data),
            header=None,
            skiprows=1,
            names=list(range(width)),
            dtype=np.float64,
            float_precision="round_trip",
            skip_blank_lines=False,
            engine="c",
            index_col=False,
        )
        values = frame.to_numpy()
        # Every line holds exactly the header's commas; a short line would
        # otherwise be filled up with missing values.
        good = (
            text.data.count(b",") == (rows + 1) * (width - 1)
            and frame.shape == (rows, width)
            and bool(np.isfinite(values[:, : len(names)]).all())
        )
        if trailing_comma:
            good = good and bool(np.isnan(values[:, -1]).all())
        if good:
            return values[:, : len(names)]
    except (ValueError, pd.errors.ParserError):
        pass
    return _numbers_strictly(text, names, trailing_comma)


def _numbers_strictly(text: _Text, names: list[str], trailing_comma: bool, first_line: int = 2) -> np.ndarray:
    """Line by line, to say where the body goes wrong. `first_line` is the
    number in the file of the line after the header."""
    out = np.empty((len(text.lines) - 1, len(names)))
    width = len(names) + (1 if trailing_comma else 0)
    for i, line in enumerate(text.lines[1:]):
        number = i + first_line
        fields = line.split(",")
        if len(fields) < width:
            text.fail(number, f"{len(fields)} fields where the header has {width}; the line ends early")
        if len(fields) > width:
            text.fail(number, f"{len(fields)} fields where the header has {width}; the line holds a value too many")
        if trailing_comma and fields[-1].strip():
            text.fail(number, f'expected the line to end with a comma, found "{fields[-1].strip()}"', field=str(width))
        for k, (raw, name) in enumerate(zip(fields, names), start=1):
            value = raw.strip()
            if not _NUMBER.fullmatch(value):
                text.fail(number, f'expected a number, found "{value}"', field=f"{k} ({name})")
            out[i, k - 1] = float(value)
            if not np.isfinite(out[i, k - 1]):
                text.fail(number, f'"{value}" is not a finite number', field=f"{k} ({name})")
    return out


def _whole(text: _Text, values: np.ndarray, column: int, name: str) -> np.ndarray:
    col = values[:, column]
    bad = np.nonzero(col != np.round(col))[0]
    if bad.size:
        text.fail(int(bad[0]) + 2, f"expected a whole number, found {col[bad[0]]!r}", field=f"{column + 1} ({name})")
    return col.astype(np.int64)


def _long(times: np.ndarray, body: np.ndarray, keys: dict[str, list[int]], value: str) -> pd.DataFrame:
    rows, cols = body.shape
    data = {"time": np.repeat(times, cols)}
    for name, numbers in keys.items():
        data[name] = np.tile(np.asarray(numbers, dtype=np.int64), rows)
    data[value] = body.reshape(-1)
    return pd.DataFrame(data)


def equation_name(state_variable: int | None = None, compartment: int | None = None, equation: int | None = None) -> str:
    """The name a result file gives a column: "SV 1 in Compartment 2", "Equation 3" or "SV 1"."""
    if equation is not None:
        return f"Equation {equation}"
    if compartment is None:
        return f"SV {state_variable}"
    return f"SV {state_variable} in Compartment {compartment}"


def read_time_series(source, wide: bool = False) -> pd.DataFrame:
    """ "AllTimeSeries.csv" as a tidy table.

    Compartment mode: columns time, state_variable, compartment,
    concentration; equation-solver mode: time, equation, value. One row per
    time and equation, in the order of the file. With `wide`, one row per
    time instead, indexed by time, one column per equation named as the
    file names it ("SV 1 in Compartment 2", "Equation 3").
    The table's `attrs` hold "mode" ("ENVS" or "EQNS") and "path".
    """
    path = _resolve(source, TIME_SERIES)
    text = _Text(path)
    cells = _header_cells(text, "Time", trailing_comma=True)
    if len(cells) < 2:
        text.fail(1, "the header names no equation")
    if _EQUATION.fullmatch(cells[1]):
        keys = _parse_columns(text, cells[1:], _EQUATION, '"Equation <n>"')
        names = [equation_name(equation=e) for (e,) in keys]
        mode = "EQNS"
    else:
        keys = _parse_columns(text, cells[1:], _SV_IN_COMPARTMENT, '"SV <n> in Compartment <n>"')
        names = [equation_name(sv, c) for sv, c in keys]
        mode = "ENVS"
    values = _numbers(text, ["Time"] + names, trailing_comma=True)
    times, body = values[:, 0], values[:, 1:]
    if wide:
        frame = pd.DataFrame(body, columns=names, index=pd.Index(times, name="time"))
    elif mode == "EQNS":
        frame = _long(times, body, {"equation": [k[0] for k in keys]}, "value")
    else:
        frame = _long(
            times, body, {"state_variable": [k[0] for k in keys], "compartment": [k[1] for k in keys]}, "concentration"
        )
    frame.attrs.update(mode=mode, path=str(path))
    return frame


def read_last_row(source, name: str = TIME_SERIES) -> tuple[float, dict[str, float]] | None:
    """The last row of "AllTimeSeries.csv" or "OneCompTimeSeries.csv" (`name`):
    its time and the value of each column, named as in `read_time_series`
    with `wide`; None when the file holds no time step.

    Every line is checked as by the other readers (an early end, a cut-off
    or empty line is refused); only the header and the last line are parsed
    into numbers, which keeps it fast on long series.
    """
    if name.lower() not in (TIME_SERIES.lower(), ONE_COMPARTMENT.lower()):
        raise ValueError(f'read_last_row reads "{TIME_SERIES}" or "{ONE_COMPARTMENT}", not "{name}"')
    path = _resolve(source, name)
    text = _Text(path)
    cells = _header_cells(text, "Time", trailing_comma=True)
    if len(cells) < 2:
        text.fail(1, "the header names no column")
    if name.lower() == ONE_COMPARTMENT.lower():
        names = [equation_name(sv) for (sv,) in _parse_columns(text, cells[1:], _SV, '"SV <n>"')]
    elif _EQUATION.fullmatch(cells[1]):
        names = [equation_name(equation=e) for (e,) in _parse_columns(text, cells[1:], _EQUATION, '"Equation <n>"')]
    else:
        keys = _parse_columns(text, cells[1:], _SV_IN_COMPARTMENT, '"SV <n> in Compartment <n>"')
        names = [equation_name(sv, c) for sv, c in keys]
    if len(text.lines) == 1:
        return None
    last = _Text.__new__(_Text)
    last.path = path
    last.lines = [text.lines[0], text.lines[-1]]
    values = _numbers_strictly(last, ["Time"] + names, trailing_comma=True, first_line=len(text.lines))[0]
    return float(values[0]), dict(zip(names, map(float, values[1:])))


def read_one_compartment(source, wide: bool = False) -> pd.DataFrame:
    """ "OneCompTimeSeries.csv": columns time, state_variable, concentration.

    The file does not say which compartment it follows ("Control.csv" pair
    15 chose it). With `wide`, one row per time, columns "SV 1", "SV 2", ...
    """
    path = _resolve(source, ONE_COMPARTMENT)
    text = _Text(path)
    cells = _header_cells(text, "Time", trailing_comma=True)
    if len(cells) < 2:
        text.fail(1, "the header names no state variable")
    keys = _parse_columns(text, cells[1:], _SV, '"SV <n>"')
    names = [equation_name(sv) for (sv,) in keys]
    values = _numbers(text, ["Time"] + names, trailing_comma=True)
    times, body = values[:, 0], values[:, 1:]
    if wide:
        frame = pd.DataFrame(body, columns=names, index=pd.Index(times, name="time"))
    else:
        frame = _long(times, body, {"state_variable": [k[0] for k in keys]}, "concentration")
    frame.attrs.update(mode="ENVS", path=str(path))
    return frame


_PROFILE_ENVS = ["TIME", "VARIABLE", "Compartment", "X", "Y", "Z", "CONC"]
_PROFILE_EQNS = ["TIME", "VARIABLE", "VALUE"]


def read_profile(source) -> pd.DataFrame:
    """ "ProfileSnapshot.csv": every equation at one moment.

    Compartment mode: columns time, state_variable, compartment, x, y, z,
    concentration; equation-solver mode: time, equation, value. A steady
    state carries the time -999, as in the file; `attrs["steady_state"]`
    says whether it is one.
    """
    path = _resolve(source, PROFILE)
    text = _Text(path)
    cells = [c.strip() for c in text.lines[0].split(",")]
    upper = [c.upper() for c in cells]
    if upper == [c.upper() for c in _PROFILE_ENVS]:
        mode, names = "ENVS", _PROFILE_ENVS
    elif upper == [c.upper() for c in _PROFILE_EQNS]:
        mode, names = "EQNS", _PROFILE_EQNS
    else:
        text.fail(1, f'expected the header "{",".join(_PROFILE_ENVS)}" or "{",".join(_PROFILE_EQNS)}", '
                     f'found "{text.lines[0].strip()}"')
    values = _numbers(text, names, trailing_comma=False)
    if mode == "ENVS":
        frame = pd.DataFrame(
            {
                "time": values[:, 0],
                "state_variable": _whole(text, values, 1, "VARIABLE"),
                "compartment": _whole(text, values, 2, "Compartment"),
                "x": values[:, 3],
                "y": values[:, 4],
                "z": values[:, 5],
                "concentration": values[:, 6],
            }
        )
    else:
        frame = pd.DataFrame(
            {"time": values[:, 0], "equation": _whole(text, values, 1, "VARIABLE"), "value": values[:, 2]}
        )
    frame.attrs.update(mode=mode, path=str(path), steady_state=bool(len(frame)) and bool((frame.time == -999).all()))
    return frame


def read_mass_balance(source) -> MassBalance:
    """ "MassBalance.csv": the table (one row per state variable, columns
    state_variable, initial, in, transport_out, volume_sinks_out,
    area_sinks_out, residual, balance_error) and the overall balance error
    in percent."""
    path = _resolve(source, MASS_BALANCE)
    text = _Text(path)
    cells = [c.strip() for c in text.lines[0].split(",")]
    expected = list(MASS_BALANCE_COLUMNS)
    if cells != expected:
        text.fail(1, f'expected the header "{",".join(expected)}", found "{text.lines[0].strip()}"')
    last = text.lines[-1]
    m = _PERCENT.fullmatch(last.strip())
    if len(text.lines) < 2 or not m:
        text.fail(len(text.lines), "the last line is not the balance error percentage line")
    if not _NUMBER.fullmatch(m.group(1)):
        text.fail(len(text.lines), f'the balance error percentage is not a number: "{m.group(1)}"')
    body = _Text.__new__(_Text)
    body.path, body.lines = path, text.lines[:-1]
    values = _numbers_strictly(body, expected, trailing_comma=False)
    table = pd.DataFrame(values, columns=list(MASS_BALANCE_COLUMNS.values()))
    table["state_variable"] = _whole(body, values, 0, "State Variable")
    table.attrs["path"] = str(path)
    return MassBalance(table, float(m.group(1)))
