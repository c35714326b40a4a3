"""The tables a study is given: observations, parameters to calibrate, and
distributions to sample, each a DataFrame or a CSV file, checked before
anything runs with messages naming the row (the first row after the header
is row 1), the column and the value.

Exports: read_observations, read_parameters, read_distributions,
Transform, DISTRIBUTIONS.
"""

from __future__ import annotations

import math
import os
from pathlib import Path

import numpy as np
import pandas as pd

from .scenarios import StudyError

DISTRIBUTIONS = ("uniform", "normal", "lognormal", "triangular", "table")


def _table(source, what: str) -> tuple[pd.DataFrame, str]:
    if isinstance(source, pd.DataFrame):
        table, where = source.copy(), f"the {what} table"
    else:
        path = Path(source)
        if not path.is_file():
            raise StudyError(f"{what} table {path} does not exist")
        try:
            table = pd.read_csv(path, skipinitialspace=True, float_precision="round_trip")
        except (ValueError, pd.errors.ParserError) as e:
            raise StudyError(f"{path}: cannot be read as a CSV table ({e})") from None
        where = str(path)
    table.columns = [str(c).strip().lower() for c in table.columns]
    if table.empty:
        raise StudyError(f"{where}: no row")
    return table.reset_index(drop=True), where


def _require(table: pd.DataFrame, where: str, columns: list[str]) -> None:
    missing = [c for c in columns if c not in table.columns]
    if missing:
        raise StudyError(f'{where}: no column "{missing[0]}" (the columns are {", ".join(table.columns)})')


def _numbers(table: pd.DataFrame, where: str, column: str, whole: bool = False, positive: bool = False,
             optional: bool = False) -> np.ndarray:
    values = pd.to_numeric(table[column], errors="coerce").to_numpy(dtype=np.float64)
    for i, (raw, v) in enumerate(zip(table[column], values), start=1):
        if optional and (raw is None or (isinstance(raw, float) and math.isnan(raw))):
            continue
        if not math.isfinite(v):
            raise StudyError(f'{where}, row {i}, column "{column}": "{raw}" is not a finite number')
        if whole and (v != round(v) or v < 1):
            raise StudyError(f'{where}, row {i}, column "{column}": {raw} is not a whole number from 1 up')
        if positive and v <= 0:
            raise StudyError(f'{where}, row {i}, column "{column}": {raw} is not above 0')
    return values


def read_observations(source) -> pd.DataFrame:
    """Observations: columns time, state_variable and compartment (compartment
    mode) or equation (equation-solver mode), value, and optional weight
    (default 1) and group. Returns them typed, with a column "row"."""
    table, where = _table(source, "observations")
    kind = "equation" if "equation" in table.columns and "compartment" not in table.columns else "compartment"
    keys = ["equation"] if kind == "equation" else ["state_variable", "compartment"]
    _require(table, where, ["time", *keys, "value"])
    out = pd.DataFrame({"row": np.arange(1, len(table) + 1), "time": _numbers(table, where, "time")})
    for key in keys:
        out[key] = _numbers(table, where, key, whole=True).astype(np.int64)
    out["value"] = _numbers(table, where, "value")
    out["weight"] = _numbers(table, where, "weight", positive=True) if "weight" in table.columns else 1.0
    out["group"] = table["group"].astype(str).str.strip() if "group" in table.columns else ""
    out.attrs["kind"] = kind
    out.attrs["where"] = where
    return out


class Transform:
    """How a parameter is varied: its own value ("none") or its base-10
    logarithm ("log", for positive parameters spanning orders of magnitude)."""

    def __init__(self, kind: str):
        self.kind = kind

    def inner(self, value):
        return np.log10(value) if self.kind == "log" else np.asarray(value, dtype=float)

    def outer(self, x):
        return 10.0 ** x if self.kind == "log" else x

    def derivative(self, value):
        """d(inner)/d(value)."""
        return 1.0 / (value * math.log(10)) if self.kind == "log" else 1.0


def _transforms(table: pd.DataFrame, where: str, lower: np.ndarray) -> list[Transform]:
    kinds = (table["transform"].fillna("none").astype(str).str.strip().str.lower()
             if "transform" in table.columns else pd.Series(["none"] * len(table)))
    out = []
    for i, (kind, lo) in enumerate(zip(kinds, lower), start=1):
        if kind not in ("none", "log"):
            raise StudyError(f'{where}, row {i}, column "transform": "{kind}" is neither "none" nor "log"')
        if kind == "log" and not lo > 0:
            raise StudyError(f'{where}, row {i}: a parameter varied by its logarithm needs a lower bound above 0, '
                             f"not {lo}")
        out.append(Transform(kind))
    return out


