"""The one way every study runs its scenarios: the cache of scenario
directories under `out_dir` and the batches sent to an `Executor`.

`Study.run(scenarios, outputs)` returns one answer per scenario: taken from
its directory when a finished run of the same inputs (and the same program)
is there, else run, as one batch, on the cluster. Where a scenario's files
go is the study's `files`:

- "client": the workers send back the files each run wrote and the client
  writes the scenario's directory (small models);
- "shared": the workers run in the scenario's directory under `out_dir`
  themselves, which must be on a file system they all share;
- "none": only the outputs asked for are kept (the directory holds the
  marker and the outputs).

Only outputs travel through the scheduler in the last two. Each answer is
written to disk as its batch finishes, so the client holds the outputs, not
the files.

Exports: Study, progress_printer.
"""

from __future__ import annotations

import hashlib
import shutil
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path
from typing import Callable

from ..results import ResultFileError
from ..runner import find_executable
from .cluster import Executor
from .outputs import OutputError, Outputs, extract
from .scenarios import BaseModel, Scenario, StudyError, read_marker
from .worker import finish, load_outputs, unpack_outputs, write_files

FILES_CHOICES = ("client", "shared", "none")
_NOT_DONE = ("failed", "timeout", "lost")


def progress_printer(what: str = "scenarios") -> Callable[[int, int, int, float | None], None]:
    """A progress reporter printing to standard error."""
    def report(done: int, total: int, failed: int, seconds_left: float | None) -> None:
        left = "" if seconds_left is None or done == total else f", about {_duration(seconds_left)} left"
        bad = f" ({failed} not done)" if failed else ""
        line = f"{done}/{total} {what} finished{bad}{left}"
        if sys.stderr.isatty():
            print("\r" + line.ljust(60), end="" if done < total else "\n", file=sys.stderr, flush=True)
        else:
            print(line, file=sys.stderr, flush=True)
    return report


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
        self.here = 0  # finished in this call
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


