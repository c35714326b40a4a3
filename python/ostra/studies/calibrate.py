"""Calibration: the parameters of a base model fitted to observations.

SciPy's `least_squares` (trust-region reflective, within the bounds)
minimizes the sum over the observations of weight x (model - observed)^2.
Every model run is a scenario of the study's cache: the Jacobian's
perturbed runs (one per parameter) go to the cluster together as one batch
per iteration, and a calibration interrupted and started again, or
repeated, repeats no finished run. A run that fails is tried once more;
then a trial point is infeasible (the fit steps back from it: its residuals
are made far larger than any seen) and a Jacobian point is taken on the
other side; each such point is named in the result.

Exports: calibrate, CalibrationResult.
"""

from __future__ import annotations

import math
import os
import time
from dataclasses import dataclass, field

import numpy as np
import pandas as pd

from .outputs import at_observations
from .scenarios import StudyError
from .study import Study
from .tables import read_observations, read_parameters

# Columns of the scaled Jacobian whose singular values fall this far below
# the largest span directions the observations do not determine.
_RANK_TOLERANCE = 1e-7


@dataclass
class CalibrationResult:
    """What a calibration found.

    `values`: parameter name -> fitted value. `table`: per parameter the
    value, initial value, bounds, transform, standard error and whether the
    observations determine it. `residuals`: per observation the model's
    value, the residual (model - observed) and the weighted one.
    `history`: the objective (sum of weighted squared residuals) at every
    accepted iterate. `covariance`, `correlation`, `standard_errors`: from
    the Jacobian at the optimum (in the parameters' own units).
    `undetermined`: the parameters the observations do not determine.
    `failures`: the points whose runs failed (parameters and message).
    `runs`: model runs this call made; `cached_runs`: those taken from
    `out_dir`; `evaluations`: points evaluated in all.
    """

    values: dict
    table: pd.DataFrame
    residuals: pd.DataFrame
    objective: float
    history: pd.DataFrame
    covariance: pd.DataFrame
    correlation: pd.DataFrame
    standard_errors: pd.Series
    undetermined: list
    failures: pd.DataFrame
    runs: int
    cached_runs: int
    evaluations: int
    success: bool
    message: str
    wall_time: float = 0.0
    log: pd.DataFrame = field(default_factory=pd.DataFrame)


