"""Plots of ostra's results. Each function returns its matplotlib Figure.

The figures are made without pyplot (and so drawn with the Agg backend)
unless pyplot is already in use, in which case they belong to it and show
wherever it shows figures. Each function also draws into a given figure or
subfigure (`fig=`), which is how `python3 -m ostra plot` puts several on one
page.
"""

from __future__ import annotations

import os
import re
import sys
from pathlib import Path

import numpy as np
import pandas as pd
from matplotlib.ticker import MaxNLocator, ScalarFormatter

from .files import MASS_BALANCE, ONE_COMPARTMENT, PROFILE, TIME_SERIES, find_file
from .results import MassBalance, read_mass_balance, read_one_compartment, read_profile, read_time_series
from .runner import RunResult

# Lines drawn per axes before a plot shows an evenly spread selection.
MAX_LINES = 10


def _figure(fig, width: float, height: float):
    if fig is not None:
        return fig
    if "matplotlib.pyplot" in sys.modules:
        import matplotlib.pyplot as plt

        return plt.figure(figsize=(width, height), layout="constrained")
    from matplotlib.figure import Figure

    return Figure(figsize=(width, height), layout="constrained")


def _directory(source) -> Path | None:
    if isinstance(source, RunResult):
        return source.model_dir
    if isinstance(source, (str, os.PathLike)) and Path(source).is_dir():
        return Path(source)
    return None


def newest_series_file(directory: str | os.PathLike) -> Path | None:
    """The newer of "AllTimeSeries.csv" and "OneCompTimeSeries.csv" in the directory.

    A run writes one of them and leaves an older one of the other kind alone,
    so the newer one is the latest run's."""
    found = [p for p in (find_file(directory, TIME_SERIES), find_file(directory, ONE_COMPARTMENT)) if p]
    return max(found, key=lambda p: p.stat().st_mtime_ns) if found else None


def _series_table(source) -> pd.DataFrame:
    if isinstance(source, pd.DataFrame):
        return source
    directory = _directory(source)
    if isinstance(source, RunResult):
        if source.wrote(ONE_COMPARTMENT) and not source.wrote(TIME_SERIES):
            return read_one_compartment(source)
        return read_time_series(source)
    if directory is not None:
        path = newest_series_file(directory)
        if path is None:
            raise FileNotFoundError(f'{directory} holds neither "{TIME_SERIES}" nor "{ONE_COMPARTMENT}"')
        source = path
    if Path(source).name.lower() == ONE_COMPARTMENT.lower():
        return read_one_compartment(source)
    return read_time_series(source)


def _spread(values: list, limit: int) -> list:
    """At most `limit` of `values`, evenly spread and keeping the first and last."""
    if len(values) <= limit:
        return list(values)
    picks = np.unique(np.round(np.linspace(0, len(values) - 1, limit)).astype(int))
    return [values[i] for i in picks]


def _select(table: pd.DataFrame, column: str, wanted, what: str) -> pd.DataFrame:
    if wanted is None:
        return table
    wanted = [wanted] if np.isscalar(wanted) else list(wanted)
    missing = [w for w in wanted if w not in set(table[column])]
    if missing:
        present = ", ".join(map(str, sorted(set(table[column]))))
        raise ValueError(f"no {what} {', '.join(map(str, missing))} in the results (there are {present})")
    return table[table[column].isin(wanted)]


def _log_axis(ax, values: np.ndarray) -> None:
    if not (values > 0).any():
        raise ValueError("a log axis needs positive values, and these results have none")
    ax.set_yscale("log")


