"""Readers of ostra's result files, returning tidy pandas DataFrames.

Every reader takes a model directory (the file is found in any letter case),
the path of the file itself, or the `RunResult` of a run (see
`source.resolve`: a file that run did not write, or that changed since, is
refused; so are the results of a run that ended early, unless `partial`).
A line that is not as ostra writes it is refused with `ResultFileError`,
naming the file, line, field and value. Bodies are parsed by numpy's C
reader (`body`), with exactly the values of reading each field with `float`.

Exports: MassBalance, read_time_series, read_last_row, read_one_compartment,
read_profile, read_mass_balance, equation_name, MASS_BALANCE_COLUMNS.
"""

from __future__ import annotations

import re
from pathlib import Path
from typing import Iterable, NamedTuple

import numpy as np
import pandas as pd

from ..files import MASS_BALANCE, ONE_COMPARTMENT, PROFILE, TIME_SERIES
from .body import NUMBER, Header, parse_lines, read_body, read_header
from .source import ResultFileError, resolve

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


class MassBalance(NamedTuple):
    """"MassBalance.csv": one row per state variable, and the overall error
    (NaN in a partial reading of a file without its percentage line)."""

    table: pd.DataFrame
    error_percent: float


def _fail(header: Header, line: int, message: str, field: str | None = None):
    raise ResultFileError(header.path, message, line, field)


def _header_cells(header: Header, first: str, trailing_comma: bool) -> list[str]:
    cells = [c.strip() for c in header.text.split(",")]
    if trailing_comma:
        if len(cells) < 2 or cells[-1] != "":
            _fail(header, 1, "the header does not end with a comma")
        cells = cells[:-1]
    if cells[0].lower() != first.lower():
        _fail(header, 1, f'expected "{first}", found "{cells[0]}"', field="1")
    return cells


def _parse_columns(header: Header, cells: list[str], pattern: re.Pattern, what: str) -> list[tuple[int, ...]]:
    # Every cell at once (the regular expression's C loop); cell by cell
    # only to name a fault.
    whole = re.compile(f"^(?:{pattern.pattern})$", re.M)
    found = whole.findall("\n".join(cells))
    if len(found) == len(cells):
        keys = [tuple(map(int, f)) if isinstance(f, tuple) else (int(f),) for f in found]
        if len(set(keys)) == len(keys):
            return keys
    keys = []
    seen = set()
    for k, cell in enumerate(cells, start=1):
        m = pattern.fullmatch(cell)
        if not m:
            _fail(header, 1, f'expected {what}, found "{cell}"', field=str(k + 1))
        key = tuple(int(g) for g in m.groups())
        if key in seen:
            _fail(header, 1, f'"{cell}" names a column a second time', field=str(k + 1))
        seen.add(key)
        keys.append(key)
    return keys


def _whole(header: Header, values: np.ndarray, column: int, name: str) -> np.ndarray:
    col = values[:, column]
    bad = np.nonzero(col != np.round(col))[0]
    if bad.size:
        _fail(header, int(bad[0]) + 2, f"expected a whole number, found {col[bad[0]]!r}", f"{column + 1} ({name})")
    return col.astype(np.int64)


def _long(times: np.ndarray, body: np.ndarray, keys: dict[str, np.ndarray], value: str) -> pd.DataFrame:
    rows, cols = body.shape
    data = {"time": np.repeat(times, cols)}
    for name, numbers in keys.items():
        data[name] = np.tile(numbers, rows)
    data[value] = body.reshape(-1)
    return pd.DataFrame(data, copy=False)


def equation_name(state_variable: int | None = None, compartment: int | None = None, equation: int | None = None) -> str:
    """The name a result file gives a column: "SV 1 in Compartment 2", "Equation 3" or "SV 1"."""
    if equation is not None:
        return f"Equation {equation}"
    if compartment is None:
        return f"SV {state_variable}"
    return f"SV {state_variable} in Compartment {compartment}"


def _wanted(values: Iterable[int] | None, what: str) -> set[int] | None:
    if values is None:
        return None
    if isinstance(values, (int, np.integer)):
        values = [values]
    try:
        return {int(v) for v in values}
    except (TypeError, ValueError):
        raise ValueError(f"{what}: expected whole numbers, found {values!r}") from None


