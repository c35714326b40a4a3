"""Scenario sweeps: one run of a base model per row of a table of
parameters, through the study machinery (`study.Study`: the scenario cache
and the batches on a Dask cluster).

Exports: sweep, read_scenarios, SweepError.
"""

from __future__ import annotations

import os
from typing import Callable, Iterable

import numpy as np
import pandas as pd

from .outputs import Outputs, parse_outputs
from .scenarios import SCENARIO_COLUMN, Scenario, SweepError, directory_name, read_scenarios
from .study import Study
from .templates import TemplateError

_STATUS_COLUMNS = ["status", "exit_status", "error", "warnings", "wall_time"]

__all__ = ["SweepError", "read_scenarios", "sweep"]


def sweep(
    base_dir: str | os.PathLike,
    scenarios: pd.DataFrame | str | os.PathLike,
    out_dir: str | os.PathLike,
    client=None,
    outputs: str | Iterable[str] = "final",
    executable: str | os.PathLike | None = None,
    strict: bool = False,
    timeout: float | None = None,
    progress: bool | Callable[[int, int, int, float | None], None] = True,
    rerun_failed: bool = False,
    wait_for_workers: float = 120,
    batch_size: int | None = None,
    files: str = "client",
) -> pd.DataFrame:
    """Run the base model once per scenario and collect the outputs.

    `scenarios`: a DataFrame or CSV file, one row per scenario, one column
    per parameter, optionally a column "scenario" naming the rows. The base
    model holds templates "<file>.tpl" (see `ostra.studies.templates`); each
    scenario has its directory `out_dir`/<name> (scenario-0001, ... for
    numbered rows).

    `client`: a `distributed.Client`, the object of `ostra.local_client()`,
    a scheduler address such as "tcp://host:8786", None for a local cluster
    of one single-threaded worker process per core, or "serial" (one run
    after another in this process). `outputs`: "final" (default: the last
    value of every equation, columns named as the result file names them,
    plus "result_time"), "mass-balance" (the terms of "MassBalance.csv"),
    both, or "series" / "series:5,6" (the time series of every equation or
    of the given compartments -- equations in equation-solver mode -- as one
    row per scenario and time). `files`: where each scenario's files go:
    "client" (sent back and written by this process), "shared" (written
    by the workers into `out_dir`, which they must all see), "none" (only
    the outputs are kept).

    Returns the parameters, status, exit_status, error, warnings, wall_time
    and outputs of every scenario. A scenario that fails keeps its row with
    status "failed" and the message of "Error.dng"; "timeout",
    "output-error" (the run finished but wrote no such outputs) and "lost"
    (the worker or the task failed) are the other statuses besides "done".
    A scenario whose directory holds a marker from an earlier study with
    the same inputs is not run again (with `rerun_failed`, unless it failed).
    `wait_for_workers`: seconds to wait for a first worker to join the
    scheduler before giving up. `batch_size`: scenarios per Dask task
    (default: up to 8, keeping at least four tasks per worker).
    """
    wanted = parse_outputs(outputs)
    table = read_scenarios(scenarios)
    with Study(base_dir, out_dir, client=client, executable=executable, strict=strict, timeout=timeout,
               files=files, progress=progress, wait_for_workers=wait_for_workers, batch_size=batch_size,
               error=SweepError) as study:
        parameters = [c for c in table.columns if c != SCENARIO_COLUMN]
        study.model.check_parameters(parameters, "the scenario table")
        plan, errors = [], []
        for row in table.to_dict("records"):
            name = row.pop(SCENARIO_COLUMN)
            try:
                plan.append(study.scenario(row, name, directory_name(name)))
            except TemplateError as e:
                errors.append(f"scenario {name}: {e}")
        if errors:
            more = f"\n  ... and {len(errors) - 10} more" if len(errors) > 10 else ""
            raise SweepError("values that cannot be written into the templates:\n  " + "\n  ".join(errors[:10]) + more)
        answers = study.run(plan, wanted, rerun_failed=rerun_failed)
    return _combine(table, plan, dict(enumerate(answers)), wanted)


def _combine(table: pd.DataFrame, plan: list[Scenario], answers: dict[int, dict], wanted: Outputs) -> pd.DataFrame:
    status = pd.DataFrame([{c: answers[i].get(c) for c in _STATUS_COLUMNS} for i in range(len(plan))])
    if wanted.series:
        rows = []
        for i in range(len(plan)):
            head = {**table.iloc[i].to_dict(), **status.iloc[i].to_dict()}
            outputs = answers[i].get("outputs")
            if isinstance(outputs, pd.DataFrame) and len(outputs):
                block = outputs.copy()
                for k, v in reversed(list(head.items())):
                    block.insert(0, k, v)
                rows.append(block)
            else:
                rows.append(pd.DataFrame([head]))
        combined = pd.concat(rows, ignore_index=True, sort=False)
    else:
        # One column per output, in the order of the first scenario that has
        # them; built as columns, not rows (a model may have 30,000 outputs).
        names: dict[str, None] = {}
        for i in range(len(plan)):
            for name in answers[i].get("outputs") or {}:
                names.setdefault(name)
        values = np.full((len(plan), len(names)), np.nan)
        index = {name: k for k, name in enumerate(names)}
        for i in range(len(plan)):
            outputs = answers[i].get("outputs") or {}
            if list(outputs) == list(names):
                values[i] = list(outputs.values())
            else:
                for name, v in outputs.items():
                    values[i, index[name]] = v
        combined = pd.concat([table.reset_index(drop=True), status,
                              pd.DataFrame(values, columns=list(names))], axis=1)
    order = list(table.columns) + _STATUS_COLUMNS
    combined = combined[order + [c for c in combined.columns if c not in order]]
    for column in table.columns:
        combined[column] = combined[column].astype(table[column].dtype)
    combined["exit_status"] = combined["exit_status"].astype("Int64")
    return combined