class _ModelInfo:
    """What the model of the results says: state-variable names and, read
    when a choice needs it, the compartments table."""

    def __init__(self, model, directory: Path | None):
        self._model = model
        self._directory = directory
        self._compartments = None
        names = None
        if model is not None and hasattr(model, "state_variables"):
            names = list(model.state_variables)
        elif model is None and directory is not None:
            from .model import read_labels

            names = read_labels(directory).get("state_variables")
        self.names = names

    def label(self, number: int) -> str:
        """"state variable 2", or its name with the number where it has one."""
        n = int(number)
        if self.names and 1 <= n <= len(self.names) and self.names[n - 1] != f"sv{n}":
            return f"{self.names[n - 1]} (state variable {n})"
        return f"state variable {n}"

    def number(self, sv) -> int:
        if isinstance(sv, str):
            if not self.names or sv not in self.names:
                raise ValueError(f"no state variable {sv!r} in the model"
                                 + (f" (there are {', '.join(self.names)})" if self.names else
                                    " (its state variables have no names; choose them by number)"))
            return self.names.index(sv) + 1
        return int(sv)

    def compartments(self) -> pd.DataFrame:
        if self._compartments is None:
            from .model import Model

            model = self._model
            if model is None or isinstance(model, (str, os.PathLike)):
                where = Path(model) if model is not None else self._directory
                if where is None:
                    raise ValueError("choosing by kind, layer or a column of the compartments table needs the "
                                     "model: pass model= (a Model or its directory)")
                model = Model.read(where)
                if self.names is None:
                    self.names = list(model.state_variables)
            self._compartments = model.compartments
        return self._compartments


def _info(source, table: pd.DataFrame, model) -> _ModelInfo:
    directory = _directory(source)
    if directory is None and table.attrs.get("path"):
        directory = Path(table.attrs["path"]).parent
    return _ModelInfo(model, directory)


def _choose_compartments(table: pd.DataFrame, info: _ModelInfo, compartments, kind, z, where) -> pd.DataFrame:
    """The rows of the compartments a plot is limited to: those listed
    (each must be in the results), and of those in the results the ones of
    the kind, centroid z and column values asked for."""
    table = _select(table, "compartment", None if compartments is None else
                    [int(k) for k in np.atleast_1d(compartments)], "compartment")
    if kind is None and z is None and not where:
        return table
    from .model.tables import kind_name

    model = info.compartments()
    keep = np.ones(len(model), dtype=bool)
    if kind is not None:
        kinds = {kind_name(k) for k in np.atleast_1d(np.asarray(kind, dtype=object))}
        keep &= model["kind"].isin(kinds).to_numpy()
    if z is not None:
        # As the tables hold it: a Single.
        keep &= np.isin(model["z"].to_numpy(dtype=np.float32), np.atleast_1d(np.asarray(z, dtype=np.float32)))
    for column, values in (where or {}).items():
        if column not in model.columns:
            raise ValueError(f"the compartments table has no column {column!r} (it has {', '.join(model.columns)})")
        values = [values] if np.isscalar(values) else list(values)
        keep &= model[column].isin(values).to_numpy()
    chosen = table[table["compartment"].isin(model.index[keep])]
    if chosen.empty:
        raise ValueError("the results hold no compartment of the kind, layer and column values chosen")
    return chosen


def _choose_state_variables(table: pd.DataFrame, info: _ModelInfo, state_variables) -> pd.DataFrame:
    if state_variables is None:
        return table
    wanted = [state_variables] if np.isscalar(state_variables) else list(state_variables)
    return _select(table, "state_variable", [info.number(sv) for sv in wanted], "state variable")


