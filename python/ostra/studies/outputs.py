"""What a study keeps of each run: final concentrations, mass-balance terms
or time series, taken only from the files that run wrote, through the
readers' column choice (only the columns asked for are parsed).

Exports: Outputs, OutputError, parse_outputs, extract, OUTPUT_KINDS.
"""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import Iterable

import numpy as np
import pandas as pd

from ..files import MASS_BALANCE, ONE_COMPARTMENT, PROFILE, TIME_SERIES
from ..results.readers import (
    equation_name,
    read_last_row,
    read_mass_balance,
    read_one_compartment,
    read_profile,
    read_time_series,
)

OUTPUT_KINDS = ("final", "mass-balance", "series", "series:<numbers>")


class OutputError(ValueError):
    """The outputs asked for are not among the files a run wrote."""


@dataclass(frozen=True)
class Outputs:
    final: bool = False
    mass_balance: bool = False
    series: bool = False
    # With `series`: the compartments (compartment mode) or equations
    # (equation-solver mode) kept; None keeps every equation.
    select: tuple[int, ...] | None = None
    # The model's values at observations: (time, state variable, compartment)
    # or (time, 0, equation) each, `kind` "compartment" or "equation".
    points: tuple[tuple[float, int, int], ...] | None = None
    kind: str = "compartment"


def at_observations(observations: pd.DataFrame) -> Outputs:
    """The outputs that match a table of `tables.read_observations`."""
    kind = observations.attrs.get("kind", "compartment")
    if kind == "equation":
        points = tuple((float(t), 0, int(e)) for t, e in zip(observations.time, observations.equation))
    else:
        points = tuple((float(t), int(s), int(c)) for t, s, c in
                       zip(observations.time, observations.state_variable, observations.compartment))
    return Outputs(points=points, kind=kind)



def parse_outputs(outputs: str | Iterable[str]) -> Outputs:
    """ "final", "mass-balance", "series" or "series:5,6", or several of
    "final" and "mass-balance" together."""
    items = [outputs] if isinstance(outputs, str) else list(outputs)
    if not items:
        raise ValueError(f"no outputs asked for; choose from {', '.join(OUTPUT_KINDS)}")
    final = mass = series = False
    select = None
    for item in items:
        word = str(item).strip().lower().replace("_", "-")
        if word == "final":
            final = True
        elif word == "mass-balance":
            mass = True
        elif word == "series" or word.startswith("series:"):
            series = True
            if ":" in word:
                try:
                    select = tuple(int(n) for n in word.split(":", 1)[1].split(",") if n.strip())
                except ValueError:
                    raise ValueError(f'outputs "{item}": after "series:" give compartment or equation numbers, '
                                     'such as series:5,6') from None
                if not select:
                    raise ValueError(f'outputs "{item}": no number after "series:"')
        else:
            raise ValueError(f'unknown outputs "{item}"; choose from {", ".join(OUTPUT_KINDS)}')
    if series and (final or mass):
        raise ValueError("a time series is one row per scenario and time; ask for it alone, "
                         "not together with final or mass-balance")
    return Outputs(final, mass, series, select)


def _written(directory: Path, written: Iterable[str], name: str) -> Path | None:
    lower = name.lower()
    for n in written:
        if n.lower() == lower:
            return directory / n
    return None


def extract(directory: str | Path, written: Iterable[str], wanted: Outputs):
    """The outputs of the run in `directory` that wrote the files `written`.

    For final values and mass-balance terms a dict of column name -> value;
    for a time series a DataFrame with a column "time" and one per equation.
    """
    directory = Path(directory)
    written = list(written)
    if wanted.points is not None:
        return {"values": _at_points(directory, written, wanted)}
    if wanted.series:
        return _series(directory, written, wanted.select)
    out: dict[str, float] = {}
    if wanted.final:
        out.update(_final(directory, written))
    if wanted.mass_balance:
        path = _written(directory, written, MASS_BALANCE)
        if path is None:
            raise OutputError(f'the run wrote no "{MASS_BALANCE}" (only dynamic compartment-mode runs '
                              "without an f(C) term keep the account)")
        balance = read_mass_balance(path)
        labels = {
            "initial": "Initial", "in": "In", "transport_out": "Transport Out",
            "volume_sinks_out": "Volume-Based Sinks Out", "area_sinks_out": "Area-Based Sinks Out",
            "residual": "Residual", "balance_error": "Balance Error",
        }
        for row in balance.table.to_dict("records"):
            for column, label in labels.items():
                out[f"SV {row['state_variable']} {label}"] = float(row[column])
        out["Balance Error %"] = balance.error_percent
    return out