class _Problem:
    """The residual function of the fit, evaluated in batches through a Study."""

    def __init__(self, study: Study, parameters: pd.DataFrame, observations: pd.DataFrame, fixed: dict,
                 diff_step: float, ahead: bool):
        self.ahead = ahead
        self.study = study
        self.names = list(parameters.name)
        self.transforms = list(parameters["transform"])
        self.lower = np.array([t.inner(v) for t, v in zip(self.transforms, parameters.lower)], dtype=float)
        self.upper = np.array([t.inner(v) for t, v in zip(self.transforms, parameters.upper)], dtype=float)
        self.observations = observations
        self.sqrt_w = np.sqrt(observations.weight.to_numpy())
        self.observed = observations.value.to_numpy()
        self.wanted = at_observations(observations)
        self.fixed = fixed
        self.diff_step = diff_step
        self.cache: dict[bytes, np.ndarray | None] = {}
        self.failures: list[dict] = []
        self.history: list[tuple[int, float]] = []
        self.log: list[dict] = []
        self.worst = 1.0
        self.cached_runs = 0
        self.batches = 0

    def values_of(self, x: np.ndarray) -> dict:
        return {n: float(t.outer(v)) for n, t, v in zip(self.names, self.transforms, x)}

    def evaluate(self, points: list[np.ndarray], purpose: str | list[str]) -> list[np.ndarray | None]:
        """The residuals at every point (None where its run failed), as one
        batch; `purpose` (one, or one per point) is what the log says."""
        purposes = [purpose] * len(points) if isinstance(purpose, str) else purpose
        keys = [np.asarray(p, dtype=float).tobytes() for p in points]
        todo = [i for i, k in enumerate(keys) if k not in self.cache]
        self.batches += bool(todo)
        if todo:
            scenarios = [self.study.scenario({**self.fixed, **self.values_of(points[i])}) for i in todo]
            answers = self.study.run(scenarios, self.wanted, retries=1)
            for i, s, a in zip(todo, scenarios, answers):
                values = self.values_of(points[i])
                cached = bool(a.get("cached"))
                self.cached_runs += cached
                self.log.append({"batch": self.batches, "purpose": purposes[i], **values, "status": a["status"],
                                 "cached": cached,
                                 "directory": s.directory, "worker": a.get("pid")})
                if a["status"] == "done":
                    model = np.array(a["outputs"]["values"], dtype=float)
                    self.cache[keys[i]] = self.sqrt_w * (model - self.observed)
                else:
                    self.cache[keys[i]] = None
                    self.failures.append({**values, "purpose": purposes[i], "status": a["status"],
                                          "error": a["error"]})
        out = [self.cache[k] for k in keys]
        for r in out:
            if r is not None and r.size:
                self.worst = max(self.worst, float(np.max(np.abs(r))))
        return out

    def _perturbed(self, x: np.ndarray, h: np.ndarray, sign: float = 1.0) -> list[np.ndarray]:
        points = []
        for j in range(len(x)):
            p = x.copy()
            p[j] += sign * h[j]
            points.append(p)
        return points

    def fun(self, x: np.ndarray) -> np.ndarray:
        if self.ahead:
            # The Jacobian's runs at the trial point in the same batch: an
            # accepted step then costs one batch, a refused one wastes them.
            r = self.evaluate([x] + self._perturbed(x, self.steps(x)), ["trial point"] + ["Jacobian"] * len(x))[0]
        else:
            [r] = self.evaluate([x], "trial point")
        if r is None:
            # Infeasible: far worse than any point seen, so the step is refused.
            return np.full(len(self.observed), 1e6 * self.worst)
        return r

    def steps(self, x: np.ndarray) -> np.ndarray:
        h = self.diff_step * np.maximum(np.abs(x), 1e-3 * (self.upper - self.lower))
        # Stay within the bounds: step down where a step up would leave them.
        return np.where(x + h > self.upper, -h, h)

    def jac(self, x: np.ndarray, f: np.ndarray | None = None) -> np.ndarray:
        f0 = self.fun(x) if f is None else f
        self.history.append((len(self.history), float(np.sum(f0 ** 2))))
        h = self.steps(x)
        rs = self.evaluate(self._perturbed(x, h), "Jacobian")
        J = np.zeros((len(f0), len(x)))
        retry = [j for j, r in enumerate(rs) if r is None]
        if retry:
            back = [self._perturbed(x, h, -1.0)[j] for j in retry]
            for j, r in zip(retry, self.evaluate(back, "Jacobian, other side")):
                if r is not None:
                    J[:, j] = (f0 - r) / h[j]
        for j, r in enumerate(rs):
            if r is not None:
                J[:, j] = (r - f0) / h[j]
        return J


def calibrate(base_dir, parameters, observations, out_dir, client=None, executable=None, fixed: dict | None = None,
              strict: bool = False, timeout: float | None = None, files: str = "none", diff_step: float = 1e-4,
              max_evaluations: int = 200, xtol: float = 1e-10, ftol: float = 1e-10, gtol: float = 1e-10,
              jacobian_ahead: bool | None = None, progress=False, wait_for_workers: float = 120) -> CalibrationResult:
    """Fit the parameters of the base model's templates to observations.

    `parameters`: a table (DataFrame or CSV) with columns name (the template
    marker's name), initial, lower, upper and optional transform ("none" or
    "log"). `observations`: a table with columns time, state_variable and
    compartment (or equation, in equation-solver mode), value and optional
    weight and group (see `ostra.studies.tables`). `fixed`: values of other
    markers. `diff_step`: the relative step of the finite differences (most
    table values are Singles: a step below about 1E-6 would not change
    them). `client`, `executable`, `strict`, `timeout`, `files` as for
    `ostra.sweep` (`files` defaults to "none": only the outputs of each run
    are kept). Every run is a scenario under `out_dir`, named by its inputs.
    `jacobian_ahead`: send the Jacobian's runs at a trial point together
    with it (one batch per accepted iteration instead of two; the runs of a
    refused step are wasted); by default on a cluster, not with "serial".
    `max_evaluations`: trial points the method may evaluate.
    """
    from scipy.optimize import least_squares

    started = time.perf_counter()
    params = read_parameters(parameters)
    obs = read_observations(observations)
    fixed = dict(fixed or {})
    with Study(base_dir, out_dir, client=client, executable=executable, strict=strict, timeout=timeout,
               files=files, progress=progress, wait_for_workers=wait_for_workers, batch_size="even",
               what="model runs") as study:
        study.model.check_parameters(list(params.name), "the parameter table", fixed)
        ahead = jacobian_ahead if jacobian_ahead is not None else client != "serial"
        problem = _Problem(study, params, obs, fixed, diff_step, ahead)
        x0 = np.array([t.inner(v) for t, v in zip(params["transform"], params["initial"])], dtype=float)
        # The first run shows whether the observations match what the model writes.
        [first] = problem.evaluate([x0], "initial point")
        if first is None:
            failure = problem.failures[-1]
            if failure["status"] == "output-error":
                raise StudyError(f"{obs.attrs['where']}: {failure['error']}")
            raise StudyError(f"the run at the initial values failed ({failure['status']}): {failure['error']}")
        # A point on a bound is moved inside by a hair: the method needs a strictly feasible start.
        inside = np.clip(x0, np.nextafter(problem.lower, np.inf), np.nextafter(problem.upper, -np.inf))
        fit = least_squares(problem.fun, inside, jac=problem.jac, bounds=(problem.lower, problem.upper),
                            method="trf", xtol=xtol, ftol=ftol, gtol=gtol, max_nfev=max_evaluations)
        runs = study.runs
    return _result(problem, params, obs, fit, runs, time.perf_counter() - started)