def time_series(source, compartments=None, state_variables=None, equations=None, log: bool = False,
                fig=None, max_lines: int = MAX_LINES, title: str | None = None, model=None, kind=None, z=None,
                where: dict | None = None):
    """Concentration against time: one axes per state variable, one line
    per compartment (equation-solver mode: one axes, one line per equation).

    `source`: a model directory (its newer time-series file), a result
    file, a `RunResult`, or a table from `read_time_series` /
    `read_one_compartment`. `compartments`, `state_variables` (numbers or
    names), `equations` choose what is drawn; so do `kind`, `z` (the
    centroid's z: a layer) and `where` ({column of the compartments table:
    value or values}), which need the model (`model`: a Model or its
    directory; by default the results' directory). State variables are
    labelled by the names kept beside the model. Without a choice, at most
    `max_lines` lines per axes are drawn, evenly spread over the
    compartments or equations.
    """
    table = _series_table(source)
    if table.empty:
        raise ValueError("the time series holds no time step")
    info = _info(source, table, model)
    eqns = "equation" in table.columns
    choice = compartments is not None or kind is not None or z is not None or bool(where)
    if eqns:
        if choice or state_variables is not None:
            raise ValueError("equation-solver results have equations, not compartments or state variables")
        table = _select(table, "equation", equations, "equation")
        groups = [(None, table)]
        line_key, line_label = "equation", "equation {}"
    else:
        if equations is not None:
            raise ValueError("compartment-mode results are chosen by compartments and state variables")
        table = _choose_state_variables(table, info, state_variables)
        one_compartment = "compartment" not in table.columns
        if one_compartment:
            if choice:
                raise ValueError(f'"{ONE_COMPARTMENT}" follows one compartment; it cannot be chosen here')
        else:
            table = _choose_compartments(table, info, compartments, kind, z, where)
        groups = list(table.groupby("state_variable", sort=True))
        line_key, line_label = ("state_variable", "SV {}") if one_compartment else ("compartment", "compartment {}")
        if one_compartment:
            groups = [(None, table)]

    fig = _figure(fig, 8, 1.0 + 2.6 * len(groups))
    axes = fig.subplots(len(groups), 1, sharex=True, squeeze=False)[:, 0]
    for ax, (sv, part) in zip(axes, groups):
        keys = sorted(part[line_key].unique())
        chosen_by_user = choice if line_key == "compartment" else equations is not None
        shown = keys if chosen_by_user else _spread(keys, max_lines)
        for key in shown:
            line = part[part[line_key] == key]
            label = info.label(key) if line_key == "state_variable" else line_label.format(key)
            ax.plot(line["time"], line.iloc[:, -1], label=label, marker="." if len(line) <= 30 else None)
        heading = info.label(sv) if sv is not None else ""
        if len(shown) < len(keys):
            heading += f"{' -- ' if heading else ''}{len(shown)} of {len(keys)} {line_key}s shown, evenly spread"
        ax.set_title(heading, fontsize="medium")
        ax.set_ylabel("value" if eqns else "concentration")
        if log:
            _log_axis(ax, part.iloc[:, -1].to_numpy())
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize="small", loc="center left", bbox_to_anchor=(1.01, 0.5), frameon=False)
    axes[-1].set_xlabel("time")
    what = "time series"
    if "compartment" not in table.columns and not eqns:
        followed = _followed_compartment(table.attrs.get("path"))
        what += f" of compartment {followed}" if followed else " of one compartment"
    fig.suptitle(title or _title(table, what))
    return fig


def _followed_compartment(path: str | None) -> int | None:
    """The compartment "OneCompTimeSeries.csv" follows: "Control.csv" pair 15,
    read only when Control.csv has not changed since the file was written."""
    if not path:
        return None
    result = Path(path)
    control = find_file(result.parent, "Control.csv")
    try:
        if control is None or control.stat().st_mtime_ns > result.stat().st_mtime_ns:
            return None
        lines = control.read_text(encoding="latin-1").splitlines()
        return int(float(lines[29].split(",")[0].strip().strip('"')))
    except (OSError, IndexError, ValueError):
        return None


def _title(table: pd.DataFrame, what: str) -> str:
    path = table.attrs.get("path")
    if not path:
        return what.capitalize()
    p = Path(path)
    return f"{p.parent.name}: {what} ({p.name})"


