"""ostra.run: what a run wrote, its errors and exit statuses, stale files,
time limits and the search for the program."""

from __future__ import annotations

import os
import shutil
import subprocess
import time

import pytest

import ostra
from conftest import PROGRAM, REPO, set_control


def test_finished_run_lists_what_it_wrote(runs):
    result = runs["river-network"]
    assert result.status == 0 and result.ok and result.wall_time > 0
    assert set(result.files) == {"AllTimeSeries.csv", "MassBalance.csv"}
    assert result.warnings == ()
    assert "Done!" in result.stdout


def test_second_run_claims_its_rewritten_files(fresh_model):
    model = fresh_model("river-network-steady")
    first = ostra.run(model, executable=PROGRAM)
    second = ostra.run(model, executable=PROGRAM)
    # Same content, same size: still this run's files, and the inputs are not.
    assert (model / "ProfileSnapshot.csv").read_bytes()
    assert set(first.files) == set(second.files) == {"ProfileSnapshot.csv", "A.dng", "B.dng"}


def test_data_error_carries_the_first_line_of_error_dng(fresh_model):
    model = fresh_model("river-network")
    flows = (model / "Flows.csv").read_text().replace("1,3,4,-17280", "1,3,4,1;5")
    (model / "Flows.csv").write_text(flows)
    with pytest.raises(ostra.RunError) as info:
        ostra.run(model, executable=PROGRAM)
    e = info.value
    assert e.status == 1 and e.meaning == "fatal data error"
    first = (model / "Error.dng").read_text().splitlines()[0]
    assert first.startswith("Error:  ") and e.error == first[len("Error:  "):]
    assert 'file "Flows.csv"' in e.error and '"1;5"' in e.error
    assert "Error.dng" in e.result.files
    assert str(e).startswith(f"ostra run in {model} ended with exit status 1 (fatal data error): file")


def test_error_dng_of_an_earlier_run_is_not_this_runs_error(fresh_model):
    model = fresh_model("river-network")
    (model / "Error.dng").write_text("Error:  an old problem\r\n")
    (model / "Control.csv").rename(model / "Control.old")  # now not a model directory: exit 64
    with pytest.raises(ostra.RunError) as info:
        ostra.run(model, executable=PROGRAM)
    assert info.value.status == 64 and info.value.error is None
    assert "old problem" not in str(info.value) and "Control.csv" in str(info.value)
    (model / "Control.old").rename(model / "Control.csv")
    result = ostra.run(model, executable=PROGRAM)  # a run deletes the old diagnostics
    assert "Error.dng" in result.removed and not (model / "Error.dng").exists()


def test_setup_conflict_has_no_error_dng_but_a_message(fresh_model):
    model = fresh_model("equation-solver")
    set_control(model, 9, "2")  # MacCormack in equation-solver mode
    with pytest.raises(ostra.RunError) as info:
        ostra.run(model, executable=PROGRAM)
    assert info.value.status == 2 and info.value.error is None
    assert "MacCormack" in info.value.detail


def test_positivity_prompt_is_answered_with_the_end_of_input(runs):
    e = runs["wiggle"]
    assert isinstance(e, ostra.RunError)
    assert e.status == 4 and e.meaning == "the positivity criterion was violated and not accepted"
    assert "Wiggle.dng" in e.result.files


def test_time_limit_stops_the_run_and_its_companion(fresh_model, tmp_path):
    model = fresh_model("kinetics")
    pid_file = tmp_path / "companion.pid"
    (model / "varn.exe").write_text(f"#!/bin/sh\necho $$ > {pid_file}\nexec sleep 60\n")
    start = time.monotonic()
    with pytest.raises(ostra.RunTimeout) as info:
        ostra.run(model, executable=PROGRAM, timeout=1.5)
    assert time.monotonic() - start < 10
    e = info.value
    assert e.status is None and "time limit of 1.5 s" in str(e)
    pid = int(pid_file.read_text())
    time.sleep(0.2)
    assert not os.path.exists(f"/proc/{pid}") or "zombie" in open(f"/proc/{pid}/status").read().lower()
    # The directory says its latest run ended early; the result files keep their layout.
    assert e.result.wrote("AllTimeSeries.csv") and e.result.wrote("Error.dng")
    assert b"Incomplete" not in (model / "AllTimeSeries.csv").read_bytes()
    for source in (model, e.result):
        with pytest.raises(ostra.IncompleteResultError, match="time limit of 1.5 s"):
            ostra.read_time_series(source)