def _names(table: pd.DataFrame, where: str) -> list[str]:
    names = [str(n).strip() for n in table["name"]]
    seen = {}
    for i, name in enumerate(names, start=1):
        if not name or name == "nan":
            raise StudyError(f'{where}, row {i}, column "name": no parameter name')
        if name in seen:
            raise StudyError(f'{where}: rows {seen[name]} and {i} both name the parameter "{name}"')
        seen[name] = i
    return names


def read_parameters(source, need_initial: bool = True) -> pd.DataFrame:
    """Parameters to calibrate (or to screen): columns name (the template
    marker's name), initial (not needed for screening), lower, upper and
    optional transform ("none" or "log"). Returns a table with the column
    "transform" holding `Transform` objects."""
    table, where = _table(source, "parameters")
    _require(table, where, ["name", "lower", "upper"] + (["initial"] if need_initial else []))
    out = pd.DataFrame({"name": _names(table, where), "lower": _numbers(table, where, "lower"),
                        "upper": _numbers(table, where, "upper")})
    if need_initial:
        out["initial"] = _numbers(table, where, "initial")
    for i, row in enumerate(out.itertuples(), start=1):
        if not row.lower < row.upper:
            raise StudyError(f"{where}, row {i} ({row.name}): the lower bound {row.lower} is not below "
                             f"the upper bound {row.upper}")
        if need_initial and not row.lower <= row.initial <= row.upper:
            raise StudyError(f"{where}, row {i} ({row.name}): the initial value {row.initial} lies outside "
                             f"its bounds {row.lower} .. {row.upper}")
    out["transform"] = _transforms(table, where, out["lower"].to_numpy())
    out.attrs["where"] = where
    return out


def read_distributions(source) -> pd.DataFrame:
    """Distributions to sample: columns name, distribution, and what the
    distribution needs: uniform lower, upper; normal mean, sd; lognormal
    mean, sd (of the natural logarithm of the value); triangular lower,
    mode, upper; table file (a CSV file whose first column holds values,
    sampled by their empirical distribution). Returns the table with a
    column "ppf": the inverse distribution function of each."""
    from scipy import stats

    table, where = _table(source, "distributions")
    _require(table, where, ["name", "distribution"])
    names = _names(table, where)
    ppfs = []
    for i, row in enumerate(table.to_dict("records"), start=1):
        kind = str(row["distribution"]).strip().lower().replace("-", "")
        if kind not in DISTRIBUTIONS:
            raise StudyError(f'{where}, row {i}, column "distribution": "{row["distribution"]}" is not one of '
                             + ", ".join(DISTRIBUTIONS))
        needs = {"uniform": ["lower", "upper"], "normal": ["mean", "sd"], "lognormal": ["mean", "sd"],
                 "triangular": ["lower", "mode", "upper"], "table": ["file"]}[kind]
        one = pd.DataFrame([row])
        for column in needs:
            if column not in one.columns:
                raise StudyError(f'{where}, row {i} ({names[i - 1]}): a {kind} distribution needs the column "{column}"')
        if kind == "table":
            ppfs.append(_table_ppf(Path(str(row["file"]).strip()), where, i))
            continue
        v = {c: float(_numbers(one, f"{where}, row {i}", c)[0]) for c in needs}
        if kind == "uniform" and v["lower"] < v["upper"]:
            ppfs.append(stats.uniform(loc=v["lower"], scale=v["upper"] - v["lower"]).ppf)
        elif kind in ("normal", "lognormal") and v["sd"] > 0:
            ppfs.append(stats.norm(v["mean"], v["sd"]).ppf if kind == "normal"
                        else stats.lognorm(s=v["sd"], scale=math.exp(v["mean"])).ppf)
        elif kind == "triangular" and v["lower"] <= v["mode"] <= v["upper"] and v["lower"] < v["upper"]:
            width = v["upper"] - v["lower"]
            ppfs.append(stats.triang(c=(v["mode"] - v["lower"]) / width, loc=v["lower"], scale=width).ppf)
        else:
            raise StudyError(f"{where}, row {i} ({names[i - 1]}): the {kind} distribution's "
                             + ", ".join(f"{c} {v[c]}" for c in needs) + " do not make a distribution")
    return pd.DataFrame({"name": names, "distribution": [str(d).strip().lower() for d in table["distribution"]],
                         "ppf": ppfs})


def _table_ppf(path: Path, where: str, row: int):
    if not path.is_file():
        raise StudyError(f'{where}, row {row}, column "file": {path} does not exist')
    values = pd.read_csv(path, header=None, comment="#").iloc[:, 0]
    numbers = pd.to_numeric(values, errors="coerce")
    if numbers.iloc[:1].isna().all() and len(numbers) > 1:  # a header line
        numbers = numbers.iloc[1:]
    if numbers.isna().any() or len(numbers) < 2:
        raise StudyError(f"{path}: a table of values holds at least two numbers in its first column and nothing else")
    ordered = np.sort(numbers.to_numpy(dtype=np.float64))

    def ppf(u):
        return np.quantile(ordered, u)

    return ppf