def _lines_of(part: pd.DataFrame, info: _ModelInfo, by):
    """The compartments of one state variable split into lines: by the
    column `by` of the compartments table, else by distinct (y, z), so that
    water and sediment, or a tributary and the main stem, at the same x are
    never joined into one line."""
    if by is not None:
        table = info.compartments()
        if by not in table.columns:
            raise ValueError(f"the compartments table has no column {by!r} (it has {', '.join(table.columns)})")
        keys = table[by].reindex(part["compartment"]).to_numpy()
        return [(f"{by} {key}", part[keys == key]) for key in pd.unique(keys)]
    keys = list(zip(part["y"], part["z"]))
    distinct = list(dict.fromkeys(keys))
    if len(distinct) == 1:
        return [("", part)]
    layer = None
    try:
        table = info.compartments() if info._directory is not None or info._model is not None else None
        if table is not None and "layer" in table.columns:
            layer = table["layer"]
    except (ValueError, OSError):
        layer = None
    out = []
    for y, zz in distinct:
        rows = part[(part["y"] == y) & (part["z"] == zz)]
        names = set(layer.reindex(rows["compartment"])) if layer is not None else set()
        text = f"{names.pop()}, " if len(names) == 1 else ""
        out.append((f"{text}y = {y:g}, z = {zz:g}", rows))
    return out


def profile(source, state_variables=None, log: bool = False, fig=None, title: str | None = None,
            label_compartments: bool | None = None, model=None, compartments=None, kind=None, z=None,
            where: dict | None = None, by: str | None = None):
    """Concentration along x (the compartment centroids), from
    "ProfileSnapshot.csv": one line per state variable and layer -- by
    default the compartments of one y and z (water over sediment, a
    tributary beside the main stem make lines of their own), or per value
    of the compartments table's column `by`. `compartments`, `kind`, `z`,
    `where` and `state_variables` (numbers or names) choose what is drawn,
    as in `time_series`. Equation-solver results are drawn against the
    equation number. `label_compartments` writes each point's compartment
    number beside it (default: when there are at most 30 points per line)."""
    table = source if isinstance(source, pd.DataFrame) else read_profile(_directory(source) or source)
    if table.empty:
        raise ValueError("the profile holds no equation")
    info = _info(source, table, model)
    eqns = "equation" in table.columns
    fig = _figure(fig, 8, 4.2)
    ax = fig.subplots()
    if eqns:
        # Equations have numbers, not positions: bars, not a line between them.
        ax.bar(table["equation"], table["value"], color="#4c72b0", width=0.6)
        if len(table) <= 30:
            ax.set_xticks(sorted(table["equation"].unique()))
            for row in table.itertuples():
                ax.annotate(f"{row.value:.6g}", (row.equation, row.value), textcoords="offset points",
                            xytext=(0, 3 if row.value >= 0 else -3), ha="center",
                            va="bottom" if row.value >= 0 else "top", fontsize="small")
        ax.axhline(0, color="black", linewidth=0.8)
        ax.margins(y=0.12)
        ax.set_axisbelow(True)
        ax.set_xlabel("equation")
        ax.set_ylabel("value")
        values = table["value"].to_numpy()
    else:
        table = _choose_state_variables(table, info, state_variables)
        table = _choose_compartments(table, info, compartments, kind, z, where)
        shared_x = False
        for sv, part in table.groupby("state_variable", sort=True):
            for name, rows in _lines_of(part, info, by):
                rows = rows.sort_values(["x", "compartment"])
                shared_x |= bool(rows["x"].duplicated().any())
                label = info.label(sv) + (f", {name}" if name else "")
                (line,) = ax.plot(rows["x"], rows["concentration"], marker="o", label=label)
                if label_compartments or (label_compartments is None and len(rows) <= 30):
                    for row in rows.itertuples():
                        ax.annotate(str(row.compartment), (row.x, row.concentration), textcoords="offset points",
                                    xytext=(5, 5), fontsize="small", color=line.get_color(),
                                    bbox=dict(boxstyle="round,pad=0.1", fc="white", ec="none", alpha=0.8))
        ax.set_xlabel("x (compartment centroid)")
        ax.set_ylabel("concentration")
        ax.legend(fontsize="small")
        values = table["concentration"].to_numpy()
        if shared_x:
            ax.text(0.01, 0.01, "several compartments of one line share an x: the line joins them in compartment "
                    "order", transform=ax.transAxes, fontsize="x-small", color="gray")
    if log:
        _log_axis(ax, values)
    ax.grid(True, alpha=0.3)
    steady = bool((table["time"] == -999).all())
    when = "steady state" if steady else f"time {table['time'].iloc[0]:.6g}"
    fig.suptitle(title or _title(table, f"profile, {when}"))
    return fig


