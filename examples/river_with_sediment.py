"""A river network with a tributary, a lake and a sediment bed, built in Python.

Thirteen reaches: a main stem of nine reaches and a lake, a tributary of
three reaches joining at reach R4, and a lateral inflow below the lake. A
parent chemical enters with the headwater (1 g/m3) and the tributary
(2 g/m3), decays at 0.05 per day and forms a product (0.04 per day), which
decays at 0.01 per day. Under every reach and the lake lie two sediment
layers of 0.5 m that exchange with the water by pore-water diffusion.

    python3 examples/river_with_sediment.py [model-directory]

writes three model directories under the directory given (default:
scratch/river-with-sediment): "river" (the river alone, steady state),
"river-with-sediment" (checked with `ostra --check`, then run through 50
days) and "snapshot" (the same run writing its last step as a profile),
runs them and draws river-profile.png, time-series.png, mass-balance.png
and layers-profile.png beside them. Units: metres, days, grams.
"""

from __future__ import annotations

import sys
from pathlib import Path

import pandas as pd

REPO = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(REPO / "python"))

import ostra  # noqa: E402
import ostra.plot  # noqa: E402

DECAY = 0.05          # parent, per day
FORMATION = 0.04      # product formed from the parent, per day
PRODUCT_DECAY = 0.01  # per day


def reaches() -> pd.DataFrame:
    """The table of reaches: length, width, depth (m), flow (m3/day), the
    reach each flows into, and the concentration of the water entering
    from outside (headwaters, the lateral inflow)."""
    main = ["R1", "R2", "R3", "R4", "R5", "Lake", "R6", "R7", "R8", "R9"]
    rows = [dict(reach=r, length=2000.0 + 500 * (i % 3), width=20.0, depth=2.0, flow=40000.0,
                 downstream=main[i + 1] if i + 1 < len(main) else None) for i, r in enumerate(main)]
    rows += [dict(reach=r, length=1500.0, width=10.0, depth=2.0, flow=8000.0, downstream=d)
             for r, d in (("T1", "T2"), ("T2", "T3"), ("T3", "R4"))]
    t = pd.DataFrame(rows).set_index("reach")
    t.loc["Lake", ["length", "width"]] = [1000.0, 500.0]
    t["lake"] = t.index == "Lake"
    t.loc[["R4", "R5", "Lake"], "flow"] = 48000.0         # the tributary has joined
    t.loc[["R6", "R7", "R8", "R9"], "flow"] = 50000.0     # 2000 m3/day of lateral inflow below the lake
    t["inflow:parent"] = 0.0
    t.loc["R1", "inflow:parent"] = 1.0
    t.loc["T1", "inflow:parent"] = 2.0
    return t


def build(sediment: bool = True) -> ostra.Model:
    """The model: the river alone at steady state, or with its sediment bed
    stepped through 50 days."""
    m = ostra.river_network(reaches(), state_variables=["parent", "product"])
    if sediment:
        # Two layers of 0.5 m; the bulk exchange coefficients (m2/day) are
        # those of the mass flux, so the builder divides them by each side's
        # water content for ostra's tables.
        ostra.add_sediment(m, [dict(thickness=0.5, water_content=0.5, exchange=0.0025),
                               dict(thickness=0.5, water_content=0.25, exchange=0.0005)])
    m.add_decay("parent", DECAY)
    m.add_transformation("parent", "product", FORMATION)
    m.add_decay("product", PRODUCT_DECAY)
    if sediment:
        m.options.steady = False
        m.options.scheme = "implicit-euler"
        m.options.time_step = 0.5
        m.options.steps = 100
    else:
        m.options.steady = True
    return m


def main(directory: Path) -> None:
    directory.mkdir(parents=True, exist_ok=True)
    # 1. The river alone, at steady state: its profile along the flow.
    river = build(sediment=False)
    river.write(directory / "river")
    ostra.run(directory / "river")
    ostra.plot.profile(directory / "river").savefig(directory / "river-profile.png")

    # 2. With the sediment bed, through time: check, run, plot.
    m = build(sediment=True)
    report = m.check(directory / "river-with-sediment")  # writes the files, runs `ostra --check`
    print(report.summary)
    result = ostra.run(directory / "river-with-sediment")
    print(result.stdout)
    ostra.plot.time_series(result, where={"reach": ["R1", "Lake", "R9"]}).savefig(directory / "time-series.png")
    ostra.plot.mass_balance(result).savefig(directory / "mass-balance.png")

    # 3. The same run's last step as a profile: water and each layer a line.
    m.options.output = "profile"
    m.options.profile_step = m.options.steps
    m.write(directory / "snapshot")
    ostra.run(directory / "snapshot")
    ostra.plot.profile(directory / "snapshot", state_variables="parent").savefig(
        directory / "layers-profile.png")


if __name__ == "__main__":
    main(Path(sys.argv[1]) if len(sys.argv) > 1 else REPO / "scratch" / "river-with-sediment")
