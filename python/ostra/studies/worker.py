"""What a worker does with a batch of scenarios: write each into a directory
(its own temporary one, or the scenario's directory on a file system the
client shares), run `ostra` there, extract the outputs asked for, and send
back the answer (and the files the run wrote, when the client keeps them).

Runs wherever the batch is sent: in a Dask worker, or in the client itself
for a serial study. Exports: run_scenarios, run_scenario, write_files,
write_marker, save_outputs, unpack_outputs, MARKER.
"""

from __future__ import annotations

import hashlib
import json
import math
import os
import shutil
import tempfile
import time
from pathlib import Path

import numpy as np
import pandas as pd

from ..results import ResultFileError
from ..runner import RunError, RunTimeout, run
from .outputs import OutputError, Outputs, extract

MARKER = "ostra-scenario.json"
OUTPUTS_PREFIX = "ostra-outputs-"

_EXECUTABLES: dict[str, str] = {}


def _worker_executable(model: dict) -> str:
    """The program sent by the client, saved once per machine (or the
    client's own, when the batch runs where the client is)."""
    if model.get("program_path") and os.access(model["program_path"], os.X_OK) and model.get("local"):
        return model["program_path"]
    digest = model["program_digest"]
    path = _EXECUTABLES.get(digest)
    if path and os.path.exists(path):
        return path
    folder = Path(tempfile.gettempdir()) / f"ostra-program-{os.getuid()}" / digest[:16]
    folder.mkdir(parents=True, exist_ok=True)
    target = folder / "ostra"
    if not (target.is_file() and hashlib.sha256(target.read_bytes()).hexdigest() == digest):
        fd, tmp = tempfile.mkstemp(dir=folder)
        with os.fdopen(fd, "wb") as f:
            f.write(model["program"])
        os.chmod(tmp, 0o755)
        os.replace(tmp, target)
    _EXECUTABLES[digest] = str(target)
    return str(target)


_PACKED_FROM = 1000  # values; fewer travel as the dict itself


class PackedValues:
    """Final values on their way back to the client: the names and one
    array of the values (which Dask sends as it is), instead of a dict of
    tens of thousands of float objects to pickle and unpickle."""

    def __init__(self, outputs: dict[str, float]):
        self.names = tuple(outputs)
        self.values = np.fromiter(outputs.values(), dtype=np.float64, count=len(self.names))


def unpack_outputs(outputs):
    """The outputs as `extract` returned them (the same float bits)."""
    if isinstance(outputs, PackedValues):
        return dict(zip(outputs.names, outputs.values.tolist()))
    return outputs


def write_files(target: Path, files: dict[str, tuple[bytes, bool]]) -> None:
    """Write relative name -> (content, executable) under `target`."""
    for folder in sorted({Path(rel).parent for rel in files} - {Path(".")}):
        (target / folder).mkdir(parents=True, exist_ok=True)
    for rel, (data, executable) in files.items():
        path = target / rel
        path.write_bytes(data)
        if executable:
            path.chmod(0o755)


def _atomic_write(target: Path, name: str, data: bytes) -> None:
    fd, tmp = tempfile.mkstemp(dir=target, prefix=".part-")
    with os.fdopen(fd, "wb") as f:
        f.write(data)
    os.replace(tmp, target / name)


def outputs_key(wanted: Outputs) -> str:
    return hashlib.sha256(repr(wanted).encode()).hexdigest()[:16]


def save_outputs(target: Path, wanted: Outputs, outputs) -> None:
    """Keep the outputs of a run beside its marker, exactly (a dict of
    floats as JSON, whose numbers read back bit for bit; a table as .npz)."""
    key = outputs_key(wanted)
    if isinstance(outputs, pd.DataFrame):
        buffer = _npz(outputs)
        _atomic_write(target, f"{OUTPUTS_PREFIX}{key}.npz", buffer)
    else:
        _atomic_write(target, f"{OUTPUTS_PREFIX}{key}.json", json.dumps(outputs).encode())


def _npz(frame: pd.DataFrame) -> bytes:
    import io

    buffer = io.BytesIO()
    np.savez(buffer, columns=np.array(list(frame.columns), dtype=str), values=frame.to_numpy(dtype=np.float64))
    return buffer.getvalue()


