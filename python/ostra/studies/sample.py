"""Uncertainty: a sample of parameter values drawn from their
distributions, one run per draw, and the percentiles of every output over
the draws that finished.

Draws come from SciPy's `stats.qmc` (Latin hypercube, scrambled Sobol') or
plain random numbers, mapped through each distribution's inverse. The runs
are scenarios of the study's cache (named by their inputs), so a repeated
sample costs nothing. Failed draws are listed with their parameters and
message and left out of the percentiles.

Exports: sample, SampleResult, draw_unit, PERCENTILES.
"""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import pandas as pd

from .outputs import parse_outputs
from .scenarios import StudyError
from .study import Study
from .sweep import _combine
from .tables import read_distributions

PERCENTILES = (5, 25, 50, 75, 95)
METHODS = ("lhs", "sobol", "random")
_STATUS = ["status", "exit_status", "error", "warnings", "wall_time"]


@dataclass
class SampleResult:
    """`draws`: one row per draw (column "draw", the parameters, the status
    columns and the outputs; for time series one row per draw and time).
    `percentiles`: the percentiles of every output over the finished draws
    (a column "percentile", and "time" for series). `failed`: the draws that
    did not finish, with their parameters and message; `n_failed` their
    count. `outputs`: the output columns. `runs`: model runs this call
    made; `model_runs`: distinct runs the result rests on, cached ones
    included."""

    draws: pd.DataFrame
    percentiles: pd.DataFrame
    failed: pd.DataFrame
    n_failed: int
    outputs: list
    parameters: list
    runs: int  # model runs this call made
    model_runs: int = 0  # distinct runs the result rests on (cached ones too)


def draw_unit(d: int, n: int, method: str, seed) -> np.ndarray:
    """`n` points in the unit cube of `d` dimensions."""
    from scipy.stats import qmc

    if method == "lhs":
        return qmc.LatinHypercube(d=d, seed=seed).random(n)
    if method == "sobol":
        return qmc.Sobol(d=d, scramble=True, seed=seed).random(n)
    if method == "random":
        return np.random.default_rng(seed).random((n, d))
    raise StudyError(f'method "{method}": choose from {", ".join(METHODS)}')


def percentiles_of(table: pd.DataFrame, outputs: list, by_time: bool, percentiles=PERCENTILES) -> pd.DataFrame:
    """The percentiles of the output columns over the rows (per time with `by_time`)."""
    q = np.array(percentiles, dtype=float)
    if not by_time:
        values = np.percentile(table[outputs].to_numpy(dtype=float), q, axis=0) if len(table) \
            else np.full((len(q), len(outputs)), np.nan)
        return pd.DataFrame(values, columns=outputs).assign(percentile=q)[["percentile"] + outputs]
    blocks = []
    for t, group in table.groupby("time", sort=True):
        values = np.percentile(group[outputs].to_numpy(dtype=float), q, axis=0)
        blocks.append(pd.DataFrame(values, columns=outputs).assign(percentile=q, time=t))
    frame = pd.concat(blocks, ignore_index=True) if blocks else pd.DataFrame(columns=["percentile", "time"] + outputs)
    return frame[["percentile", "time"] + outputs]


def sample(base_dir, distributions, n: int, out_dir, client=None, method: str = "lhs", seed=None,
           outputs="final", executable=None, fixed: dict | None = None, strict: bool = False,
           timeout: float | None = None, files: str = "none", progress=True, wait_for_workers: float = 120,
           batch_size: int | None = None) -> SampleResult:
    """Run the base model once per draw of its parameters and summarize.

    `distributions`: a table (DataFrame or CSV) with columns name (the
    template marker), distribution ("uniform", "normal", "lognormal",
    "triangular" or "table") and the columns that distribution needs (see
    `ostra.studies.tables.read_distributions`); or a user's own table of
    draws (one column per parameter, one row per draw; `n` and `method` are
    then not used). `n` draws by `method`
    ("lhs", "sobol" or "random") from `seed`. `outputs` as for
    `ostra.sweep`. `fixed`: values of other markers.
    """
    if _is_draws(distributions):
        table = _read_draws(distributions)
    else:
        dists = read_distributions(distributions)
        if int(n) < 1:
            raise StudyError(f"n = {n}: a sample needs at least one draw")
        unit = draw_unit(len(dists), int(n), method, seed)
        values = np.column_stack([ppf(unit[:, j]) for j, ppf in enumerate(dists.ppf)])
        table = pd.DataFrame(values, columns=list(dists.name))
    return run_draws(base_dir, table, out_dir, client=client, outputs=outputs, executable=executable, fixed=fixed,
                     strict=strict, timeout=timeout, files=files, progress=progress,
                     wait_for_workers=wait_for_workers, batch_size=batch_size)


def _is_draws(source) -> bool:
    """A user's own table of draws: one column per parameter, no "distribution"."""
    if isinstance(source, pd.DataFrame):
        columns = [str(c).strip().lower() for c in source.columns]
    else:
        with open(source, encoding="utf-8-sig") as f:
            columns = [c.strip().lower() for c in f.readline().split(",")]
    return "distribution" not in columns


def _read_draws(source) -> pd.DataFrame:
    table = source.copy() if isinstance(source, pd.DataFrame) else \
        pd.read_csv(source, skipinitialspace=True, float_precision="round_trip")
    table.columns = [str(c).strip() for c in table.columns]
    if table.empty:
        raise StudyError("the table of draws holds no row")
    for column in table.columns:
        bad = pd.to_numeric(table[column], errors="coerce").isna()
        if bad.any():
            row = int(np.flatnonzero(bad.to_numpy())[0]) + 1
            raise StudyError(f'the table of draws, row {row}, column "{column}": {table[column].iloc[row - 1]!r} '
                             "is not a number")
    return table


def run_draws(base_dir, table: pd.DataFrame, out_dir, client=None, outputs="final", executable=None,
              fixed: dict | None = None, strict: bool = False, timeout: float | None = None, files: str = "none",
              progress=True, wait_for_workers: float = 120, batch_size: int | None = None,
              what: str = "draws") -> SampleResult:
    """One run per row of `table` (a column per parameter), and the percentiles."""
    wanted = parse_outputs(outputs)
    fixed = dict(fixed or {})
    names = list(table.columns)
    with Study(base_dir, out_dir, client=client, executable=executable, strict=strict, timeout=timeout,
               files=files, progress=progress, wait_for_workers=wait_for_workers, batch_size=batch_size,
               what=what) as study:
        study.model.check_parameters(names, "the distributions", fixed)
        plan = [study.scenario({**fixed, **row}, name=i + 1) for i, row in enumerate(table.to_dict("records"))]
        answers = study.run(plan, wanted)
        runs = study.runs
    draws = table.copy()
    draws.insert(0, "draw", np.arange(1, len(table) + 1))
    combined = _combine(draws, plan, dict(enumerate(answers)), wanted)
    outputs_columns = [c for c in combined.columns if c not in list(draws.columns) + _STATUS + ["time", "result_time"]]
    done = combined[combined.status == "done"]
    failed = combined[combined.status != "done"].drop_duplicates("draw")[list(draws.columns) + ["status", "error"]]
    pct = percentiles_of(done, outputs_columns, by_time=wanted.series)
    return SampleResult(combined, pct, failed.reset_index(drop=True), len(failed), outputs_columns, names, runs,
                        len({s.directory for s in plan}))