def test_reader_given_a_run_refuses_a_later_rewrite(fresh_model):
    model = fresh_model("river-network")
    first = ostra.run(model, executable=PROGRAM)
    assert len(ostra.read_time_series(first)) > 0
    second = ostra.run(model, executable=PROGRAM)  # the same bytes, written again at once
    assert second.wrote("AllTimeSeries.csv")
    with pytest.raises(ostra.StaleResultError, match="has changed since this run wrote it"):
        ostra.read_time_series(first)
    assert len(ostra.read_time_series(second)) == len(ostra.read_time_series(model))


@pytest.fixture
def stand_in(tmp_path):
    """A stand-in for the program that prints warnings and exits as told,
    for the statuses the real program reaches only with warnings."""
    def make(status: int, lines: list[str]) -> str:
        script = tmp_path / f"ostra-{status}"
        body = "".join(f"echo '{line}' >&2\n" for line in lines)
        script.write_text(f"#!/bin/sh\necho 'Done!'\n{body}exit {status}\n")
        script.chmod(0o755)
        return str(script)
    return make


def test_warnings_are_collected_and_strict_fails(stand_in, fresh_model):
    model = fresh_model("river-network")
    lines = ["Warning: the flows of compartment 4 do not balance", "something else", "Warning: second"]
    result = ostra.run(model, executable=stand_in(0, lines))
    assert result.warnings == ("the flows of compartment 4 do not balance", "second")
    with pytest.raises(ostra.RunError) as info:
        ostra.run(model, executable=stand_in(5, lines), strict=True)
    assert info.value.status == 5 and "warnings" in info.value.meaning
    assert "do not balance" in str(info.value)
    assert info.value.result.command[1] == "--strict"


def test_finding_the_program(monkeypatch, tmp_path):
    with pytest.raises(ostra.ExecutableNotFound, match="does not exist"):
        ostra.find_executable(tmp_path / "nothing")
    monkeypatch.setenv("OSTRA_EXE", str(tmp_path / "nothing"))
    with pytest.raises(ostra.ExecutableNotFound, match="OSTRA_EXE"):
        ostra.find_executable()
    monkeypatch.setenv("OSTRA_EXE", str(PROGRAM))
    assert ostra.find_executable() == PROGRAM
    monkeypatch.delenv("OSTRA_EXE")
    found = ostra.find_executable()
    assert found == REPO / "build" / "ostra" or found.name == "ostra"
    # Found nowhere: the message gives the order in which it looked.
    monkeypatch.setattr("ostra.runner._REPO_ROOT", tmp_path)
    monkeypatch.setenv("PATH", str(tmp_path))
    with pytest.raises(ostra.ExecutableNotFound) as info:
        ostra.find_executable()
    assert str(info.value).startswith("no ostra program found; looked, in this order, for: the executable "
                                      "given (none), the OSTRA_EXE environment variable (not set), the "
                                      "repository's build/ostra (")
    assert "`ostra` on the PATH (none)" in str(info.value)
    with pytest.raises(NotADirectoryError):
        ostra.run(tmp_path / "missing", executable=PROGRAM)


def test_installs_into_a_virtual_environment(tmp_path):
    source = tmp_path / "source"  # pip leaves build files beside the sources: not in the repository
    shutil.copytree(REPO / "python", source,
                    ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__", ".pytest_cache", "tests"))
    venv = tmp_path / "venv"
    # The system's pip, seen through the system site packages, installs as
    # the venv's own copy would, without the time it takes to make one.
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", "--without-pip", str(venv)], check=True)
    pip = subprocess.run([str(venv / "bin" / "python"), "-m", "pip", "install", "--no-build-isolation", "--no-deps", "--no-index",
                          str(source)], capture_output=True, text=True, cwd=tmp_path)
    assert pip.returncode == 0, pip.stdout + pip.stderr
    check = subprocess.run([str(venv / "bin" / "python"), "-c", "import ostra, ostra.plot; print(ostra.__file__)"],
                           capture_output=True, text=True, cwd=tmp_path, env={"PATH": "/usr/bin:/bin"})
    assert check.returncode == 0, check.stderr
    assert str(venv) in check.stdout
