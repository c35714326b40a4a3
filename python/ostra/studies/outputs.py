"""What a study keeps of each run: final concentrations, mass-balance terms
or time series, taken only from the files that run wrote, through the
readers' column choice (only the columns asked for are parsed).

Exports: Outputs, OutputError, parse_outputs, extract, OUTPUT_KINDS.
"""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path
from typing import Iterable

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
