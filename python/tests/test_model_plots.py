"""Plots that know the model: compartments chosen by kind, layer or column,
state variables by name, water and sediment as lines of their own, a map
of the concentrations at the centroids."""

from __future__ import annotations

import pandas as pd
import pytest

import ostra
import ostra.plot
from conftest import PROGRAM


@pytest.fixture(scope="module")
def layered(tmp_path_factory):
    """A steady river of two reaches (a tributary beside the main stem) over
    one sediment layer, and a dynamic run of it."""
    t = pd.DataFrame([dict(reach="main", length=300.0, width=10.0, depth=1.0, flow=50.0, downstream=None, segments=3),
                      dict(reach="up", length=300.0, width=10.0, depth=1.0, flow=30.0, downstream="main",
                           segments=2),
                      dict(reach="side", length=200.0, width=5.0, depth=1.0, flow=20.0, downstream="main",
                           segments=2)])
    t["inflow:parent"] = [0.0, 1.0, 2.0]
    m = ostra.river_network(t, state_variables=["parent", "product"])
    ostra.add_sediment(m, [dict(thickness=0.1, water_content=0.5, exchange=0.05)])
    m.add_decay("parent", 0.1)
    m.add_transformation("parent", "product", 0.05)
    m.options.steady = True
    root = tmp_path_factory.mktemp("layered")
    m.write(root / "steady")
    steady = ostra.run(root / "steady", executable=PROGRAM)
    m.options.steady = False
    m.options.time_step, m.options.steps = 0.5, 8
    m.write(root / "dynamic")
    return m, steady, ostra.run(root / "dynamic", executable=PROGRAM)


def test_profile_draws_each_layer_and_branch_as_a_line_of_its_own(layered):
    m, steady, _ = layered
    fig = ostra.plot.profile(steady, state_variables="parent")
    lines = fig.axes[0].get_lines()
    table = ostra.read_profile(steady)
    table = table[table.state_variable == 1]
    drawn = []
    for line in lines:
        assert line.get_label().startswith("parent (state variable 1), ")
        points = table.merge(pd.DataFrame({"x": line.get_xdata(), "concentration": line.get_ydata()}))
        assert len(points) == len(line.get_xdata()) and points[["y", "z"]].drop_duplicates().shape[0] == 1
        drawn += list(points["compartment"])
    # The main stem, the tributary, and the sediment under each: four lines
    # that together draw every compartment once.
    assert len(lines) == 4
    assert sorted(drawn) == sorted(table["compartment"])


def test_choices_by_column_kind_and_layer(layered):
    m, steady, dynamic = layered
    water = set(m.compartments.index[m.compartments["layer"] == "water"])
    fig = ostra.plot.time_series(dynamic, state_variables="product", where={"layer": "water"})
    assert [ax.get_title() for ax in fig.axes] == ["product (state variable 2)"]
    assert {int(line.get_label().split()[-1]) for line in fig.axes[0].get_lines()} == water
    z = float(m.compartments.loc[m.compartments["layer"] == "sediment 1", "z"].iloc[0])
    fig = ostra.plot.profile(steady, z=z, kind="interior", by="reach")
    labels = [line.get_label() for line in fig.axes[0].get_lines()]
    assert sorted(labels) == sorted(f"{sv} (state variable {n}), reach {r}" for n, sv in ((1, "parent"), (2, "product"))
                                    for r in ("up", "side", "main"))
    with pytest.raises(ValueError, match="no column 'colour'"):
        ostra.plot.profile(steady, where={"colour": "blue"})
    with pytest.raises(ValueError, match="no compartment of the kind"):
        ostra.plot.time_series(dynamic, kind="exit")


def test_map_of_concentrations_at_the_centroids(tmp_path):
    g = ostra.grid(5, 4, 10.0, 10.0, 1.0, flow=2.0, exchange_x=0.5, exchange_y=0.5, state_variables=["dye"],
                   inflow={"dye": 1.0})
    g.add_decay("dye", 0.01)
    g.options.steady = True
    g.write(tmp_path / "grid")
    run = ostra.run(tmp_path / "grid", executable=PROGRAM)
    fig = ostra.plot.concentration_map(run)
    points = fig.axes[0].collections[0]
    profile = ostra.read_profile(run)
    assert (points.get_offsets() == profile[["x", "y"]].to_numpy()).all()
    assert (points.get_array() == profile["concentration"].to_numpy()).all()
    assert fig.axes[0].get_title() == "dye (state variable 1)"


def test_map_asks_which_layer_where_compartments_share_a_centroid(layered):
    m, _, dynamic = layered
    with pytest.raises(ValueError, match="choose one layer"):
        ostra.plot.concentration_map(dynamic)
    fig = ostra.plot.concentration_map(dynamic, where={"layer": "water"}, state_variables=["parent"], time=2.0)
    assert len(fig.axes[0].collections[0].get_offsets()) == 7
    assert "time 2" in fig._suptitle.get_text()
