"""Scenario sweeps: one run of a model per row of a table of parameters,
spread over the workers of a Dask cluster.

How the work is shared: the process that calls `sweep` (the client) reads
the base model, fills the templates of every scenario, and sends each
worker, once, the base model's files and the `ostra` program itself. A
worker runs each scenario in a fresh directory of its own temporary
directory and sends back the files the run wrote and the outputs asked for;
the client writes every scenario's directory under `out_dir`. Workers
therefore need no access to the client's files: only Python with
dask.distributed, pandas and numpy, and a machine that can execute the
client's `ostra` (same architecture and C library). The `ostra` Python
package is sent to workers that cannot import it.
"""

from __future__ import annotations

import asyncio
import csv
import hashlib
import io
import json
import math
import os
import re
import shutil
import stat
import sys
import tempfile
import time
import zipfile
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterable

import numpy as np
import pandas as pd

from .files import CONTROL_FILE, find_file, is_result_or_diagnostic
from .outputs import OutputError, Outputs, extract, parse_outputs
from .readers import ResultFileError
from .runner import RunError, RunTimeout, find_executable, run
from .templates import TEMPLATE_SUFFIX, Template, TemplateError, find_templates

MARKER = "ostra-scenario.json"
SCENARIO_COLUMN = "scenario"
_SAFE_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]*")
_NUMBER = re.compile(r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?")
_INTEGER = re.compile(r"[-+]?\d+")
_STATUS_COLUMNS = ["status", "exit_status", "error", "warnings", "wall_time"]


class SweepError(ValueError):
    """A sweep that cannot start: its table, templates or out_dir are wrong."""


# ---------------------------------------------------------------- scenarios

def read_scenarios(source: pd.DataFrame | str | os.PathLike) -> pd.DataFrame:
    """The scenario table: a DataFrame, or a CSV file with a header line.

    Returns a copy with a first column "scenario" holding each scenario's
    name (the given names, or the numbers 1, 2, ...). CSV cells are trimmed;
    a column whose every cell is a number becomes numeric.
    """
    if isinstance(source, pd.DataFrame):
        table = source.copy()
        where = "the scenario table"
        for k, column in enumerate(table.columns, start=1):
            if not isinstance(column, str) or not column.strip():
                raise SweepError(f"{where}: column {k} has no name (found {column!r})")
        table.columns = [c.strip() for c in table.columns]
        for column in table.columns:
            if column == SCENARIO_COLUMN:
                continue
            for i, value in enumerate(table[column]):
                if value is None or (isinstance(value, float) and math.isnan(value)) or value is pd.NA:
                    raise SweepError(f'{where}: row {i + 1}, column "{column}": no value')
    else:
        table, where = _read_scenario_csv(Path(source))
    duplicated = [c for c in table.columns if list(table.columns).count(c) > 1]
    if duplicated:
        raise SweepError(f'{where}: the column "{duplicated[0]}" appears twice')
    if table.empty:
        raise SweepError(f"{where}: no scenario")
    if SCENARIO_COLUMN in table.columns:
        names = [str(v).strip() for v in table[SCENARIO_COLUMN]]
        for i, name in enumerate(names, start=1):
            if not _SAFE_NAME.fullmatch(name):
                raise SweepError(
                    f'{where}: row {i}, column "{SCENARIO_COLUMN}": "{name}" cannot name a directory; '
                    "use letters, digits, '.', '_' and '-', starting with a letter or digit"
                )
        seen: dict[str, int] = {}
        for i, name in enumerate(names, start=1):
            if name.lower() in seen:
                raise SweepError(f'{where}: rows {seen[name.lower()]} and {i} are both named "{name}"')
            seen[name.lower()] = i
        table[SCENARIO_COLUMN] = names
        table = table[[SCENARIO_COLUMN] + [c for c in table.columns if c != SCENARIO_COLUMN]]
    else:
        table.insert(0, SCENARIO_COLUMN, range(1, len(table) + 1))
    return table.reset_index(drop=True)


def _read_scenario_csv(path: Path) -> tuple[pd.DataFrame, str]:
    where = str(path)
    with open(path, newline="", encoding="utf-8-sig") as f:
        reader = csv.reader(f)
        rows = [(reader.line_num, row) for row in reader]  # the line each row ends on
    rows = [(n, [c.strip() for c in r]) for n, r in rows if any(c.strip() for c in r)]
    if not rows:
        raise SweepError(f"{where}: the file is empty; it needs a header line naming the parameters")
    header_line, header = rows[0]
    for k, name in enumerate(header, start=1):
        if not name:
            raise SweepError(f"{where}, line {header_line}: column {k} of the header has no name")
    columns: dict[str, list[str]] = {name: [] for name in header}
    if len(columns) < len(header):
        twice = next(n for n in header if header.count(n) > 1)
        raise SweepError(f'{where}, line {header_line}: the column "{twice}" appears twice')
    for number, row in rows[1:]:
        if len(row) != len(header):
            raise SweepError(f"{where}, line {number}: {len(row)} fields where the header has {len(header)}")
        for name, cell in zip(header, row):
            if not cell:
                raise SweepError(f'{where}, line {number}, column "{name}": no value')
            columns[name].append(cell)
    data = {}
    for name, cells in columns.items():
        if name != SCENARIO_COLUMN and cells and all(_INTEGER.fullmatch(c) for c in cells):
            data[name] = np.array([int(c) for c in cells], dtype=np.int64)
        elif name != SCENARIO_COLUMN and cells and all(_NUMBER.fullmatch(c) for c in cells):
            data[name] = np.array([float(c) for c in cells], dtype=np.float64)
        else:
            data[name] = cells
    return pd.DataFrame(data, columns=header), where


def _directory_name(scenario) -> str:
    return f"scenario-{scenario:04d}" if isinstance(scenario, (int, np.integer)) else str(scenario)


# ---------------------------------------------------------------- the plan

@dataclass
class _Scenario:
    name: object  # the value of the "scenario" column
    directory: str
    parameters: dict
    filled: dict[str, bytes]
    digest: str


def _model_files(base: Path, templates: list[Template], out_dir: Path) -> dict[str, tuple[bytes, bool]]:
    """The base model's files that every scenario copies: relative name ->
    (content, executable). Templates, the files they fill, and results and
    diagnostics of earlier runs in the base directory are left out."""
    filled = {t.target.lower() for t in templates}
    files = {}
    for root, dirs, names in os.walk(base):
        root_path = Path(root)
        dirs[:] = sorted(dirs)
        for name in sorted(names):
            path = root_path / name
            rel = path.relative_to(base).as_posix()
            top = root_path == base
            if name.lower().endswith(TEMPLATE_SUFFIX) and top:
                continue
            if top and (name.lower() in filled or is_result_or_diagnostic(name) or name == MARKER):
                continue
            if not path.is_file():
                continue
            mode = path.stat().st_mode
            files[rel] = (path.read_bytes(), bool(mode & stat.S_IXUSR))
    return files


def _digest(files: dict[str, tuple[bytes, bool]], filled: dict[str, bytes]) -> str:
    h = hashlib.sha256()
    merged = {name: data for name, (data, _) in files.items()}
    merged.update(filled)
    for name in sorted(merged):
        h.update(name.encode() + b"\0" + hashlib.sha256(merged[name]).digest())
    return h.hexdigest()


def _plan(base: Path, table: pd.DataFrame, out_dir: Path) -> tuple[list[_Scenario], dict, list[Template]]:
    if not base.is_dir():
        raise SweepError(f"base model {base} does not exist or is not a directory")
    if find_file(base, CONTROL_FILE) is None:
        raise SweepError(f'base model {base} holds no "{CONTROL_FILE}"')
    real_base, real_out = base.resolve(), out_dir.resolve()
    if real_out == real_base or real_base in real_out.parents:
        raise SweepError(f"out_dir {out_dir} lies inside the base model {base}; choose a directory outside it")
    try:
        templates = find_templates(base)
    except TemplateError as e:
        raise SweepError(str(e)) from None
    parameters = [c for c in table.columns if c != SCENARIO_COLUMN]

    # Every marker needs a column, every column a marker.
    problems = []
    for t in templates:
        for m in t.markers:
            if m.name not in parameters:
                problems.append(f'{t.path.name}, line {m.line} names the parameter "{m.name}", '
                                "which the scenario table has no column for")
    used = set().union(*(t.names for t in templates)) if templates else set()
    for column in parameters:
        if column not in used:
            problems.append(f'the scenario table\'s column "{column}" is used by no template')
    if not templates:
        problems.append(f"the base model {base} holds no template (<file>{TEMPLATE_SUFFIX})")
    if problems:
        raise SweepError("the templates and the scenario table do not match:\n  " + "\n  ".join(problems))

    files = _model_files(base, templates, out_dir)
    scenarios, errors = [], []
    for row in table.to_dict("records"):
        values = {k: (v.item() if isinstance(v, np.generic) else v) for k, v in row.items()}
        name = values.pop(SCENARIO_COLUMN)
        filled = {}
        for t in templates:
            try:
                filled[t.target] = t.fill(values)
            except TemplateError as e:
                errors.append(f"scenario {name}: {e}")
        scenarios.append(_Scenario(name, _directory_name(name), values, filled, _digest(files, filled)))
    if errors:
        more = f"\n  ... and {len(errors) - 10} more" if len(errors) > 10 else ""
        raise SweepError("values that cannot be written into the templates:\n  " + "\n  ".join(errors[:10]) + more)
    return scenarios, files, templates


# ---------------------------------------------------------------- on a worker

_EXECUTABLES: dict[str, str] = {}


def _worker_executable(data: bytes, digest: str) -> str:
    """The program sent by the client, saved once per worker machine."""
    path = _EXECUTABLES.get(digest)
    if path and os.path.exists(path):
        return path
    folder = Path(tempfile.gettempdir()) / f"ostra-program-{os.getuid()}" / digest[:16]
    folder.mkdir(parents=True, exist_ok=True)
    target = folder / "ostra"
    if not (target.is_file() and hashlib.sha256(target.read_bytes()).hexdigest() == digest):
        fd, tmp = tempfile.mkstemp(dir=folder)
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(tmp, 0o755)
        os.replace(tmp, target)
    _EXECUTABLES[digest] = str(target)
    return str(target)


def run_scenarios(jobs: list[tuple[str, dict[str, bytes]]], model: dict, wanted: Outputs,
                  strict: bool = False, timeout: float | None = None) -> list[dict]:
    """`run_scenario` for each (label, filled files) of `jobs`, one after another."""
    answers = []
    for label, filled in jobs:
        try:
            answers.append(run_scenario(label, model, filled, wanted, strict, timeout))
        except Exception as e:  # this scenario only: the others of the batch still run
            answers.append({"status": "lost", "exit_status": None, "error": f"{type(e).__name__}: {e}",
                            "warnings": "", "wall_time": math.nan, "outputs": None})
    return answers


def run_scenario(label: str, model: dict, filled: dict[str, bytes], wanted: Outputs,
                 strict: bool = False, timeout: float | None = None) -> dict:
    """Run one scenario in a directory of its own, on whatever machine this is.

    `label` stands for that directory in messages. `model` holds "files"
    (relative name -> (content, executable)), "program" and
    "program_digest". Returns the status, the files the run wrote, and the
    outputs asked for.
    """
    program = _worker_executable(model["program"], model["program_digest"])
    work = Path(tempfile.mkdtemp(prefix="ostra-scenario-"))
    try:
        _write_files(work, model["files"])
        for rel, data in filled.items():
            (work / rel).write_bytes(data)
        answer = {"status": "done", "exit_status": 0, "error": "", "outputs": None}
        try:
            result = run(work, executable=program, strict=strict, timeout=timeout)
        except RunTimeout as e:
            result = e.result
            answer.update(status="timeout", exit_status=None, error=str(e))
        except RunError as e:
            result = e.result
            answer.update(status="failed", exit_status=e.status, error=e.error or f"{e.meaning}: {e.detail}")
        answer.update(
            wall_time=result.wall_time,
            warnings="; ".join(result.warnings),
            written=list(result.files),
            files={n: (work / n).read_bytes() for n in result.files if (work / n).is_file()},
        )
        if answer["status"] == "done":
            try:
                answer["outputs"] = extract(work, result.files, wanted)
            except (OutputError, ResultFileError) as e:
                answer.update(status="output-error", error=str(e))
        # The directory is gone once the run is over; messages name the scenario's own.
        answer["error"] = answer["error"].replace(str(work), label)
        return answer
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ---------------------------------------------------------------- on the client

def _write_files(target: Path, files: dict[str, tuple[bytes, bool]]) -> None:
    """Write relative name -> (content, executable) under `target`."""
    for folder in sorted({Path(rel).parent for rel in files} - {Path(".")}):
        (target / folder).mkdir(parents=True, exist_ok=True)
    for rel, (data, executable) in files.items():
        path = target / rel
        path.write_bytes(data)
        if executable:
            path.chmod(0o755)


def _write_scenario(out_dir: Path, scenario: _Scenario, files: dict, answer: dict) -> None:
    """The scenario's directory: the model as it ran, the files the run
    wrote, and the marker, written last and atomically."""
    target = out_dir / scenario.directory
    if target.exists():
        shutil.rmtree(target)
    target.mkdir(parents=True)
    _write_files(target, files)
    for rel, data in scenario.filled.items():
        (target / rel).write_bytes(data)
    for rel, data in answer["files"].items():
        (target / rel).write_bytes(data)
    _write_marker(target, scenario, answer)


def _write_marker(target: Path, scenario: _Scenario, answer: dict) -> None:
    # The marker says how the run ended; whether it wrote the outputs a
    # sweep asks for is decided again from its files by every sweep.
    finished = answer["status"] == "output-error"
    marker = {
        "scenario": scenario.name,
        "parameters": scenario.parameters,
        "inputs_digest": scenario.digest,
        "status": "done" if finished else answer["status"],
        "exit_status": answer["exit_status"],
        "error": "" if finished else answer["error"],
        "warnings": answer["warnings"],
        "wall_time": answer["wall_time"],
        "written": answer["written"],
    }
    # Written to a temporary name and renamed: a marker is there whole or
    # not at all, whenever the sweep stops.
    fd, tmp = tempfile.mkstemp(dir=target, prefix=".marker-")
    with os.fdopen(fd, "w") as f:
        json.dump(marker, f, indent=1)
    os.replace(tmp, target / MARKER)


def _read_marker(out_dir: Path, scenario: _Scenario) -> dict | None:
    path = out_dir / scenario.directory / MARKER
    if not path.is_file():
        return None
    try:
        marker = json.loads(path.read_text())
        marker["inputs_digest"], marker["status"], marker["written"]
    except (ValueError, KeyError, TypeError):
        # Only a crash of the machine can leave a renamed marker unreadable
        # (its content may not have reached the disk): run the scenario again.
        return None
    if marker["inputs_digest"] != scenario.digest:
        raise SweepError(
            f"{path.parent} holds the results of other inputs (the parameters of scenario {scenario.name} "
            "or the base model have changed since it ran); remove it, or sweep into another out_dir"
        )
    return marker


def _default_progress(done: int, total: int, failed: int, seconds_left: float | None) -> None:
    left = "" if seconds_left is None or done == total else f", about {_duration(seconds_left)} left"
    bad = f" ({failed} not done)" if failed else ""
    line = f"{done}/{total} scenarios finished{bad}{left}"
    if sys.stderr.isatty():
        print("\r" + line.ljust(60), end="" if done < total else "\n", file=sys.stderr, flush=True)
    else:
        print(line, file=sys.stderr, flush=True)


def _duration(seconds: float) -> str:
    if seconds < 90:
        return f"{seconds:.0f} s"
    if seconds < 5400:
        return f"{seconds / 60:.0f} min"
    return f"{seconds / 3600:.1f} h"


class _Progress:
    """Calls the reporter at most about once a second, and always at the end."""

    def __init__(self, report, total: int, already: int, already_failed: int):
        self.report = report
        self.total = total
        self.done = already
        self.failed = already_failed
        self.start = time.monotonic()
        self.here = 0  # finished in this session
        self.last = 0.0

    def step(self, ok: bool) -> None:
        self.done += 1
        self.here += 1
        self.failed += 0 if ok else 1
        now = time.monotonic()
        if self.report and (now - self.last >= 1.0 or self.done == self.total):
            self.last = now
            rate = self.here / (now - self.start) if now > self.start else None
            left = (self.total - self.done) / rate if rate else None
            self.report(self.done, self.total, self.failed, left)


def _package_zip() -> str:
    """This package as a zip file that a worker can put on its path."""
    root = Path(__file__).resolve().parent
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for path in sorted(root.glob("*.py")):
            z.write(path, f"ostra/{path.name}")
    digest = hashlib.sha256(buffer.getvalue()).hexdigest()[:12]
    folder = Path(tempfile.mkdtemp(prefix="ostra-package-"))
    target = folder / f"ostra_{digest}.zip"
    target.write_bytes(buffer.getvalue())
    return str(target)


def _ensure_package(client) -> None:
    """Make every worker import this very version of the package."""
    from . import __version__

    def probe():  # defined here so that it travels by value, not by import
        try:
            import ostra
        except ImportError:
            return None
        return getattr(ostra, "__version__", "unknown")

    versions = client.run(probe)
    if any(v is None for v in versions.values()):
        from distributed.diagnostics.plugin import UploadFile

        zipped = _package_zip()
        plugin = UploadFile(zipped)  # holds the file's bytes from here on
        shutil.rmtree(Path(zipped).parent, ignore_errors=True)
        client.register_worker_plugin(plugin, name="ostra-package")
        versions = client.run(probe)
    wrong = {w: v for w, v in versions.items() if v != __version__}
    if wrong:
        listed = ", ".join(f"{w} has {v or 'none'}" for w, v in wrong.items())
        raise SweepError(f"workers import another version of the ostra package than {__version__}: {listed}; "
                         "install this version there, or restart those workers")


def local_client(workers: int | None = None):
    """(client, cluster): the local cluster a sweep starts when given no
    client, one single-threaded worker process per core (or `workers`).
    Close both when done."""
    import logging

    import dask
    from distributed import Client, LocalCluster

    try:
        cores = workers or len(os.sched_getaffinity(0))
    except AttributeError:
        cores = os.cpu_count() or 1
    # The workers mostly wait for their runs: sampling their stacks would
    # only take time from the runs.
    with dask.config.set({"distributed.worker.profile.enabled": False}):
        cluster = LocalCluster(n_workers=cores, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
    return Client(cluster), cluster


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
) -> pd.DataFrame:
    """Run the base model once per scenario and collect the outputs.

    `scenarios`: a DataFrame or CSV file, one row per scenario, one column
    per parameter, optionally a column "scenario" naming the rows. The base
    model holds templates "<file>.tpl" (see `ostra.templates`); each
    scenario runs in its own copy, kept as `out_dir`/<name> (or
    scenario-0001, ... for numbered rows) with its filled files and results.

    `client`: a `distributed.Client`, a scheduler address such as
    "tcp://host:8786", or None for a local cluster of one single-threaded
    worker process per core. `outputs`: "final" (default: the last value of
    every equation, columns named as the result file names them, plus
    "result_time"), "mass-balance" (the terms of "MassBalance.csv"), both,
    or "series" / "series:5,6" (the time series of every equation or of
    the given compartments -- equations in equation-solver mode -- as one
    row per scenario and time).

    Returns the parameters, status, exit_status, error, warnings, wall_time
    and outputs of every scenario. A scenario that fails keeps its row with
    status "failed" and the message of "Error.dng"; "timeout",
    "output-error" (the run finished but wrote no such outputs) and "lost"
    (the worker or the task failed) are the other statuses besides "done".
    A scenario whose directory holds a marker from an earlier sweep with
    the same inputs is not run again (with `rerun_failed`, unless it failed).
    `wait_for_workers`: seconds to wait for a first worker to join the
    scheduler before giving up. `batch_size`: scenarios per Dask task
    (default: up to 8, keeping at least four tasks per worker).
    """
    base = Path(base_dir).absolute()
    out = Path(out_dir).absolute()
    wanted = parse_outputs(outputs)
    table = read_scenarios(scenarios)
    plan, files, _ = _plan(base, table, out)
    program = find_executable(executable)
    out.mkdir(parents=True, exist_ok=True)

    answers: dict[int, dict] = {}
    pending = []
    for i, scenario in enumerate(plan):
        marker = _read_marker(out, scenario)
        if marker is None or (rerun_failed and marker["status"] != "done"):
            pending.append(i)
            continue
        answers[i] = _answer_from_marker(out / scenario.directory, marker, wanted)

    report = _default_progress if progress is True else (progress or None)
    reused_failed = sum(a["status"] != "done" for a in answers.values())
    tracker = _Progress(report, len(plan), len(answers), reused_failed)
    if pending:
        own_cluster = None
        if client is None:
            client, own_cluster = local_client()
            own_client = True
        elif isinstance(client, str):
            from distributed import Client

            client = Client(client)
            own_client = True
        else:
            own_client = False
        try:
            _run_pending(client, plan, pending, files, program, wanted, strict, timeout, out, answers, tracker,
                         wait_for_workers, own_cluster is not None, batch_size)
        finally:
            if own_client:
                client.close()
            if own_cluster is not None:
                own_cluster.close()
    elif report:
        report(len(plan), len(plan), reused_failed, 0.0)
    return _combine(table, plan, answers, wanted)


def _run_pending(client, plan, pending, files, program, wanted, strict, timeout, out, answers, tracker, wait, local,
                 batch_size):
    from distributed import as_completed

    try:
        client.wait_for_workers(1, timeout=wait)
    except (TimeoutError, asyncio.TimeoutError):
        hint = ""
        if local:
            hint = ("; the workers of a local cluster are new Python processes that import the main script "
                    'again: call the sweep under `if __name__ == "__main__":`')
        raise SweepError(f"no Dask worker joined the scheduler {client.scheduler.address} within {wait} s{hint}") from None
    _ensure_package(client)
    data = program.read_bytes()
    model = {"files": files, "program": data, "program_digest": hashlib.sha256(data).hexdigest()}
    [shared] = client.scatter([model], broadcast=True, hash=False)
    size = batch_size or _batch_size(len(pending), len(client.scheduler_info()["workers"]))
    futures = {}
    for start in range(0, len(pending), size):
        batch = pending[start:start + size]
        jobs = [(plan[i].directory, plan[i].filled) for i in batch]
        first = plan[batch[0]]
        future = client.submit(run_scenarios, jobs, shared, wanted, strict, timeout,
                               key=f"ostra-{first.directory}-{len(batch)}-{os.urandom(4).hex()}", pure=False)
        futures[future] = batch
    # Creating files can take milliseconds each on a busy disk: the
    # scenarios' directories are written by a few threads, so that the
    # answers keep being collected meanwhile.
    writers = ThreadPoolExecutor(max_workers=4, thread_name_prefix="ostra-write")
    writes = []
    try:
        for future in as_completed(futures):
            batch = futures.pop(future)
            try:
                results = future.result()
            except Exception as e:  # a worker died, or the task itself failed
                lost = {"status": "lost", "exit_status": None, "error": f"{type(e).__name__}: {e}",
                        "warnings": "", "wall_time": math.nan, "outputs": None}
                results = [dict(lost) for _ in batch]
            for i, answer in zip(batch, results):
                if answer["status"] != "lost":
                    writes.append(writers.submit(_write_scenario, out, plan[i], files, answer))
                answers[i] = answer
                tracker.step(answer["status"] == "done")
    finally:
        for future in futures:
            future.cancel()
        del shared
        writers.shutdown(wait=True)
    for write in writes:
        write.result()  # a directory that could not be written is an error of the sweep


def _batch_size(scenarios: int, workers: int) -> int:
    """Scenarios per task: a few together spread the cost of a task over
    them, while every worker still gets at least four tasks to balance the
    load (and a lost worker loses little)."""
    return max(1, min(8, scenarios // (4 * max(1, workers))))


def _answer_from_marker(directory: Path, marker: dict, wanted: Outputs) -> dict:
    answer = {k: marker.get(k) for k in ("status", "exit_status", "error", "warnings", "wall_time")}
    answer["outputs"] = None
    if marker["status"] == "done":
        try:
            answer["outputs"] = extract(directory, marker["written"], wanted)
        except (OutputError, ResultFileError, FileNotFoundError) as e:
            answer.update(status="output-error", error=str(e))
    return answer


def _combine(table: pd.DataFrame, plan: list[_Scenario], answers: dict[int, dict], wanted: Outputs) -> pd.DataFrame:
    rows = []
    for i, scenario in enumerate(plan):
        answer = answers[i]
        head = table.iloc[i].to_dict()
        head.update({c: answer.get(c) for c in _STATUS_COLUMNS})
        outputs = answer.get("outputs")
        if wanted.series:
            if isinstance(outputs, pd.DataFrame) and len(outputs):
                block = outputs.copy()
                for k, v in reversed(list(head.items())):
                    block.insert(0, k, v)
                rows.append(block)
            else:
                rows.append(pd.DataFrame([head]))
        else:
            head.update(outputs or {})
            rows.append(head)
    if wanted.series:
        combined = pd.concat(rows, ignore_index=True, sort=False)
    else:
        combined = pd.DataFrame(rows)
    order = list(table.columns) + _STATUS_COLUMNS
    combined = combined[order + [c for c in combined.columns if c not in order]]
    for column in table.columns:
        combined[column] = combined[column].astype(table[column].dtype)
    combined["exit_status"] = combined["exit_status"].astype("Int64")
    return combined
