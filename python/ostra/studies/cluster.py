"""Where a study's runs happen: a Dask cluster (a local one, a scheduler's
address, or a client the caller made) or this very process ("serial").

Every study sends its batches through one `Executor`: it connects once,
makes every worker import this version of the package (sending it as a zip
file where a worker has none), sends each worker the base model and the
`ostra` program once, and returns the answers of a batch's scenarios as
they finish.

Exports: LocalDask, local_client, Executor.
"""

from __future__ import annotations

import asyncio
import hashlib
import io
import logging
import os
import shutil
import tempfile
import time
import zipfile
from pathlib import Path
from typing import Callable, Iterator

from .scenarios import StudyError
from .worker import run_scenarios


class LocalDask:
    """A local Dask cluster and its client; `close()` (or a `with` block)
    closes both. Unpacks as the pair: `client, cluster = local_client()`."""

    def __init__(self, workers: int | None = None):
        import dask
        from distributed import Client, LocalCluster

        try:
            cores = workers or len(os.sched_getaffinity(0))
        except AttributeError:
            cores = os.cpu_count() or 1
        # The workers mostly wait for their runs: sampling their stacks would
        # only take time from the runs.
        with dask.config.set({"distributed.worker.profile.enabled": False}):
            self.cluster = LocalCluster(n_workers=cores, threads_per_worker=1, processes=True,
                                        dashboard_address=None, silence_logs=logging.ERROR)
        self.client = Client(self.cluster)

    def __iter__(self):
        return iter((self.client, self.cluster))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self) -> None:
        self.client.close()
        self.cluster.close()


def local_client(workers: int | None = None) -> LocalDask:
    """The local cluster a study starts when given no client: one
    single-threaded worker process per core (or `workers`). Pass it (or its
    `.client`) as `client=` to several studies; close it when done."""
    return LocalDask(workers)


def _package_zip() -> str:
    """This package as a zip file that a worker can put on its path."""
    root = Path(__file__).resolve().parent.parent
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for path in sorted(root.rglob("*.py")):
            z.write(path, f"ostra/{path.relative_to(root).as_posix()}")
    digest = hashlib.sha256(buffer.getvalue()).hexdigest()[:12]
    folder = Path(tempfile.mkdtemp(prefix="ostra-package-"))
    target = folder / f"ostra_{digest}.zip"
    target.write_bytes(buffer.getvalue())
    return str(target)


def _ensure_package(client) -> None:
    """Make every worker import this very version of the package."""
    from .. import __version__

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
        raise StudyError(f"workers import another version of the ostra package than {__version__}: {listed}; "
                         "install this version there, or restart those workers")


def _lost(error: str) -> dict:
    return {"status": "lost", "exit_status": None, "error": error, "warnings": "", "wall_time": float("nan"),
            "outputs": None, "written": []}


class Executor:
    """Runs batches of scenario jobs, on Dask or ("serial") in this process.

    `client`: a `distributed.Client`, a `LocalDask`, a scheduler address
    ("tcp://host:8786"), None for a local cluster started at the first batch
    and closed by `close()`, or "serial". The connection, the package check
    and the model sent to the workers last until `close()`.
    """

    def __init__(self, client=None, wait_for_workers: float = 120):
        self.target = client
        self.wait = wait_for_workers
        self.client = None
        self._own = None  # what close() closes
        self._shared = None
        self._model = None
        self._count = None  # (workers, when asked)

    @property
    def serial(self) -> bool:
        return isinstance(self.target, str) and self.target == "serial"

    def _connect(self) -> None:
        if self.client is not None or self.serial:
            return
        target, local = self.target, False
        if target is None:
            self._own = LocalDask()
            self.client, local = self._own.client, True
        elif isinstance(target, LocalDask):
            self.client = target.client
        elif isinstance(target, str):
            from distributed import Client

            self.client = self._own = Client(target)
        else:
            self.client = target
        try:
            self.client.wait_for_workers(1, timeout=self.wait)
        except (TimeoutError, asyncio.TimeoutError):
            hint = ""
            if local:
                hint = ("; the workers of a local cluster are new Python processes that import the main script "
                        'again: call the study under `if __name__ == "__main__":`')
            raise StudyError(f"no Dask worker joined the scheduler {self.client.scheduler.address} "
                             f"within {self.wait} s{hint}") from None
        _ensure_package(self.client)

    def workers(self) -> int:
        """The number of workers (asked of the scheduler at most every few seconds)."""
        if self.serial:
            return 1
        self._connect()
        now = time.monotonic()
        if self._count is None or now - self._count[1] > 5:
            self._count = (max(1, len(self.client.scheduler_info()["workers"])), now)
        return self._count[0]

    def send_model(self, files: dict, program: Path) -> None:
        """The base model and the program, sent to the workers once."""
        data = program.read_bytes()
        self._model = {"files": files, "program": data, "program_digest": hashlib.sha256(data).hexdigest(),
                       "program_path": str(program)}
        if self.serial:
            self._model["local"] = True
            return
        self._connect()
        [self._shared] = self.client.scatter([self._model], broadcast=True, hash=False)

    def run(self, batches: list[list[dict]], wanted, strict: bool, timeout: float | None,
            keep: str) -> Iterator[tuple[int, list[dict]]]:
        """(index of the batch, its answers) for every batch, as they finish."""
        if self.serial:
            for i, jobs in enumerate(batches):
                yield i, run_scenarios(jobs, self._model, wanted, strict, timeout, keep)
            return
        from distributed import as_completed

        futures = {}
        for i, jobs in enumerate(batches):
            key = f"ostra-{jobs[0]['label']}-{len(jobs)}-{os.urandom(4).hex()}"
            futures[self.client.submit(run_scenarios, jobs, self._shared, wanted, strict, timeout, keep,
                                       key=key, pure=False)] = i
        try:
            for future in as_completed(futures):
                i = futures.pop(future)
                try:
                    answers = future.result()
                except Exception as e:  # a worker died, or the task itself failed
                    answers = [_lost(f"{type(e).__name__}: {e}") for _ in batches[i]]
                yield i, answers
        finally:
            for future in futures:
                future.cancel()

    def close(self) -> None:
        self._shared = None
        if self._own is not None:
            self._own.close()
        self._own = self.client = None
