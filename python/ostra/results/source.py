"""Which file a reader reads, and whether it may: the errors of the readers,
the file of a directory, path or run, and the refusals of results of a run
that ended early or of a file a given run did not write.

Exports: ResultFileError, IncompleteResultError, StaleResultError,
resolve, latest_run_error.
"""

from __future__ import annotations

import os
from pathlib import Path

from ..files import ERROR_FILE, find_file
from ..runner import RunResult, file_stamp


class ResultFileError(ValueError):
    """A result file that cannot be read as ostra writes it."""

    def __init__(self, path: Path, message: str, line: int | str | None = None, field: str | None = None):
        self.path = Path(path)
        self.line = line
        self.field = field
        where = f'"{self.path}"' + ("" if line is None else ", last line" if line == "last" else f", line {line}")
        where += f", field {field}" if field is not None else ""
        super().__init__(f"{where}: {message}")


class IncompleteResultError(ResultFileError):
    """Results of a run that ended early (read them with `partial=True`)."""


class StaleResultError(ResultFileError):
    """A result file that the given run did not write, or that changed since."""


def _first_line(path: Path) -> str:
    with open(path, "rb") as f:
        line = f.readline(4096)
    return line.decode("latin-1").rstrip("\r\n").strip()


def latest_run_error(directory: str | os.PathLike) -> str | None:
    """The first line of "Error.dng" in `directory`, or None when there is
    none (every ".dng" file belongs to the latest run, so its presence says
    that run ended with a data error)."""
    found = find_file(directory, ERROR_FILE)
    if found is None:
        return None
    return _first_line(found) or "(an empty Error.dng)"


def _refuse_failed(path: Path, directory: Path, result: RunResult | None) -> None:
    if result is not None and result.status not in (0, 5):
        why = None
        if result.wrote(ERROR_FILE):
            why = latest_run_error(result.model_dir)
        if why is None:
            status = "no exit status (stopped after its time limit)" if result.status is None \
                else f"exit status {result.status}"
            why = f"the run ended with {status}"
        raise IncompleteResultError(path, f'the run that wrote it ended early ("{why}"); '
                                          "its results are not complete (read them with partial=True)")
    if result is None:
        why = latest_run_error(directory)
        if why is not None:
            raise IncompleteResultError(path, f'the latest run in {directory} ended early ("{why}" in '
                                              f'"{ERROR_FILE}"); its results are not complete '
                                              "(read them with partial=True)")


def resolve(source, name: str, partial: bool = False) -> Path:
    """The file `name` of `source`: a model directory (any letter case), the
    path of the file itself, or a `RunResult`.

    Given a run, a file that run did not write, or that changed after it
    (another run or program rewrote it), is refused with StaleResultError.
    Unless `partial`, results of a run that ended early are refused with
    IncompleteResultError: those of a run that says so, or of a directory
    holding "Error.dng".
    """
    if isinstance(source, RunResult):
        found = find_file(source.model_dir, name)
        if not source.wrote(name):
            if found is None:
                raise FileNotFoundError(f'the run in {source.model_dir} wrote no "{name}"')
            raise StaleResultError(found, "was not written by this run; it is left from an earlier one")
        if found is None:
            raise FileNotFoundError(f'"{name}", written by the run in {source.model_dir}, is no longer there')
        recorded = source.stamp(found.name)
        if recorded is not None and file_stamp(found) != recorded:
            raise StaleResultError(found, "has changed since this run wrote it (a later run or another "
                                          "program rewrote it)")
        if not partial:
            _refuse_failed(found, source.model_dir, source)
        return found
    path = Path(source)
    if path.is_dir():
        found = find_file(path, name)
        if found is None:
            raise FileNotFoundError(f'{path} holds no "{name}"')
        path = found
    elif not path.is_file():
        raise FileNotFoundError(f"{path} does not exist")
    if not partial:
        _refuse_failed(path, path.parent, None)
    return path
