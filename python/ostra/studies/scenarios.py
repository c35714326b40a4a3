"""The scenarios of a study and their cache.

A scenario is the base model's files with its templates filled for one set
of parameter values. Its inputs digest (of every file it runs with) names
what it computes; a scenario directory under the study's `out_dir` holds a
marker "ostra-scenario.json" with that digest, how the run ended, and the
outputs asked for, so that a study interrupted and started again, or
repeated, runs only what no directory holds yet.

Exports: read_scenarios, BaseModel, Scenario, read_marker, StudyError,
SweepError, SCENARIO_COLUMN.
"""

from __future__ import annotations

import csv
import hashlib
import json
import math
import os
import re
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np
import pandas as pd

from ..files import CONTROL_FILE, find_file, is_result_or_diagnostic
from .templates import TEMPLATE_SUFFIX, Template, TemplateError, find_templates
from .worker import MARKER, OUTPUTS_PREFIX

SCENARIO_COLUMN = "scenario"
_SAFE_NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9._-]*")
_NUMBER = re.compile(r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?")
_INTEGER = re.compile(r"[-+]?\d+")


class StudyError(ValueError):
    """A study that cannot start: its tables, templates or out_dir are wrong."""


class SweepError(StudyError):
    """A sweep that cannot start: its table, templates or out_dir are wrong."""


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


def directory_name(scenario) -> str:
    """The directory of a scenario of the table: its name, or scenario-0001, ..."""
    return f"scenario-{scenario:04d}" if isinstance(scenario, (int, np.integer)) else str(scenario)


@dataclass
class Scenario:
    name: object  # the value of the "scenario" column, or the study's own label
    directory: str
    parameters: dict
    filled: dict[str, bytes]
    digest: str  # of its inputs: the base model's files and the filled ones


def _plain(value):
    return value.item() if isinstance(value, np.generic) else value


class BaseModel:
    """The base model of a study: its files, templates and their markers.

    `files`: the files every scenario copies, relative name -> (content,
    executable); templates, the files they fill, and results and
    diagnostics of earlier runs in the base directory are left out.
    """

    def __init__(self, base_dir: str | os.PathLike, out_dir: str | os.PathLike, error=StudyError):
        self.error = error
        base = self.base = Path(base_dir).absolute()
        out = Path(out_dir).absolute()
        if not base.is_dir():
            raise error(f"base model {base} does not exist or is not a directory")
        if find_file(base, CONTROL_FILE) is None:
            raise error(f'base model {base} holds no "{CONTROL_FILE}"')
        real_base, real_out = base.resolve(), out.resolve()
        if real_out == real_base or real_base in real_out.parents:
            raise error(f"out_dir {out_dir} lies inside the base model {base}; choose a directory outside it")
        try:
            self.templates: list[Template] = find_templates(base)
        except TemplateError as e:
            raise error(str(e)) from None
        if not self.templates:
            raise error(f"the base model {base} holds no template (<file>{TEMPLATE_SUFFIX})")
        self.names: set[str] = set().union(*(t.names for t in self.templates))
        self.files = self._model_files()
        h = hashlib.sha256()
        for name in sorted(self.files):
            h.update(name.encode() + b"\0" + hashlib.sha256(self.files[name][0]).digest())
        self.files_digest = h.digest()

    def _model_files(self) -> dict[str, tuple[bytes, bool]]:
        filled = {t.target.lower() for t in self.templates}
        files = {}
        for root, dirs, names in os.walk(self.base):
            root_path = Path(root)
            dirs[:] = sorted(dirs)
            for name in sorted(names):
                path = root_path / name
                rel = path.relative_to(self.base).as_posix()
                top = root_path == self.base
                if top and (name.lower().endswith(TEMPLATE_SUFFIX) or name.lower() in filled
                            or is_result_or_diagnostic(name) or name == MARKER
                            or name.startswith(OUTPUTS_PREFIX)):
                    continue
                if not path.is_file():
                    continue
                files[rel] = (path.read_bytes(), bool(path.stat().st_mode & 0o100))
        return files

    def check_parameters(self, parameters: list[str], what: str, fixed: dict | None = None) -> None:
        """Every marker needs a value (a parameter of `parameters` or of
        `fixed`), and every parameter a marker."""
        given = set(parameters) | set(fixed or {})
        problems = []
        for t in self.templates:
            for m in t.markers:
                if m.name not in given:
                    problems.append(f'{t.path.name}, line {m.line} names the parameter "{m.name}", '
                                    f"which {what} has no value for")
        for name in list(parameters) + list(fixed or {}):
            if name not in self.names:
                problems.append(f'{what} names the parameter "{name}", which no template uses')
        if problems:
            raise self.error("the templates and the parameters do not match:\n  " + "\n  ".join(problems))

    def scenario(self, name, directory: str | None, values: dict) -> Scenario:
        """The scenario of the parameter values `values`; with `directory`
        None it is named by its inputs digest ("run-<digest>")."""
        values = {k: _plain(v) for k, v in values.items()}
        filled = {t.target: t.fill(values) for t in self.templates}
        h = hashlib.sha256(self.files_digest)
        for rel in sorted(filled):
            h.update(rel.encode() + b"\0" + hashlib.sha256(filled[rel]).digest())
        digest = h.hexdigest()
        return Scenario(name, directory or f"run-{digest[:20]}", values, filled, digest)


def read_marker(out_dir: Path, scenario: Scenario, error=StudyError) -> dict | None:
    """The marker of the scenario's directory, or None when there is none
    (or only a torn one, which a crash of the machine can leave)."""
    path = out_dir / scenario.directory / MARKER
    if not path.is_file():
        return None
    try:
        marker = json.loads(path.read_text())
        marker["inputs_digest"], marker["status"], marker["written"]
    except (ValueError, KeyError, TypeError):
        return None
    if marker["inputs_digest"] != scenario.digest:
        raise error(
            f"{path.parent} holds the results of other inputs (the parameters of scenario {scenario.name} "
            "or the base model have changed since it ran); remove it, or use another out_dir"
        )
    return marker