def _result(problem: _Problem, params: pd.DataFrame, obs: pd.DataFrame, fit, runs: int, wall: float):
    names = problem.names
    values = problem.values_of(fit.x)
    residual = fit.fun / problem.sqrt_w
    m, n = len(fit.fun), len(names)
    objective = float(np.sum(fit.fun ** 2))
    # The Jacobian in the parameters' own units.
    p = np.array([values[k] for k in names])
    inner_per_value = np.array([t.derivative(v) for t, v in zip(problem.transforms, p)])
    J = fit.jac * inner_per_value
    scale = np.where(p != 0, np.abs(p), 1.0)
    U, S, Vt = np.linalg.svd(J * scale, full_matrices=False)
    rank_ok = S > (S[0] if S.size else 0) * _RANK_TOLERANCE
    undetermined = set()
    for k in np.flatnonzero(~rank_ok):
        undetermined |= {names[j] for j in np.flatnonzero(np.abs(Vt[k]) > 0.1)}
    undetermined |= {names[j] for j in range(n) if not np.any(J[:, j])}
    sigma2 = objective / (m - n) if m > n else math.nan
    keep = rank_ok
    inverse = (Vt[keep].T / S[keep] ** 2) @ Vt[keep] if keep.any() else np.zeros((n, n))
    covariance = sigma2 * inverse * np.outer(scale, scale)
    se = np.sqrt(np.clip(np.diag(covariance), 0, None))
    for j, name in enumerate(names):
        if name in undetermined:
            se[j] = math.inf
    with np.errstate(invalid="ignore", divide="ignore"):
        spread = np.sqrt(np.clip(np.diag(inverse), 0, None))
        correlation = inverse / np.outer(spread, spread)
    for j, name in enumerate(names):
        if name in undetermined:
            correlation[j, :] = correlation[:, j] = math.nan
    table = pd.DataFrame({
        "name": names, "value": p, "initial": params["initial"].to_numpy(), "lower": params["lower"].to_numpy(),
        "upper": params["upper"].to_numpy(), "transform": [t.kind for t in params["transform"]],
        "standard_error": se, "determined": [nm not in undetermined for nm in names],
    })
    residuals = obs.copy()
    residuals["model"] = obs.value.to_numpy() + residual
    residuals["residual"] = residual
    residuals["weighted_residual"] = fit.fun
    failures = pd.DataFrame(problem.failures, columns=names + ["purpose", "status", "error"])
    history = pd.DataFrame(problem.history, columns=["iteration", "objective"])
    if history.empty or history.objective.iloc[-1] != objective:
        history.loc[len(history)] = [len(history), objective]
    return CalibrationResult(
        values=values, table=table, residuals=residuals, objective=objective, history=history,
        covariance=pd.DataFrame(covariance, index=names, columns=names),
        correlation=pd.DataFrame(correlation, index=names, columns=names),
        standard_errors=pd.Series(se, index=names), undetermined=sorted(undetermined), failures=failures,
        runs=runs, cached_runs=problem.cached_runs, evaluations=len(problem.cache), success=bool(fit.success),
        message=str(fit.message), wall_time=wall, log=pd.DataFrame(problem.log))
