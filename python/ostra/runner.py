"""Running the `ostra` program on a model directory."""

from __future__ import annotations

import hashlib
import os
import shutil
import signal
import stat
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

from .files import ERROR_FILE, is_result_or_diagnostic

# What each exit status of the program means.
EXIT_MEANINGS = {
    0: "the run finished (\"Done!\")",
    1: "fatal data error",
    2: "the set-up stopped at a scheme or mode conflict",
    3: "Newton iteration gave up after all randomizing cycles",
    4: "the positivity criterion was violated and not accepted",
    5: "the run finished but gave warnings about its results (--strict)",
    64: "bad command line, or not a model directory",
    75: "another run is going in the model directory; nothing was touched",
}

# A result or diagnostic file changed this recently before a run may be
# rewritten by it within one tick of a coarse file-system clock (FAT keeps
# two seconds) without any change of its stamp; its content is compared
# instead.
_FRESH_NS = 2_000_000_000

_REPO_ROOT = Path(__file__).resolve().parent.parent.parent


class ExecutableNotFound(FileNotFoundError):
    """No usable `ostra` program was found."""


class RunError(RuntimeError):
    """A run of `ostra` that did not end with "Done!".

    Attributes: `status` (the exit status, None after a time limit),
    `meaning` (what the status means), `error` (the message of "Error.dng"
    when this run wrote one, else None), `detail` (the last lines the program
    printed, for ends without "Error.dng"), `model_dir`, and `result`, the
    `RunResult` with the files the run wrote and its warnings.
    """

    def __init__(self, result: "RunResult", meaning: str, error: str | None, detail: str):
        self.result = result
        self.status = result.status
        self.meaning = meaning
        self.error = error
        self.detail = detail
        self.model_dir = result.model_dir
        status = "no exit status" if self.status is None else f"exit status {self.status}"
        text = f"ostra run in {result.model_dir} ended with {status} ({meaning})"
        if error:
            text += f": {error}"
        elif detail:
            text += f": {detail}"
        super().__init__(text)


class RunTimeout(RunError):
    """A run stopped because it exceeded its time limit."""


@dataclass(frozen=True)
class RunResult:
    """What one run of `ostra` did.

    `files` are the names of the files the run created or changed, `removed`
    those it deleted (old ".dng" files); `warnings` are the texts of the
    "Warning: " lines it printed, without that prefix.
    """

    model_dir: Path
    status: int | None
    wall_time: float
    files: tuple[str, ...]
    removed: tuple[str, ...]
    warnings: tuple[str, ...]
    stdout: str
    stderr: str
    executable: Path
    command: tuple[str, ...] = field(default=())
    # name -> (device, inode, size, modification and status-change time in
    # ns) of every file of `files` when the run ended.
    stamps: tuple[tuple[str, tuple[int, int, int, int, int]], ...] = field(default=())

    @property
    def ok(self) -> bool:
        return self.status == 0

    def stamp(self, name: str) -> tuple[int, int, int, int, int] | None:
        """The identity, size and times the file `name` had when the run ended."""
        lower = name.lower()
        return next((s for n, s in self.stamps if n.lower() == lower), None)

    def wrote(self, name: str) -> bool:
        """True if the run created or changed the file `name` (any letter case)."""
        lower = name.lower()
        return any(f.lower() == lower for f in self.files)


def find_executable(executable: str | os.PathLike | None = None) -> Path:
    """The `ostra` program to run.

    In this order: `executable` when given; the OSTRA_EXE environment
    variable; `build/ostra` of the repository this package sits in; `ostra`
    on the PATH.
    """
    if executable is not None:
        return _checked_executable(Path(executable), "the executable given")
    env = os.environ.get("OSTRA_EXE")
    if env:
        return _checked_executable(Path(env), "OSTRA_EXE")
    in_repo = _REPO_ROOT / "build" / "ostra"
    checkout = (_REPO_ROOT / "python" / "ostra").is_dir()
    if checkout and in_repo.is_file() and os.access(in_repo, os.X_OK):
        return in_repo
    on_path = shutil.which("ostra")
    if on_path:
        return Path(on_path)
    repo = f"{in_repo} does not exist" if checkout else "the package is not in a repository checkout"
    raise ExecutableNotFound(
        "no ostra program found; looked, in this order, for: the executable given (none), the OSTRA_EXE "
        f"environment variable (not set), the repository's build/ostra ({repo}), `ostra` on the PATH (none)"
    )


def _checked_executable(path: Path, origin: str) -> Path:
    if not path.is_file():
        raise ExecutableNotFound(f"{origin} names the ostra program {path}, which does not exist")
    if not os.access(path, os.X_OK):
        raise ExecutableNotFound(f"{origin} names the ostra program {path}, which is not executable")
    return path.absolute()


def file_stamp(path: str | os.PathLike) -> tuple[int, int, int, int, int] | None:
    """Identity, size and times of a file (device, inode, size, modification
    and status-change time in ns), or None when it is gone."""
    try:
        st = os.stat(path)
    except FileNotFoundError:
        return None
    return (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)


def _snapshot(directory: Path) -> dict[str, tuple[int, int, int, int, int]]:
    """Identity, size and times of every regular file of `directory`."""
    entries = {}
    with os.scandir(directory) as it:
        for entry in it:
            try:
                st = entry.stat(follow_symlinks=False)
            except FileNotFoundError:
                continue
            if stat.S_ISREG(st.st_mode):
                entries[entry.name] = (st.st_dev, st.st_ino, st.st_size, st.st_mtime_ns, st.st_ctime_ns)
    return entries


