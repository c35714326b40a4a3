"""Shared fixtures: the ostra program, the examples run once per session,
variants of them that exercise other result layouts, and a Dask cluster of
real scheduler and worker processes.

The program is OSTRA_EXE, else OSTRA_BUILD_DIR/ostra, else build/ostra of
this repository; companion programs come from OSTRA_BUILD_DIR (default:
the directory of the program).
"""

from __future__ import annotations

import json
import os
import shutil
import signal
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(REPO / "python"))

import ostra  # noqa: E402

EXAMPLES = REPO / "examples"
EXAMPLE_NAMES = sorted(p.name for p in EXAMPLES.iterdir() if (p / "Control.csv").is_file())


def _program() -> Path:
    if os.environ.get("OSTRA_EXE"):
        return Path(os.environ["OSTRA_EXE"]).absolute()
    if os.environ.get("OSTRA_BUILD_DIR"):
        return Path(os.environ["OSTRA_BUILD_DIR"]).absolute() / "ostra"
    return REPO / "build" / "ostra"


PROGRAM = _program()
BUILD_DIR = Path(os.environ.get("OSTRA_BUILD_DIR") or PROGRAM.parent).absolute()

if not (PROGRAM.is_file() and os.access(PROGRAM, os.X_OK)):
    pytest.exit(f"no ostra program at {PROGRAM}: build it, or set OSTRA_EXE / OSTRA_BUILD_DIR", returncode=4)


def copy_model(example: str, target: Path) -> Path:
    """A copy of an example with the companion programs it names."""
    source = EXAMPLES / example
    shutil.copytree(source, target)
    listing = source / "companions.txt"
    if listing.is_file():
        for line in listing.read_text().splitlines():
            if not line.strip() or line.startswith("#"):
                continue
            folder, name = line.split()
            built = [p for p in (BUILD_DIR / "companions" / folder).iterdir() if p.is_file() and os.access(p, os.X_OK)]
            assert len(built) == 1, f"expected one program in {BUILD_DIR / 'companions' / folder}"
            shutil.copy2(built[0], target / name)
    return target


def set_control(model: Path, pair: int, value: str) -> None:
    """Replace the value line of a "Control.csv" pair (line 2 x pair)."""
    path = model / "Control.csv"
    lines = path.read_text().splitlines()
    lines[2 * pair - 1] = value
    path.write_text("\n".join(lines) + "\n")


def _central_weights(model: Path) -> None:
    path = model / "Interfaces.csv"
    lines = path.read_text().splitlines()
    out = [lines[0]]
    for line in lines[1:]:
        fields = line.split(",")
        rest = fields[1:]
        for i in range(4, len(rest), 5):
            rest[i] = "0.5"
        out.append(",".join([fields[0]] + rest))
    path.write_text("\n".join(out) + "\n")


def _earlier_snapshot(model: Path) -> None:
    """A valid result file, as an earlier run would have left it."""
    (model / "ProfileSnapshot.csv").write_bytes(
        b"TIME,VARIABLE,Compartment,X,Y,Z,CONC\r\n-999 , 1 , 2 , 1000 , 0 , 0 , .5 \r\n")


def _negated_feed(model: Path) -> None:
    (model / "BEqnSolver.csv").write_text("-5\n0\n-1\n")


# name -> (example, changes): variants that write exponent-form numbers,
# negative values, the other result layouts, and early ends.
VARIANTS = {
    "tiny-steps": ("river-network", [(10, "0.0001"), (11, "5")]),
    "negative-feed": ("equation-solver", [(11, "5"), _negated_feed]),
    "one-compartment": ("river-network", [(13, "2"), (15, "5,10")]),
    "snapshot": ("river-network", [(13, "1"), (14, "100")]),
    "unstable": ("river-network", [(9, "1"), (10, "50")]),
    "wiggle": ("river-network-steady", [_central_weights, _earlier_snapshot]),
}


def _prepare(root: Path, name: str) -> Path:
    if name in VARIANTS:
        example, changes = VARIANTS[name]
        model = copy_model(example, root / name)
        for change in changes:
            if callable(change):
                change(model)
            else:
                set_control(model, *change)
    else:
        model = copy_model(name, root / name)
    return model


def _run(model: Path):
    try:
        return ostra.run(model, executable=PROGRAM)
    except ostra.RunError as e:
        return e


@pytest.fixture(scope="session")
def runs(tmp_path_factory):
    """name -> RunResult (or RunError) of every example and variant, run once, two at a time."""
    root = tmp_path_factory.mktemp("runs")
    names = EXAMPLE_NAMES + list(VARIANTS)
    models = [_prepare(root, n) for n in names]
    # The slowest first, so that the two lanes finish together.
    order = sorted(range(len(names)), key=lambda i: names[i] not in ("kinetics", "nonlinear-sorption"))
    with ThreadPoolExecutor(max_workers=2) as pool:
        done = dict(zip([names[i] for i in order], pool.map(_run, [models[i] for i in order])))
    return done


@pytest.fixture
def fresh_model(tmp_path):
    """A factory of fresh copies of an example in this test's directory."""
    def make(example: str, name: str | None = None) -> Path:
        return copy_model(example, tmp_path / (name or example))
    return make


# ---------------------------------------------------------------- Dask

def _free_environment() -> dict:
    """The environment of the worker processes: without this repository on
    the Python path, so the sweep has to ship the package to them."""
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "OSTRA_EXE", "OSTRA_BUILD_DIR")}
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    return env


def _stop(proc: subprocess.Popen) -> None:
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


@pytest.fixture(scope="module")
def dask_cluster(tmp_path_factory):
    """The address of a `dask scheduler` and two `dask worker` processes on
    127.0.0.1, on ports the system picks; each worker has its own directory."""
    root = tmp_path_factory.mktemp("dask")
    scheduler_file = root / "scheduler.json"
    env = _free_environment()
    procs = []
    logs = []

    def start(args, name):
        log = open(root / f"{name}.log", "wb")
        logs.append(log)
        proc = subprocess.Popen([sys.executable, "-m", "dask", *args], cwd=root, env=env,
                                stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        procs.append(proc)
        return proc

    try:
        scheduler = start(["scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                           "--scheduler-file", str(scheduler_file)], "scheduler")
        deadline = time.monotonic() + 60
        while not scheduler_file.is_file():
            if scheduler.poll() is not None or time.monotonic() > deadline:
                pytest.fail("the dask scheduler did not start:\n" + (root / "scheduler.log").read_text())
            time.sleep(0.1)
        time.sleep(0.1)  # the file is written in one go, but give it a moment to be closed
        address = json.loads(scheduler_file.read_text())["address"]
        for k in (1, 2):
            (root / f"worker{k}").mkdir()
            worker_env = dict(env, TMPDIR=str(root / f"worker{k}"))
            log = open(root / f"worker{k}.log", "wb")
            logs.append(log)
            procs.append(subprocess.Popen(
                [sys.executable, "-m", "dask", "worker", address, "--host", "127.0.0.1", "--nthreads", "1",
                 "--nworkers", "1", "--no-dashboard", "--name", f"worker{k}",
                 "--local-directory", str(root / f"worker{k}")],
                cwd=root / f"worker{k}", env=worker_env, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True))
        from distributed import Client

        with Client(address, timeout=30) as client:
            client.wait_for_workers(2, timeout=60)
        yield {"address": address, "root": root}
    finally:
        for proc in reversed(procs):
            _stop(proc)
        for log in logs:
            log.close()