def batch_size(scenarios: int, workers: int) -> int:
    """Scenarios per task: a few together spread the cost of a task over
    them, while every worker still gets at least four tasks to balance the
    load (and a lost worker loses little)."""
    return max(1, min(8, scenarios // (4 * max(1, workers))))


class Study:
    """The base model, the cache under `out_dir`, and where runs happen.

    Use as a context manager (or call `close()`): a local cluster it started
    is closed then.
    """

    def __init__(self, base_dir, out_dir, client=None, executable=None, strict: bool = False,
                 timeout: float | None = None, files: str = "client", progress=True,
                 wait_for_workers: float = 120, batch_size: int | None = None, error=StudyError,
                 what: str = "scenarios"):
        if files not in FILES_CHOICES:
            raise error(f'files="{files}": choose "client", "shared" or "none"')
        self.error = error
        self.model = BaseModel(base_dir, out_dir, error)
        self.out = Path(out_dir).absolute()
        self.program = find_executable(executable)
        st = self.program.stat()
        self.program_stamp = [st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns]
        self._program_digest = None
        self.strict, self.timeout, self.files = strict, timeout, files
        self.report = progress_printer(what) if progress is True else (progress or None)
        self.batch_size = batch_size
        self.executor = Executor(client, wait_for_workers)
        self._sent = False
        self.runs = 0  # model runs made (not taken from the cache)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self) -> None:
        self.executor.close()

    @property
    def program_digest(self) -> str:
        if self._program_digest is None:
            self._program_digest = hashlib.sha256(self.program.read_bytes()).hexdigest()
        return self._program_digest

    def _same_program(self, marker: dict) -> bool:
        # The same file unchanged since the marker was written: no need to hash it.
        if marker.get("program_stamp") == self.program_stamp and "program_digest" in marker:
            return True
        return marker.get("program_digest") == self.program_digest

    def scenario(self, values: dict, name=None, directory: str | None = None) -> Scenario:
        return self.model.scenario(name, directory, values)

    def record(self, scenario: Scenario) -> dict:
        return {"scenario": scenario.name, "parameters": scenario.parameters, "inputs_digest": scenario.digest,
                "program_digest": self.program_digest, "program_stamp": self.program_stamp, "strict": self.strict}

    def cached(self, scenario: Scenario, wanted: Outputs, rerun_failed: bool = False) -> dict | None:
        """The answer of the scenario's directory, or None when it must run."""
        marker = read_marker(self.out, scenario, self.error)
        if marker is None or not self._same_program(marker) or marker.get("strict", False) != self.strict:
            return None
        if rerun_failed and marker["status"] != "done":
            return None
        answer = {k: marker.get(k) for k in ("status", "exit_status", "error", "warnings", "wall_time")}
        answer["outputs"] = None
        if marker["status"] == "done":
            directory = self.out / scenario.directory
            outputs = load_outputs(directory, wanted)
            if outputs is None:
                if not marker.get("files_kept", True):
                    return None  # only other outputs were kept: run again
                try:
                    outputs = extract(directory, marker["written"], wanted)
                except (OutputError, ResultFileError, FileNotFoundError, ValueError) as e:
                    answer.update(status="output-error", error=str(e))
            answer["outputs"] = outputs
        elif marker["status"] == "output-error" and not marker.get("files_kept", True):
            return None if load_outputs(self.out / scenario.directory, wanted) is None else answer
        answer["cached"] = True
        return answer

    def run(self, scenarios: list[Scenario], wanted: Outputs, rerun_failed: bool = False,
            retries: int = 0) -> list[dict]:
        """One answer per scenario (status, exit_status, error, warnings,
        wall_time, outputs), from the cache or run as one batch; a run that
        did not finish is tried `retries` more times."""
        answers: list[dict | None] = [self.cached(s, wanted, rerun_failed) for s in scenarios]
        seen: dict[str, int] = {}
        pending = []
        for i, s in enumerate(scenarios):
            if answers[i] is None and s.directory not in seen:
                seen[s.directory] = i
                pending.append(i)
        already = sum(a is not None for a in answers)
        failed = sum(a is not None and a["status"] != "done" for a in answers)
        tracker = _Progress(self.report, already + len(pending), already, failed)
        for attempt in range(retries + 1):
            if not pending:
                break
            self._run(scenarios, pending, wanted, answers, tracker if attempt == 0 else None)
            pending = [i for i in pending if answers[i]["status"] in _NOT_DONE]
        if tracker.report and tracker.here == 0:
            tracker.report(tracker.total, tracker.total, failed, 0.0)
        for i, s in enumerate(scenarios):  # the same inputs twice in one batch
            if answers[i] is None:
                answers[i] = dict(answers[seen[s.directory]])
        return answers

    def _run(self, scenarios: list[Scenario], pending: list[int], wanted: Outputs, answers: list, tracker) -> None:
        if not self._sent:
            self.executor.send_model(self.model.files, self.program)
            self._sent = True
        if self.batch_size == "even":  # one task per worker: the fewest messages
            size = -(-len(pending) // self.executor.workers())
        else:
            size = self.batch_size or batch_size(len(pending), self.executor.workers())
        batches = [pending[k:k + size] for k in range(0, len(pending), size)]
        jobs = [[self._job(scenarios[i]) for i in batch] for batch in batches]
        self.out.mkdir(parents=True, exist_ok=True)
        # Creating files can take milliseconds each on a busy disk: the
        # scenarios' directories are written by a few threads, so that the
        # answers keep being collected meanwhile.
        writers = ThreadPoolExecutor(max_workers=4, thread_name_prefix="ostra-write")
        writes = []
        try:
            for b, results in self.executor.run(jobs, wanted, self.strict, self.timeout, self.files):
                for i, answer in zip(batches[b], results):
                    answer["outputs"] = unpack_outputs(answer["outputs"])
                    self.runs += answer["status"] != "lost"
                    if answer["status"] != "lost" and self.files != "shared":
                        writes.append(writers.submit(self._write, scenarios[i], answer, wanted))
                    answers[i] = answer
                    if tracker is not None:
                        tracker.step(answer["status"] == "done")
        finally:
            writers.shutdown(wait=True)
        for write in writes:
            write.result()  # a directory that could not be written is an error of the study

    def _job(self, scenario: Scenario) -> dict:
        job = {"label": scenario.directory, "filled": scenario.filled}
        if self.files == "shared":
            job.update(target=str(self.out / scenario.directory), record=self.record(scenario))
        return job

    def _write(self, scenario: Scenario, answer: dict, wanted: Outputs) -> None:
        """The scenario's directory: the model as it ran and the files the
        run wrote (files "client"), or only the outputs; the marker last."""
        target = self.out / scenario.directory
        if target.exists():
            shutil.rmtree(target)
        target.mkdir(parents=True)
        files = answer.pop("files", None)
        if self.files == "client":
            write_files(target, self.model.files)
            for rel, data in scenario.filled.items():
                (target / rel).write_bytes(data)
            for rel, data in (files or {}).items():
                (target / rel).write_bytes(data)
        finish(target, self.record(scenario), answer, wanted, files_kept=self.files == "client")