def concentration_map(source, state_variables=None, time=None, log: bool = False, fig=None,
                      title: str | None = None, model=None, compartments=None, kind=None, z=None,
                      where: dict | None = None, cmap: str = "viridis"):
    """A map of the concentrations at the compartment centroids (x, y) at
    one time: one panel per state variable. `source` as for `profile` (its
    time) or `time_series` (the row at `time`, default the last; the
    centroids come from the model). Compartments that share an (x, y), such
    as the layers under one water compartment, need a choice (`z`, `where`,
    `compartments`) of which to show."""
    if isinstance(source, pd.DataFrame):
        table = source
    else:
        directory = _directory(source)
        name = (Path(source).name.lower() if directory is None else "")
        if name == PROFILE.lower() or (directory is not None and time is None and find_file(directory, PROFILE)
                                       and not (find_file(directory, TIME_SERIES) or find_file(directory, ONE_COMPARTMENT))):
            table = read_profile(directory or source)
        else:
            table = _series_table(source)
    if table.empty:
        raise ValueError("the results hold no value")
    if "equation" in table.columns or "compartment" not in table.columns:
        raise ValueError("a map needs results by compartment: equation-solver and one-compartment results have none")
    info = _info(source, table, model)
    if "x" not in table.columns:
        times = np.unique(table["time"].to_numpy())
        at = times[-1] if time is None else time
        if at not in times:
            near = times[np.argmin(np.abs(times - at))]
            raise ValueError(f"the time series holds no row at time {at:g} (the nearest is {near:g})")
        table = table[table["time"] == at]
        centroids = info.compartments()[["x", "y", "z"]]
        table = table.join(centroids, on="compartment")
    elif time is not None and not (table["time"] == time).all():
        raise ValueError(f"the profile is of time {table['time'].iloc[0]:g}, not {time:g}")
    table = _choose_state_variables(table, info, state_variables)
    table = _choose_compartments(table, info, compartments, kind, z, where)
    groups = list(table.groupby("state_variable", sort=True))
    fig = _figure(fig, 5.2 * len(groups), 4.4)
    axes = fig.subplots(1, len(groups), squeeze=False)[0]
    for ax, (sv, part) in zip(axes, groups):
        if part.duplicated(["x", "y"]).any():
            raise ValueError("several compartments share a centroid (x, y), such as the layers under one water "
                             "compartment: choose one layer (z=, where= or compartments=)")
        values = part["concentration"].to_numpy()
        norm = None
        if log:
            from matplotlib.colors import LogNorm

            if not (values > 0).any():
                raise ValueError("a log colour scale needs positive values, and these results have none")
            norm = LogNorm(vmin=values[values > 0].min(), vmax=values.max())
        points = ax.scatter(part["x"], part["y"], c=values, cmap=cmap, norm=norm, marker="s",
                            s=max(4.0, 4000.0 / max(len(part), 1)), edgecolors="none")
        fig.colorbar(points, ax=ax, label="concentration")
        ax.set_title(info.label(sv), fontsize="medium")
        ax.set_xlabel("x (compartment centroid)")
        ax.set_ylabel("y")
        ax.set_aspect("equal", adjustable="datalim")
    at = table["time"].iloc[0]
    when = "steady state" if at == -999 else f"time {at:.6g}"
    fig.suptitle(title or _title(table, f"map, {when}"))
    return fig


