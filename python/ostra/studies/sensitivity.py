"""Sensitivity: which parameters move which outputs, over the ranges given.

Two methods, both on the parameters' ranges mapped to the unit interval
(through their logarithm where the transform is "log"):

- "morris": elementary effects along `trajectories` one-at-a-time paths
  through a grid of `levels` levels; per parameter and output the mean of
  the absolute effects (mu_star, the ranking), their mean (mu) and spread
  (sigma: interaction or nonlinearity). trajectories x (parameters + 1)
  runs.
- "src": standardized regression coefficients of each output on the
  parameters over a Latin-hypercube sample of `n` runs (default 4 x
  (parameters + 1)), with the R^2 of the regression, which says how far a
  linear ranking can be trusted.

Exports: sensitivity, SensitivityResult.
"""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import pandas as pd

from .sample import draw_unit, run_draws
from .scenarios import StudyError
from .tables import read_parameters


@dataclass
class SensitivityResult:
    """`table`: one row per output and parameter with the measures of the
    method (mu_star, mu, sigma for "morris"; src, abs_src and r2 for "src")
    and the parameter's rank for that output (1 = most influential).
    `ranking`: the parameters ordered by their measure averaged over the
    outputs (each output's measures scaled by its largest). `runs`: model
    runs made; `failed`: runs that did not finish."""

    method: str
    table: pd.DataFrame
    ranking: pd.DataFrame
    runs: int
    failed: pd.DataFrame
    model_runs: int = 0


def _values(params: pd.DataFrame, unit: np.ndarray) -> pd.DataFrame:
    columns = {}
    for j, row in enumerate(params.itertuples()):
        lo, hi = row.transform.inner(row.lower), row.transform.inner(row.upper)
        columns[row.name] = row.transform.outer(lo + unit[:, j] * (hi - lo))
    return pd.DataFrame(columns)


def _morris_paths(k: int, r: int, levels: int, rng) -> tuple[np.ndarray, list]:
    """r paths of k + 1 points in the unit cube; each step moves one
    parameter by +-delta. Returns the points and per step (path, parameter,
    signed delta)."""
    delta = levels / (2 * (levels - 1))
    grid = np.arange(levels) / (levels - 1)
    points, steps = [], []
    for path in range(r):
        x = rng.choice(grid, size=k)
        points.append(x.copy())
        for j in rng.permutation(k):
            d = delta if x[j] + delta <= 1 + 1e-12 else -delta
            x[j] = min(max(x[j] + d, 0.0), 1.0)
            points.append(x.copy())
            steps.append((path, int(j), d))
    return np.array(points), steps


def sensitivity(base_dir, parameters, out_dir, method: str = "morris", trajectories: int = 10, levels: int = 4,
                n: int | None = None, outputs="final", client=None, seed=None, executable=None,
                fixed: dict | None = None, strict: bool = False, timeout: float | None = None,
                files: str = "none", progress=True, wait_for_workers: float = 120) -> SensitivityResult:
    """Rank the parameters (a table with columns name, lower, upper and
    optional transform) by their effect on every output (as for
    `ostra.sweep`; "final" by default)."""
    params = read_parameters(parameters, need_initial=False)
    k = len(params)
    rng = np.random.default_rng(seed)
    if method == "morris":
        if levels < 2 or trajectories < 2:
            raise StudyError("Morris screening needs at least 2 levels and 2 trajectories")
        unit, steps = _morris_paths(k, trajectories, levels, rng)
    elif method == "src":
        n = n or 4 * (k + 1)
        if n < k + 2:
            raise StudyError(f"a regression on {k} parameters needs more than {k + 1} runs, not {n}")
        unit = draw_unit(k, n, "lhs", rng)
    else:
        raise StudyError(f'method "{method}": choose "morris" or "src"')
    result = run_draws(base_dir, _values(params, unit), out_dir, client=client, outputs=outputs,
                       executable=executable, fixed=fixed, strict=strict, timeout=timeout, files=files,
                       progress=progress, wait_for_workers=wait_for_workers, what="model runs")
    draws = result.draws
    if "time" in draws.columns:
        raise StudyError('sensitivity ranks single values per run: ask for "final" or "mass-balance" outputs')
    y = draws[result.outputs].to_numpy(dtype=float)
    ok = (draws.status == "done").to_numpy()
    names = list(params.name)
    rows = []
    if method == "morris":
        effects = {(o, j): [] for o in range(len(result.outputs)) for j in range(k)}
        for s, (path, j, d) in enumerate(steps):
            a, b = path * (k + 1) + s % k, path * (k + 1) + s % k + 1
            if ok[a] and ok[b]:
                for o in range(len(result.outputs)):
                    effects[(o, j)].append((y[b, o] - y[a, o]) / d)
        for o, output in enumerate(result.outputs):
            for j, name in enumerate(names):
                e = np.array(effects[(o, j)])
                rows.append({"output": output, "parameter": name, "mu_star": np.mean(np.abs(e)) if e.size else np.nan,
                             "mu": np.mean(e) if e.size else np.nan,
                             "sigma": np.std(e, ddof=1) if e.size > 1 else np.nan, "effects": int(e.size)})
        measure = "mu_star"
    else:
        X = unit[ok]
        Xs = (X - X.mean(axis=0)) / np.where(X.std(axis=0) > 0, X.std(axis=0), 1)
        for o, output in enumerate(result.outputs):
            v = y[ok, o]
            sd = v.std()
            if sd == 0:
                beta, r2 = np.zeros(k), np.nan
            else:
                vs = (v - v.mean()) / sd
                beta = np.linalg.lstsq(np.column_stack([np.ones(len(vs)), Xs]), vs, rcond=None)[0][1:]
                r2 = 1 - np.sum((vs - Xs @ beta) ** 2) / np.sum(vs ** 2)
            for j, name in enumerate(names):
                rows.append({"output": output, "parameter": name, "src": beta[j], "abs_src": abs(beta[j]), "r2": r2})
        measure = "abs_src"
    table = pd.DataFrame(rows)
    table["rank"] = table.groupby("output")[measure].rank(ascending=False, method="min")
    largest = table.groupby("output")[measure].transform("max").replace(0, np.nan)
    scaled = (table[measure] / largest).fillna(0.0)
    ranking = (table.assign(scaled=scaled).groupby("parameter", sort=False)["scaled"].mean()
               .sort_values(ascending=False).rename("relative_effect").reset_index())
    return SensitivityResult(method, table, ranking, result.runs, result.failed, result.model_runs)