def _digest(path: Path) -> bytes | None:
    h = hashlib.blake2b()
    try:
        with open(path, "rb") as f:
            while block := f.read(1 << 20):
                h.update(block)
    except FileNotFoundError:
        return None
    return h.digest()


def _fresh_contents(directory: Path, before: dict[str, tuple[int, int, int, int, int]]) -> dict[str, bytes]:
    """Digests of the result and diagnostic files so recently changed that
    the run could rewrite them without changing their stamp."""
    now = time.time_ns()
    return {name: d for name, v in before.items()
            if is_result_or_diagnostic(name) and max(v[3], v[4]) > now - _FRESH_NS
            and (d := _digest(directory / name)) is not None}


def _first_line(path: Path) -> str:
    with open(path, "rb") as f:
        line = f.readline()
    return line.decode("latin-1").rstrip("\r\n")


def _error_message(line: str) -> str:
    """The message of an "Error.dng" line, without its "Error:" prefix."""
    if line.startswith("Error:"):
        return line[len("Error:"):].strip()
    return line.strip()


def _tail(text: str, lines: int = 3) -> str:
    kept = [ln.strip() for ln in text.splitlines() if ln.strip() and not ln.startswith("Warning: ")]
    return " | ".join(kept[-lines:])


def _record_time_limit(directory: Path, written: list[str], timeout: float) -> None:
    """Leave "Error.dng" for a run stopped after its time limit that wrote
    none, so that the directory tells readers its results are not complete
    (every ".dng" file belongs to the latest run)."""
    if not any(n.lower() == ERROR_FILE.lower() for n in written):
        message = f"the run was stopped by ostra.run after its time limit of {timeout} s"
        with open(directory / ERROR_FILE, "wb") as f:
            f.write(f"Error:  {message}\r\n".encode("ascii"))
        written.append(ERROR_FILE)


def run(
    model_dir: str | os.PathLike,
    executable: str | os.PathLike | None = None,
    strict: bool = False,
    timeout: float | None = None,
    check: bool = False,
) -> RunResult:
    """Run `ostra` once in `model_dir` and return what the run did
    (`check`: `ostra --check`, which stops before the first step).

    Raises `RunError` when the run does not end with "Done!" (with `strict`,
    also when it finished with warnings), `RunTimeout` when it takes longer
    than `timeout` seconds (it is then stopped together with its companion
    programs, and "Error.dng" says so unless the run wrote one).
    """
    model_dir = Path(model_dir).absolute()
    if not model_dir.is_dir():
        raise NotADirectoryError(f"model directory {model_dir} does not exist or is not a directory")
    exe = find_executable(executable)
    command = [str(exe)]
    if strict:
        command.append("--strict")
    if check:
        command.append("--check")
    command += ["--", str(model_dir)]

    before = _snapshot(model_dir)
    fresh = _fresh_contents(model_dir, before)
    start = time.perf_counter()
    proc = subprocess.Popen(
        command,
        stdin=subprocess.DEVNULL,  # the positivity prompt gets the end of input: stop
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        start_new_session=True,  # companion programs are stopped together with the run
    )
    timed_out = False
    try:
        out, err = proc.communicate(timeout=timeout)
    except BaseException as exc:
        _kill_group(proc)
        out, err = proc.communicate()
        if not isinstance(exc, subprocess.TimeoutExpired):
            raise
        timed_out = True
    wall = time.perf_counter() - start
    after = _snapshot(model_dir)

    written = sorted(name for name, state in after.items()
                     if before.get(name) != state or (name in fresh and _digest(model_dir / name) != fresh[name]))
    removed = sorted(name for name in before if name not in after)
    stdout = out.decode("utf-8", "replace")
    stderr = err.decode("utf-8", "replace")
    warnings = tuple(
        line[len("Warning: "):].strip() for line in stderr.splitlines() if line.startswith("Warning: ")
    )
    if timed_out:
        _record_time_limit(model_dir, written, timeout)
        written.sort()
    result = RunResult(
        model_dir=model_dir,
        status=None if timed_out else proc.returncode,
        wall_time=wall,
        files=tuple(written),
        removed=tuple(removed),
        warnings=warnings,
        stdout=stdout,
        stderr=stderr,
        executable=exe,
        command=tuple(command),
        stamps=tuple((n, s) for n in written if (s := file_stamp(model_dir / n)) is not None),
    )
    if timed_out:
        raise RunTimeout(result, f"stopped after the time limit of {timeout} s", None, _tail(stdout + stderr))
    if result.status == 0:
        return result

    error = None
    if result.wrote(ERROR_FILE):
        name = next(f for f in written if f.lower() == ERROR_FILE.lower())
        error = _error_message(_first_line(model_dir / name))
    status = result.status
    if status < 0:
        try:
            meaning = f"ended by signal {signal.Signals(-status).name}"
        except ValueError:
            meaning = f"ended by signal {-status}"
    else:
        meaning = EXIT_MEANINGS.get(status, "an exit status ostra does not document")
    if status == 5 and warnings:
        detail = "warnings: " + "; ".join(warnings)
    else:
        detail = _tail(stderr) or _tail(stdout)
    raise RunError(result, meaning, error, detail)


def _kill_group(proc: subprocess.Popen) -> None:
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except (ProcessLookupError, PermissionError):
        proc.kill()