def _final(directory: Path, written: list[str]) -> dict[str, float]:
    for name in (TIME_SERIES, ONE_COMPARTMENT):
        path = _written(directory, written, name)
        if path is not None:
            last = read_last_row(path, name)
            if last is None:
                raise OutputError(f'"{name}" holds no time step (NumTimeSteps 0?), so there is no final value')
            out = {"result_time": last[0]}
            out.update(last[1])
            return out
    path = _written(directory, written, PROFILE)
    if path is not None:
        profile = read_profile(path)
        if profile.empty:
            raise OutputError(f'"{PROFILE}" holds no equation')
        out = {"result_time": float(profile.time.iloc[0])}
        if profile.attrs["mode"] == "EQNS":
            out.update({equation_name(equation=int(r.equation)): float(r.value) for r in profile.itertuples()})
        else:
            out.update({equation_name(int(r.state_variable), int(r.compartment)): float(r.concentration)
                        for r in profile.itertuples()})
        return out
    raise OutputError(f'the run wrote none of "{TIME_SERIES}", "{ONE_COMPARTMENT}" and "{PROFILE}"')


def _series(directory: Path, written: list[str], select: tuple[int, ...] | None) -> pd.DataFrame:
    path = _written(directory, written, TIME_SERIES)
    if path is not None:
        if select is None:
            return read_time_series(path, wide=True).reset_index()
        try:
            wide = read_time_series(path, wide=True, compartments=select)
        except ValueError as e:
            if "no compartments" not in str(e):
                raise OutputError(str(e)) from None
            try:
                wide = read_time_series(path, wide=True, equations=select)
            except ValueError as e2:
                raise OutputError(str(e2)) from None
        return wide.reset_index()
    path = _written(directory, written, ONE_COMPARTMENT)
    if path is not None:
        if select is not None:
            raise OutputError(f'"{ONE_COMPARTMENT}" does not say which compartment it follows; '
                              'ask for "series" without numbers')
        return read_one_compartment(path, wide=True).reset_index()
    raise OutputError(f'the run wrote no time series ("{TIME_SERIES}" or "{ONE_COMPARTMENT}")')


def _point_name(point, kind: str) -> str:
    time, sv, number = point
    where = f"equation {number}" if kind == "equation" else f"state variable {sv}, compartment {number}"
    return f"time {time:g}, {where}"


def _refuse(problems: list[str]) -> None:
    more = f"; and {len(problems) - 5} more" if len(problems) > 5 else ""
    raise OutputError("observations the run's results cannot give: " + "; ".join(problems[:5]) + more)


def _at_points(directory: Path, written: list[str], wanted: Outputs) -> list[float]:
    """The model's value at every observation: interpolated linearly in time
    between the rows of "AllTimeSeries.csv", or taken from the steady state
    of "ProfileSnapshot.csv" by compartment (or equation) alone."""
    points, kind = wanted.points, wanted.kind
    names = [equation_name(equation=n) if kind == "equation" else equation_name(sv, n) for _, sv, n in points]
    problems: list[str] = []
    path = _written(directory, written, TIME_SERIES)
    if path is not None:
        try:
            if kind == "equation":
                wide = read_time_series(path, wide=True, equations=sorted({n for _, _, n in points}))
            else:
                wide = read_time_series(path, wide=True, compartments=sorted({n for _, _, n in points}),
                                        state_variables=sorted({sv for _, sv, _ in points}))
        except ValueError:  # some observation names no column: say which
            wide = read_time_series(path, wide=True)
        times = wide.index.to_numpy()
        values = []
        for row, (point, name) in enumerate(zip(points, names), start=1):
            if name not in wide.columns:
                problems.append(f"observation row {row} ({_point_name(point, kind)}): the results hold no such "
                                "equation")
            elif not len(times) or not times[0] <= point[0] <= times[-1]:
                span = f"{times[0]:g} to {times[-1]:g}" if len(times) else "none"
                problems.append(f"observation row {row} ({_point_name(point, kind)}): outside the written times "
                                f"({span})")
            else:
                values.append(float(np.interp(point[0], times, wide[name].to_numpy())))
        if problems:
            _refuse(problems)
        return values
    path = _written(directory, written, PROFILE)
    if path is not None:
        profile = read_profile(path)
        key = ["equation"] if kind == "equation" else ["state_variable", "compartment"]
        column = "value" if kind == "equation" else "concentration"
        if set(key) - set(profile.columns):
            _refuse([f"the results are of {'compartments' if kind == 'equation' else 'equations'}, "
                     f"the observations of {kind}s"])
        lookup = {tuple(k): v for k, v in zip(profile[key].itertuples(index=False), profile[column])}
        snapshot = float(profile.time.iloc[0]) if len(profile) else None
        values = []
        for row, point in enumerate(points, start=1):
            k = (point[2],) if kind == "equation" else (point[1], point[2])
            if k not in lookup:
                problems.append(f"observation row {row} ({_point_name(point, kind)}): the results hold no such "
                                "equation")
            elif not profile.attrs["steady_state"] and point[0] != snapshot:
                problems.append(f"observation row {row} ({_point_name(point, kind)}): the profile snapshot is of "
                                f"time {snapshot:g} only")
            else:
                values.append(float(lookup[k]))
        if problems:
            _refuse(problems)
        return values
    raise OutputError(f'the run wrote neither "{TIME_SERIES}" nor "{PROFILE}" (observations are matched to '
                      "every equation's time series or to a profile)")