_BALANCE_BARS = [
    ("initial", "Initial", "#4c72b0"),
    ("in", "In", "#64b5cd"),
    ("transport_out", "Transport out", "#dd8452"),
    ("volume_sinks_out", "Volume-based sinks out", "#c44e52"),
    ("area_sinks_out", "Area-based sinks out", "#937860"),
    ("residual", "Residual (final mass)", "#55a868"),
    ("balance_error", "Balance error", "#333333"),
]


def mass_balance(source, fig=None, title: str | None = None):
    """The terms of "MassBalance.csv" as bars, one panel per state variable."""
    if isinstance(source, MassBalance):
        balance = source
    else:
        balance = read_mass_balance(_directory(source) or source)
    table = balance.table
    n = len(table)
    fig = _figure(fig, max(5.0, 4.2 * n), 3.8)
    axes = fig.subplots(1, n, squeeze=False)[0]
    labels = [label for _, label, _ in _BALANCE_BARS]
    for ax, row in zip(axes, table.to_dict("records")):
        values = [row[key] for key, _, _ in _BALANCE_BARS]
        colours = [c for _, _, c in _BALANCE_BARS]
        y = np.arange(len(values))
        ax.barh(y, values, color=colours)
        ax.set_axisbelow(True)
        ax.set_yticks(y, labels if ax is axes[0] else [""] * len(labels))
        ax.invert_yaxis()
        ax.axvline(0, color="black", linewidth=0.8)
        span = max(abs(v) for v in values) or 1.0
        ax.set_xlim(min(0.0, min(values)) - 0.28 * span, max(0.0, max(values)) + 0.28 * span)
        for yi, v in zip(y, values):
            ax.annotate(f"{v:.4g}", (v, yi), xytext=(3 if v >= 0 else -3, 0), textcoords="offset points",
                        ha="left" if v >= 0 else "right", va="center", fontsize="x-small")
        ax.set_title(f"state variable {row['state_variable']}", fontsize="medium")
        ax.set_xlabel("mass (volume x concentration)")
        ax.xaxis.set_major_locator(MaxNLocator(5))
        formatter = ScalarFormatter(useMathText=True)
        formatter.set_powerlimits((-3, 4))
        ax.xaxis.set_major_formatter(formatter)
        ax.grid(True, axis="x", alpha=0.3)
    path = table.attrs.get("path")
    head = f"{Path(path).parent.name}: mass balance of the run" if path else "Mass balance of the run"
    fig.suptitle(title or f"{head} -- overall error {balance.error_percent:.4g} % of initial + input mass")
    moved = table["initial"] + table["in"]
    large = table[(table["balance_error"].abs() > 1e-4 * moved.where(moved > 0, 1.0))]
    if len(large):
        fig.supxlabel(
            "Balance error well above rounding for state variable " + ", ".join(map(str, large["state_variable"]))
            + ": mass formed by transformation is not counted as In, and explicit schemes, "
            "R(C) and time-variable tables add errors (docs/mass-balance.md)",
            fontsize="x-small", color="dimgray", wrap=True)
    return fig