def load_outputs(target: Path, wanted: Outputs):
    """The outputs kept by `save_outputs`, or None."""
    key = outputs_key(wanted)
    try:
        path = target / f"{OUTPUTS_PREFIX}{key}.json"
        if path.is_file():
            return json.loads(path.read_text())
        path = target / f"{OUTPUTS_PREFIX}{key}.npz"
        if path.is_file():
            with np.load(path) as z:
                return pd.DataFrame(z["values"], columns=list(z["columns"]))
    except (ValueError, OSError, KeyError):
        return None  # unreadable after a crash: the run is repeated
    return None


def write_marker(target: Path, record: dict) -> None:
    """The marker says how the run ended; it is written last and renamed
    into place, so it is there whole or not at all."""
    _atomic_write(target, MARKER, json.dumps(record, indent=1).encode())


def run_scenarios(jobs: list[dict], model: dict, wanted: Outputs, strict: bool = False,
                  timeout: float | None = None, keep: str = "client") -> list[dict]:
    """`run_scenario` for each job of the batch, one after another."""
    answers = []
    for job in jobs:
        try:
            answers.append(run_scenario(job, model, wanted, strict, timeout, keep))
        except Exception as e:  # this scenario only: the others of the batch still run
            answers.append({"status": "lost", "exit_status": None, "error": f"{type(e).__name__}: {e}",
                            "warnings": "", "wall_time": math.nan, "outputs": None, "written": []})
    return answers


def run_scenario(job: dict, model: dict, wanted: Outputs, strict: bool = False, timeout: float | None = None,
                 keep: str = "client") -> dict:
    """Run one scenario, on whatever machine this is.

    `job` holds "label" (the scenario's directory name, for messages),
    "filled" (relative name -> bytes), and with `keep` "shared" "target",
    the directory to run in and keep, and "record", the marker's fields.
    `model` holds "files" (relative name -> (content, executable)),
    "program" and "program_digest". Returns the status, the outputs asked
    for, and with `keep` "client" the files the run wrote.
    """
    program = _worker_executable(model)
    shared = keep == "shared"
    if shared:
        work = Path(job["target"])
        if work.exists():
            shutil.rmtree(work)
        work.mkdir(parents=True)
    else:
        work = Path(tempfile.mkdtemp(prefix="ostra-scenario-"))
    try:
        write_files(work, model["files"])
        for rel, data in job["filled"].items():
            (work / rel).write_bytes(data)
        answer = {"status": "done", "exit_status": 0, "error": "", "outputs": None, "pid": os.getpid()}
        try:
            result = run(work, executable=program, strict=strict, timeout=timeout)
        except RunTimeout as e:
            result = e.result
            answer.update(status="timeout", exit_status=None, error=str(e))
        except RunError as e:
            result = e.result
            answer.update(status="failed", exit_status=e.status, error=e.error or f"{e.meaning}: {e.detail}")
        answer.update(wall_time=result.wall_time, warnings="; ".join(result.warnings), written=list(result.files))
        if answer["status"] == "done":
            started = time.perf_counter()
            try:
                answer["outputs"] = extract(work, result.files, wanted)
                answer["read_time"] = time.perf_counter() - started
            except (OutputError, ResultFileError, ValueError) as e:
                answer.update(status="output-error", error=str(e))
        if not shared:
            # The directory is gone once the run is over; messages name the scenario's own.
            answer["error"] = answer["error"].replace(str(work), job["label"])
        if keep == "client":
            answer["files"] = {n: (work / n).read_bytes() for n in result.files if (work / n).is_file()}
        if shared:
            finish(work, job["record"], answer, wanted, files_kept=True)
        if isinstance(answer["outputs"], dict) and len(answer["outputs"]) > _PACKED_FROM:
            answer["outputs"] = PackedValues(answer["outputs"])
        return answer
    finally:
        if not shared:
            shutil.rmtree(work, ignore_errors=True)


def finish(target: Path, record: dict, answer: dict, wanted: Outputs, files_kept: bool) -> None:
    """The outputs and the marker of a finished scenario in its directory."""
    if answer["outputs"] is not None:
        save_outputs(target, wanted, answer["outputs"])
    finished = answer["status"] == "output-error"
    marker = dict(record)
    marker.update({
        # Whether the run wrote the outputs a study asks for is decided
        # again from its files by every study that keeps them.
        "status": "done" if finished and files_kept else answer["status"],
        "exit_status": answer["exit_status"],
        "error": "" if finished and files_kept else answer["error"],
        "warnings": answer["warnings"],
        "wall_time": answer["wall_time"],
        "written": answer["written"],
        "files_kept": files_kept,
    })
    write_marker(target, marker)