def _choose(header: Header, keys: list[tuple[int, ...]], names: tuple[str, ...],
            choices: dict[str, Iterable[int] | None]) -> list[int]:
    """The positions of the columns whose key parts match every choice given."""
    chosen = list(range(len(keys)))
    for part, (name, wanted) in enumerate(zip(names, (choices.get(n) for n in names))):
        wanted = _wanted(wanted, name)
        if wanted is None:
            continue
        present = {k[part] for k in keys}
        missing = sorted(wanted - present)
        if missing:
            listed = ", ".join(map(str, missing))
            raise ValueError(f'"{header.path}" has no column of {name.replace("_", " ")} {listed}')
        chosen = [i for i in chosen if keys[i][part] in wanted]
    if not chosen:
        asked = ", ".join(f"{n.replace('_', ' ')} {sorted(_wanted(v, n))}" for n, v in choices.items() if v is not None)
        raise ValueError(f'"{header.path}" has no column of {asked} together')
    for name, wanted in choices.items():
        if wanted is not None and name not in names:
            raise ValueError(f'"{header.path}" has no {name.replace("_", " ")}s; its columns are of '
                             + " and ".join(n.replace("_", " ") + "s" for n in names))
    return chosen


def _series_columns(header: Header) -> tuple[str, list[tuple[int, ...]], tuple[str, ...]]:
    cells = _header_cells(header, "Time", trailing_comma=True)
    if len(cells) < 2:
        _fail(header, 1, "the header names no equation")
    if _EQUATION.fullmatch(cells[1]):
        return "EQNS", _parse_columns(header, cells[1:], _EQUATION, '"Equation <n>"'), ("equation",)
    keys = _parse_columns(header, cells[1:], _SV_IN_COMPARTMENT, '"SV <n> in Compartment <n>"')
    return "ENVS", keys, ("state_variable", "compartment")


def _name(keys: tuple[int, ...], parts: tuple[str, ...]) -> str:
    if parts == ("equation",):
        return equation_name(equation=keys[0])
    if parts == ("state_variable",):
        return equation_name(keys[0])
    return equation_name(*keys)


def _read_series(path: Path, header: Header, mode: str, keys, parts, value: str, wide: bool, choices: dict,
                 partial: bool) -> pd.DataFrame:
    chosen = _choose(header, keys, parts, choices)
    names = ["Time"] + [_name(k, parts) for k in keys]
    (times, values), cut_off = read_body(header, names, trailing_comma=True,
                                         columns=[0] + [i + 1 for i in chosen], partial=partial, first_apart=True)
    if wide:
        frame = pd.DataFrame(values, columns=[names[i + 1] for i in chosen], index=pd.Index(times, name="time"),
                             copy=False)
    else:
        columns = {p: np.array([keys[i][n] for i in chosen], dtype=np.int64) for n, p in enumerate(parts)}
        frame = _long(times, values, columns, value)
    frame.attrs.update(mode=mode, path=str(path))
    if cut_off:
        frame.attrs["cut_off"] = True
    return frame


def read_time_series(source, wide: bool = False, compartments=None, state_variables=None, equations=None,
                     partial: bool = False) -> pd.DataFrame:
    """ "AllTimeSeries.csv" as a tidy table.

    Compartment mode: columns time, state_variable, compartment,
    concentration; equation-solver mode: time, equation, value. One row per
    time and equation, in the order of the file. With `wide`, one row per
    time instead, indexed by time, one column per equation named as the
    file names it ("SV 1 in Compartment 2", "Equation 3").
    `compartments`, `state_variables` (compartment mode) and `equations`
    (equation-solver mode) choose columns; only those are parsed.
    `partial`: read the results of a run that ended early (a line it cut off
    is left out; `attrs["cut_off"]` says so).
    The table's `attrs` hold "mode" ("ENVS" or "EQNS") and "path".
    """
    path = resolve(source, TIME_SERIES, partial)
    header = read_header(path)
    mode, keys, parts = _series_columns(header)
    value = "value" if mode == "EQNS" else "concentration"
    choices = {"compartment": compartments, "state_variable": state_variables, "equation": equations}
    return _read_series(path, header, mode, keys, parts, value, wide,
                        {k: v for k, v in choices.items() if v is not None}, partial)


def read_one_compartment(source, wide: bool = False, state_variables=None, partial: bool = False) -> pd.DataFrame:
    """ "OneCompTimeSeries.csv": columns time, state_variable, concentration.

    The file does not say which compartment it follows ("Control.csv" pair
    15 chose it). With `wide`, one row per time, columns "SV 1", "SV 2", ...
    `state_variables` chooses columns; `partial` as in `read_time_series`.
    """
    path = resolve(source, ONE_COMPARTMENT, partial)
    header = read_header(path)
    cells = _header_cells(header, "Time", trailing_comma=True)
    if len(cells) < 2:
        _fail(header, 1, "the header names no state variable")
    keys = _parse_columns(header, cells[1:], _SV, '"SV <n>"')
    choices = {"state_variable": state_variables} if state_variables is not None else {}
    frame = _read_series(path, header, "ENVS", keys, ("state_variable",), "concentration", wide, choices, partial)
    return frame