def model(directory: str | os.PathLike, fig=None, log: bool = False, notes: list | None = None):
    """Everything the latest run in `directory` wrote: its concentration
    file and, when written by the same run, its mass balance.

    `notes` (a list) receives a sentence for each result file left out
    because an earlier run wrote it.
    """
    directory = Path(directory)
    notes = [] if notes is None else notes
    candidates = [p for p in (find_file(directory, n) for n in (TIME_SERIES, ONE_COMPARTMENT, PROFILE)) if p]
    if not candidates:
        raise FileNotFoundError(f"{directory} holds no result file ({TIME_SERIES}, {ONE_COMPARTMENT}, {PROFILE})")
    candidates.sort(key=lambda p: p.stat().st_mtime_ns, reverse=True)
    latest = candidates[0]
    for older in candidates[1:]:
        notes.append(f'"{older.name}" is older than "{latest.name}" (left by an earlier run); not drawn')
    balance_path = find_file(directory, MASS_BALANCE)
    if balance_path is not None and balance_path.stat().st_mtime_ns < latest.stat().st_mtime_ns:
        notes.append(f'"{balance_path.name}" is older than "{latest.name}" (left by an earlier run); not drawn')
        balance_path = None

    if latest.name.lower() == PROFILE.lower():
        concentration = read_profile(latest)
        height = 4.2
    else:
        concentration = _series_table(latest)
        groups = 1 if "equation" in concentration.columns or "compartment" not in concentration.columns \
            else concentration["state_variable"].nunique()
        height = 1.0 + 2.6 * groups
    balance = read_mass_balance(balance_path) if balance_path is not None else None
    heights = [height] + ([3.8] if balance is not None else [])
    width = max(8.0, 4.2 * len(balance.table)) if balance is not None else 8.0
    fig = _figure(fig, width, sum(heights))
    panels = fig.subfigures(len(heights), 1, height_ratios=heights, squeeze=False)[:, 0] if len(heights) > 1 else [fig]
    if latest.name.lower() == PROFILE.lower():
        profile(concentration, fig=panels[0], log=log)
    else:
        time_series(concentration, fig=panels[0], log=log)
    if balance is not None:
        mass_balance(balance, fig=panels[1])
    return fig


# ---------------------------------------------------------------- studies

_COLUMN = re.compile(r"SV (\d+) in Compartment (\d+)|Equation (\d+)")


def _output_key(name: str):
    """(state variable, compartment) or (None, equation) of an output column."""
    m = _COLUMN.fullmatch(name)
    if not m:
        return None
    return (int(m.group(1)), int(m.group(2))) if m.group(1) else (None, int(m.group(3)))


def bands(result, state_variable: int | None = None, compartments=None, observations=None, log: bool = False,
          fig=None, title: str | None = None):
    """The median and the 25-75 and 5-95 percentile bands of a sample
    (`ostra.sample`'s result), with observations on top.

    Time-series outputs ("series"): one panel per chosen compartment (or
    equation; at most six), over time. Final values ("final", e.g. a steady
    profile): one panel along the compartments of `state_variable` (or the
    equations). `observations`: a table as `ostra.calibrate` takes (columns
    time, state_variable, compartment or equation, value), drawn as points.
    """
    pct = result.percentiles
    levels = sorted(set(pct.percentile))
    if levels[:1] != [5] or 50 not in levels or 95 not in levels:
        raise ValueError("bands need the 5th, 50th and 95th percentiles of the sample")
    keys = {c: _output_key(c) for c in result.outputs}
    keys = {c: k for c, k in keys.items() if k is not None}
    if state_variable is not None:
        keys = {c: k for c, k in keys.items() if k[0] == state_variable}
    if compartments is not None:
        wanted = {compartments} if np.isscalar(compartments) else set(compartments)
        keys = {c: k for c, k in keys.items() if k[1] in wanted}
    if not keys:
        raise ValueError("none of the sample's outputs is of the state variable and compartments asked for")
    obs = None if observations is None else (observations if isinstance(observations, pd.DataFrame)
                                             else pd.read_csv(observations, skipinitialspace=True))
    q = {p: pct[pct.percentile == p] for p in levels}
    note = f"{len(result.draws.drop_duplicates('draw')) - result.n_failed} draws" + \
        (f", {result.n_failed} failed (left out)" if result.n_failed else "")
    if "time" in pct.columns:
        columns = _spread(list(keys), 6)
        fig = _figure(fig, 8.0, 1.2 + 2.4 * len(columns))
        axes = fig.subplots(len(columns), 1, sharex=True, squeeze=False)[:, 0]
        for ax, column in zip(axes, columns):
            t = q[50].time.to_numpy()
            ax.fill_between(t, q[5][column], q[95][column], color="tab:blue", alpha=0.18, label="5-95 %")
            if 25 in q and 75 in q:
                ax.fill_between(t, q[25][column], q[75][column], color="tab:blue", alpha=0.35, label="25-75 %")
            ax.plot(t, q[50][column], color="tab:blue", lw=1.6, label="median")
            sv, number = keys[column]
            if obs is not None:
                sel = obs[(obs.get("equation") == number)] if sv is None else \
                    obs[(obs.state_variable == sv) & (obs.compartment == number)]
                if len(sel):
                    ax.plot(sel.time, sel.value, "o", color="black", ms=4, label="observed")
            ax.set_ylabel("value" if sv is None else "concentration")
            ax.set_title(column, fontsize=10)
            if log:
                _log_axis(ax, q[95][column].to_numpy())
        axes[-1].set_xlabel("time")
        axes[0].legend(fontsize=8, loc="best")
    else:
        columns = sorted(keys, key=lambda c: keys[c])
        x = np.array([keys[c][1] for c in columns])
        fig = _figure(fig, 8.0, 4.2)
        ax = fig.subplots()
        row = {p: q[p][columns].to_numpy()[0] for p in levels}
        ax.fill_between(x, row[5], row[95], color="tab:blue", alpha=0.18, step=None, label="5-95 %")
        if 25 in row and 75 in row:
            ax.fill_between(x, row[25], row[75], color="tab:blue", alpha=0.35, label="25-75 %")
        ax.plot(x, row[50], "-o", color="tab:blue", ms=3, lw=1.6, label="median")
        if obs is not None:
            sel = obs if state_variable is None or "state_variable" not in obs else \
                obs[obs.state_variable == state_variable]
            key = "equation" if "equation" in sel.columns and "compartment" not in sel.columns else "compartment"
            ax.plot(sel[key], sel.value, "o", color="black", ms=5, label="observed")
        ax.set_xlabel("equation" if keys[columns[0]][0] is None else "compartment")
        ax.set_ylabel("concentration" if keys[columns[0]][0] is not None else "value")
        ax.xaxis.set_major_locator(MaxNLocator(integer=True))
        if log:
            _log_axis(ax, row[95])
        ax.legend(fontsize=8, loc="best")
    fig.suptitle(title or f"Median and percentile bands ({note})", fontsize=11)
    return fig


