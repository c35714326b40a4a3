"""Plots of the examples' results: drawn, not blank, and showing the file's data."""

from __future__ import annotations

import subprocess
import sys

import matplotlib.image
import numpy as np
import pytest

import ostra
import ostra.plot
from conftest import EXAMPLE_NAMES, REPO


def saved_pixels(fig, path):
    fig.savefig(path, dpi=60)
    assert path.stat().st_size > 2000
    return matplotlib.image.imread(path)


def assert_not_blank(pixels):
    grey = pixels[..., :3].mean(axis=2)
    assert grey.std() > 0.05, "the picture is a blank canvas"
    coloured = (np.ptp(pixels[..., :3], axis=2) > 0.3).mean()
    assert coloured > 0.002, "no coloured lines or bars were drawn"


@pytest.mark.parametrize("name", EXAMPLE_NAMES + ["one-compartment", "snapshot"])
def test_every_example_is_drawn(runs, name, tmp_path):
    fig = ostra.plot.model(runs[name].model_dir)
    assert_not_blank(saved_pixels(fig, tmp_path / f"{name}.png"))


def test_time_series_lines_are_the_files_values(runs):
    table = ostra.read_time_series(runs["river-network"])
    fig = ostra.plot.time_series(table, compartments=[5, 6])
    axes = fig.axes
    assert [ax.get_title() for ax in axes] == ["state variable 1", "state variable 2"]
    lines = axes[1].get_lines()
    assert [line.get_label() for line in lines] == ["compartment 5", "compartment 6"]
    expected = table[(table.state_variable == 2) & (table.compartment == 6)]
    assert (lines[1].get_ydata() == expected.concentration.to_numpy()).all()
    assert (lines[1].get_xdata() == expected.time.to_numpy()).all()


def test_many_compartments_are_thinned_and_said_so(runs):
    fig = ostra.plot.time_series(runs["nonlinear-sorption"].model_dir)
    ax = fig.axes[0]
    labels = [line.get_label() for line in ax.get_lines()]
    assert len(labels) == 10 and labels[0] == "compartment 2" and labels[-1] == "compartment 99"
    assert "10 of 98 compartments shown" in ax.get_title()
    assert len(ostra.plot.time_series(runs["nonlinear-sorption"], compartments=range(2, 40)).axes[0].get_lines()) == 38


def test_choices_and_log_axis(runs):
    fig = ostra.plot.time_series(runs["tiny-steps"], state_variables=2, log=True)
    assert len(fig.axes) == 1 and fig.axes[0].get_yscale() == "log"
    with pytest.raises(ValueError, match=r"no compartment 3 in the results \(there are 2, 4, 5, 6\)"):
        ostra.plot.time_series(runs["river-network"], compartments=[3])
    with pytest.raises(ValueError, match="log axis needs positive values"):
        ostra.plot.time_series(runs["negative-feed"], log=True)
    with pytest.raises(ValueError, match="equations, not compartments"):
        ostra.plot.time_series(runs["equation-solver"], compartments=[1])


def test_profile_along_x(runs):
    fig = ostra.plot.profile(runs["river-network-steady"])
    ax = fig.axes[0]
    lines = ax.get_lines()
    assert [line.get_label() for line in lines] == ["state variable 1", "state variable 2"]
    profile = ostra.read_profile(runs["river-network-steady"])
    sv2 = profile[profile.state_variable == 2].sort_values("x")
    assert (lines[1].get_xdata() == sv2.x.to_numpy()).all()
    assert (lines[1].get_ydata() == sv2.concentration.to_numpy()).all()
    assert "steady state" in fig._suptitle.get_text()
    assert "time 25" in ostra.plot.profile(runs["snapshot"])._suptitle.get_text()


def test_equation_profile_is_bars(runs):
    ax = ostra.plot.profile(runs["quadratic-steady"]).axes[0]
    heights = [p.get_height() for p in ax.patches]
    assert heights == pytest.approx([0.6180340, 0.3595220], abs=1e-6)


def test_mass_balance_bars(runs):
    fig = ostra.plot.mass_balance(runs["river-network"])
    balance = ostra.read_mass_balance(runs["river-network"])
    assert len(fig.axes) == 2
    widths = [p.get_width() for p in fig.axes[1].patches]
    row = balance.table.iloc[1]
    assert widths == [row.initial, row["in"], row.transport_out, row.volume_sinks_out, row.area_sinks_out,
                      row.residual, row.balance_error]
    assert "-20.16 %" in fig._suptitle.get_text()


@pytest.mark.parametrize("suffix", [".png", ".svg"])
def test_command_line_plot(runs, tmp_path, suffix):
    out = tmp_path / f"picture{suffix}"
    proc = subprocess.run([sys.executable, "-m", "ostra", "plot", str(runs["one-compartment"].model_dir), "-o", str(out)],
                          capture_output=True, text=True, env={"PYTHONPATH": str(REPO / "python"), "PATH": "/usr/bin:/bin"})
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == str(out)
    if suffix == ".png":
        assert_not_blank(matplotlib.image.imread(out))
    else:
        assert "<svg" in out.read_text()[:500]


def test_command_line_refuses_an_incomplete_run(runs, tmp_path):
    proc = subprocess.run([sys.executable, "-m", "ostra", "plot", str(runs["unstable"].model_dir),
                           "-o", str(tmp_path / "x.png")],
                          capture_output=True, text=True, env={"PYTHONPATH": str(REPO / "python"), "PATH": "/usr/bin:/bin"})
    assert proc.returncode == 1 and "ended early" in proc.stderr
    assert not (tmp_path / "x.png").exists()