def read_last_row(source, name: str = TIME_SERIES, partial: bool = False) -> tuple[float, dict[str, float]] | None:
    """The last row of "AllTimeSeries.csv" or "OneCompTimeSeries.csv" (`name`):
    its time and the value of each column, named as in `read_time_series`
    with `wide`; None when the file holds no time step.

    Only the header and the last line are read and checked (the file must
    end with a line end, unless `partial`: then the last whole line counts),
    so that its cost does not grow with the length of the series.
    """
    if name.lower() not in (TIME_SERIES.lower(), ONE_COMPARTMENT.lower()):
        raise ValueError(f'read_last_row reads "{TIME_SERIES}" or "{ONE_COMPARTMENT}", not "{name}"')
    path = resolve(source, name, partial)
    header = read_header(path)
    names = _last_row_names(header, name.lower() == ONE_COMPARTMENT.lower())
    if header.size == header.end:
        return None
    size = header.size
    with open(path, "rb") as f:
        f.seek(size - 1)
        if f.read(1) != b"\n":
            if not partial:
                _fail(header, None, "the file ends in the middle of a line (it was cut off)")
            size = _last_line_end(f, header.end, size)
            if size == header.end:
                return None
    line = _last_line(path, size, header.end)
    values = None
    if line.count(",") == len(names) and not line[line.rfind(",") + 1:].strip():
        try:
            values = np.loadtxt([line], delimiter=",", usecols=range(len(names)), dtype=np.float64, ndmin=2,
                                comments=None)[0]
        except ValueError:
            values = None
        if values is not None and not np.isfinite(values).all():
            values = None
    if values is None:
        values = parse_lines(path, [line], names, trailing_comma=True, first_line=None)[0]
    return float(values[0]), dict(zip(names[1:], map(float, values[1:])))


# The column names of the headers read last: a study reads the last row of
# one model's results once per scenario, and with tens of thousands of
# columns naming them costs more than reading the row.
_NAMES_SEEN: dict[tuple[bool, str], list[str]] = {}
_NAMES_KEPT = 4


def _last_row_names(header: Header, one_compartment: bool) -> list[str]:
    key = (one_compartment, header.text)
    names = _NAMES_SEEN.get(key)
    if names is not None:
        return names
    if one_compartment:
        cells = _header_cells(header, "Time", trailing_comma=True)
        if len(cells) < 2:
            _fail(header, 1, "the header names no column")
        keys, parts = _parse_columns(header, cells[1:], _SV, '"SV <n>"'), ("state_variable",)
    else:
        _, keys, parts = _series_columns(header)
    names = ["Time"] + [_name(k, parts) for k in keys]
    if len(_NAMES_SEEN) >= _NAMES_KEPT:
        del _NAMES_SEEN[next(iter(_NAMES_SEEN))]
    _NAMES_SEEN[key] = names
    return names


def _last_line_end(f, start: int, size: int) -> int:
    """The offset after the last line end of the open file `f` (at least `start`)."""
    step = 1 << 16
    end = size
    while end > start:
        begin = max(start, end - step)
        f.seek(begin)
        block = f.read(end - begin)
        cut = block.rfind(b"\n")
        if cut >= 0:
            return begin + cut + 1
        end = begin
    return start


def _last_line(path: Path, size: int, start: int) -> str:
    """The last line of the part of a file before `size`, which ends with a
    line end, from offset `start` on."""
    with open(path, "rb") as f:
        step = 1 << 16
        while True:
            begin = max(start, size - step)
            f.seek(begin)
            tail = f.read(size - begin)
            cut = tail.rfind(b"\n", 0, len(tail) - 1)
            if cut >= 0 or begin == start:
                return tail[cut + 1:].decode("latin-1").rstrip("\r\n")
            step *= 4


_PROFILE_ENVS = ["TIME", "VARIABLE", "Compartment", "X", "Y", "Z", "CONC"]
_PROFILE_EQNS = ["TIME", "VARIABLE", "VALUE"]