def sensitivity(result, output: str | None = None, fig=None, title: str | None = None):
    """A bar chart of a sensitivity study (`ostra.sensitivity`'s result):
    per parameter the mean absolute elementary effect with its spread as an
    error bar (Morris), or the standardized regression coefficient (SRC) of
    `output`; without `output`, the relative effect averaged over every
    output (each scaled by its largest)."""
    fig = _figure(fig, 7.0, 1.4 + 0.45 * len(result.ranking))
    ax = fig.subplots()
    if output is None:
        ranking = result.ranking.iloc[::-1]
        ax.barh(ranking.parameter, ranking.relative_effect, color="tab:blue")
        ax.set_xlabel("relative effect (mean over the outputs of the measure scaled by its largest)")
        what = "all outputs"
    else:
        table = result.table[result.table.output == output]
        if table.empty:
            raise ValueError(f'no output "{output}" in the sensitivity result')
        if result.method == "morris":
            table = table.sort_values("mu_star")
            ax.barh(table.parameter, table.mu_star, xerr=table.sigma.fillna(0), color="tab:blue",
                    error_kw={"ecolor": "0.3", "capsize": 3})
            ax.set_xlabel("mean absolute elementary effect (bar: sigma) per full range")
        else:
            table = table.sort_values("abs_src")
            ax.barh(table.parameter, table.src, color=np.where(table.src >= 0, "tab:blue", "tab:red"))
            ax.axvline(0, color="0.3", lw=0.8)
            ax.set_xlabel(f"standardized regression coefficient (R² {table.r2.iloc[0]:.2f})")
        what = output
    method = "elementary effects (Morris)" if result.method == "morris" else "standardized regression coefficients"
    ax.set_title(title or f"Sensitivity of {what}: {method}, {result.model_runs} model runs", fontsize=10)
    return fig