def _filter(frame: pd.DataFrame, header: Header, column: str, wanted) -> pd.DataFrame:
    wanted = _wanted(wanted, column)
    if wanted is None:
        return frame
    missing = sorted(wanted - set(frame[column].unique()))
    if missing:
        raise ValueError(f'"{header.path}" has no row of {column.replace("_", " ")} {", ".join(map(str, missing))}')
    return frame[frame[column].isin(wanted)].reset_index(drop=True)


def read_profile(source, compartments=None, state_variables=None, equations=None,
                 partial: bool = False) -> pd.DataFrame:
    """ "ProfileSnapshot.csv": every equation at one moment.

    Compartment mode: columns time, state_variable, compartment, x, y, z,
    concentration; equation-solver mode: time, equation, value. A steady
    state carries the time -999, as in the file; `attrs["steady_state"]`
    says whether it is one. `compartments`, `state_variables`, `equations`
    keep only those rows.
    """
    path = resolve(source, PROFILE, partial)
    header = read_header(path)
    cells = [c.strip() for c in header.text.split(",")]
    upper = [c.upper() for c in cells]
    if upper == [c.upper() for c in _PROFILE_ENVS]:
        mode, names = "ENVS", _PROFILE_ENVS
    elif upper == [c.upper() for c in _PROFILE_EQNS]:
        mode, names = "EQNS", _PROFILE_EQNS
    else:
        _fail(header, 1, f'expected the header "{",".join(_PROFILE_ENVS)}" or "{",".join(_PROFILE_EQNS)}", '
                         f'found "{header.text.strip()}"')
    values, cut_off = read_body(header, names, trailing_comma=False, partial=partial)
    if mode == "ENVS":
        frame = pd.DataFrame({
            "time": values[:, 0],
            "state_variable": _whole(header, values, 1, "VARIABLE"),
            "compartment": _whole(header, values, 2, "Compartment"),
            "x": values[:, 3],
            "y": values[:, 4],
            "z": values[:, 5],
            "concentration": values[:, 6],
        })
        if equations is not None:
            raise ValueError(f'"{path}" has no equations; its rows are of state variables and compartments')
        frame = _filter(_filter(frame, header, "compartment", compartments), header, "state_variable",
                        state_variables)
    else:
        frame = pd.DataFrame({"time": values[:, 0], "equation": _whole(header, values, 1, "VARIABLE"),
                              "value": values[:, 2]})
        if compartments is not None or state_variables is not None:
            raise ValueError(f'"{path}" has no compartments or state variables; its rows are of equations')
        frame = _filter(frame, header, "equation", equations)
    frame.attrs.update(mode=mode, path=str(path), steady_state=bool(len(frame)) and bool((frame.time == -999).all()))
    if cut_off:
        frame.attrs["cut_off"] = True
    return frame


def read_mass_balance(source, partial: bool = False) -> MassBalance:
    """ "MassBalance.csv": the table (one row per state variable, columns
    state_variable, initial, in, transport_out, volume_sinks_out,
    area_sinks_out, residual, balance_error) and the overall balance error
    in percent. With `partial`, a file without its percentage line (the run
    ended before it) gives NaN for it."""
    path = resolve(source, MASS_BALANCE, partial)
    header = read_header(path)
    expected = list(MASS_BALANCE_COLUMNS)
    if [c.strip() for c in header.text.split(",")] != expected:
        _fail(header, 1, f'expected the header "{",".join(expected)}", found "{header.text.strip()}"')
    data = path.read_bytes()
    if not data.endswith(b"\n") and not partial:
        _fail(header, data.count(b"\n") + 1, "the file ends in the middle of a line (it was cut off)")
    lines = data.decode("latin-1").split("\n")
    lines = [ln[:-1] if ln.endswith("\r") else ln for ln in lines[:-1]]
    m = _PERCENT.fullmatch(lines[-1].strip()) if len(lines) >= 2 else None
    if m is None:
        if not partial or len(lines) < 1:
            _fail(header, len(lines), "the last line is not the balance error percentage line")
        percent, rows = float("nan"), lines[1:]
    else:
        if not NUMBER.fullmatch(m.group(1)):
            _fail(header, len(lines), f'the balance error percentage is not a number: "{m.group(1)}"')
        percent, rows = float(m.group(1)), lines[1:-1]
    values = parse_lines(path, rows, expected, trailing_comma=False, first_line=2)
    table = pd.DataFrame(values, columns=list(MASS_BALANCE_COLUMNS.values()))
    table["state_variable"] = _whole(header, values, 0, "State Variable")
    table.attrs["path"] = str(path)
    return MassBalance(table, percent)
