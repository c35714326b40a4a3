"""Generators of the common model geometries.

- `river_network(reaches)`: a river network from a table of reaches
  (length, width, depth, flow, the reach each flows into), each reach cut
  into segments, lakes as single large compartments, a fixed-concentration
  inflow at every headwater (and wherever a reach carries more water than
  flows into it), a flow exit after the outlet;
- `add_sediment(model, layers)`: sediment layers under water compartments;
- `grid(nx, ny, ...)`: a regular 2-D grid with flow along x between one
  inflow and one exit compartment, exchange along x and y.

Every link is made by `Model.connect_many`, so both sides of each interface
carry the same flow and the same dispersive mass (the bulk-coefficient
convention of ostra/model/model.py). The generated models take their mixing
lengths from the interfaces (`mix_length` "interface"): the distance along
the channel or through the layers, whatever the centroids drawn.

Exports: river_network, add_sediment, grid.
"""

from __future__ import annotations

import numpy as np
import pandas as pd

from .model import Model
from .tables import kind_codes

_REACH_COLUMNS = ("length", "width", "depth", "flow")
_FLOW_MATCH = 1e-9  # relative: a reach carrying more than this beyond its inflows gets a lateral inflow


def _table(rows) -> pd.DataFrame:
    t = rows.copy() if isinstance(rows, pd.DataFrame) else pd.DataFrame(rows)
    if "reach" in t.columns:
        t = t.set_index("reach")
    return t


def river_network(reaches, state_variables=("sv1",), dispersion: float = 0.0, weight: float = 1.0,
                  model: Model | None = None) -> Model:
    """A river network from `reaches` (a frame, or a list of dicts), one
    row per reach:

    - `reach` (or the frame's index): the reach's name;
    - `length`, `width`, `depth`; `flow`: the discharge through the reach;
    - `downstream`: the reach it flows into; empty (None, NaN, "") for the
      one outlet reach;
    - optional: `segments` (compartments along the reach, default 1), `lake`
      (True: one compartment whatever `segments`), `dispersion` (the bulk
      exchange coefficient along the channel; default the argument),
      `temperature`, and `inflow:<state variable>`: the concentration of
      the water entering the reach from outside (headwater or lateral).

    Each segment is an interior compartment of volume length x width x depth
    / segments, with the columns `reach`, `segment`, `layer` ("water"),
    `depth` and `bottom_area`; centroids run along x in the direction of
    flow (tributaries offset in y). The interface between two reaches has
    the upstream reach's cross-section and dispersion. Returns the model
    (`model` when given, with the network appended)."""
    t = _table(reaches)
    missing = [c for c in _REACH_COLUMNS + ("downstream",) if c not in t.columns]
    if missing:
        raise ValueError(f"the table of reaches needs the columns {', '.join(missing)}")
    m = model if model is not None else Model(state_variables)
    m.options.mix_length = "interface"
    names = list(t.index)
    if len(set(names)) != len(names):
        raise ValueError("reach names must differ")
    down = {r: (None if _empty(d) else d) for r, d in t["downstream"].items()}
    for r, d in down.items():
        if d is not None and d not in down:
            raise ValueError(f"reach {r!r} flows into {d!r}, which is not in the table")
    outlets = [r for r, d in down.items() if d is None]
    if len(outlets) != 1:
        raise ValueError(f"a river network has one outlet reach (one with no downstream), not {len(outlets)}: {outlets}")
    upstream = {r: [u for u in names if down[u] == r] for r in names}
    order = _downstream_order(names, upstream, outlets[0])

    for c in _REACH_COLUMNS:
        bad = [r for r in names if not float(t.at[r, c]) > 0]
        if bad:
            raise ValueError(f"{c} of reach {bad[0]!r} must be above 0")
    lake = t["lake"].fillna(False).astype(bool) if "lake" in t.columns else pd.Series(False, index=t.index)
    segments = (t["segments"].fillna(1) if "segments" in t.columns else pd.Series(1, index=t.index)).astype(int)
    segments = segments.where(~lake, 1)
    length = t["length"].astype(float)
    seg_length = length / segments

    # Positions along the flow: each reach ends where the one it flows into begins.
    end = {}
    for r in order:
        end[r] = 0.0 if down[r] is None else end[down[r]] - length[down[r]]
    start = {r: end[r] - length[r] for r in names}
    shift = -min(start.values())
    branch_y = _branches(names, upstream, outlets[0], length, max(end.values()) + shift)

    sv = m.state_variables
    first, last = {}, {}
    for r in order[::-1]:  # headwaters first: numbers grow downstream
        n = int(segments[r])
        x = start[r] + shift + (np.arange(n) + 0.5) * seg_length[r]
        area = seg_length[r] * float(t.at[r, "width"])
        numbers = m.add_compartments(
            x=x, y=branch_y[r], volume=area * float(t.at[r, "depth"]),
            temperature=float(t.at[r, "temperature"]) if "temperature" in t.columns else 20.0,
            reach=[r] * n, segment=np.arange(1, n + 1), layer="water", depth=float(t.at[r, "depth"]),
            bottom_area=area)
        first[r], last[r] = int(numbers[0]), int(numbers[-1])

    def props(r):
        e = float(t.at[r, "dispersion"]) if "dispersion" in t.columns and not _empty(t.at[r, "dispersion"]) \
            else dispersion
        return float(t.at[r, "width"]) * float(t.at[r, "depth"]), float(t.at[r, "flow"]), e

    a, b, area, flow, exch, da, db = [], [], [], [], [], [], []

    def link(i, j, ar, q, e, di, dj):
        a.append(i), b.append(j), area.append(ar), flow.append(q), exch.append(e), da.append(di), db.append(dj)

    for r in order[::-1]:
        cross, q, e = props(r)
        half = seg_length[r] / 2
        inflow = q - sum(float(t.at[u, "flow"]) for u in upstream[r])
        if inflow < -_FLOW_MATCH * q:
            raise ValueError(f"reach {r!r} carries {q:g}, less than the {q - inflow:g} that flows into it")
        if not upstream[r] or inflow > _FLOW_MATCH * q:
            k = m.add_compartment("fixed", x=start[r] + shift - half, y=branch_y[r], reach=r, segment=0,
                                  layer="inflow")
            for s in sv:
                col = f"inflow:{s}"
                m.boundary.loc[k, s] = float(t.at[r, col]) if col in t.columns and not _empty(t.at[r, col]) else 0.0
            link(k, first[r], cross, inflow, e if not upstream[r] else 0.0, half, half)
        for i in range(first[r], last[r]):
            link(i, i + 1, cross, q, e, half, half)
        if down[r] is not None:
            link(last[r], first[down[r]], cross, q, e, half, seg_length[down[r]] / 2)
        else:
            k = m.add_compartment("exit", x=end[r] + shift + half, y=branch_y[r], reach=r, segment=0, layer="outlet")
            link(last[r], k, cross, q, 0.0, half, half)
    da_, db_ = np.array(da), np.array(db)
    m.connect_many(a, b, area, flow=np.array(flow), exchange=np.array(exch), distance=(da_, db_),
                   mixing_length=da_ + db_, weight=weight)
    return m


def _empty(value) -> bool:
    return value is None or value == "" or (isinstance(value, float) and np.isnan(value))


def _downstream_order(names, upstream, outlet) -> list:
    """Reaches from the outlet upwards (each after the one it flows into)."""
    order, todo = [], [outlet]
    while todo:
        r = todo.pop()
        order.append(r)
        todo.extend(upstream[r])
    if len(order) != len(names):
        lost = [r for r in names if r not in order]
        raise ValueError(f"reaches {lost} do not reach the outlet (they flow in a circle)")
    return order


def _branches(names, upstream, outlet, length, span) -> dict:
    """y of each reach: the longest way up from the outlet keeps y = 0, every
    other tributary gets a line of its own."""
    reach_up = {}

    def longest(r):
        if r not in reach_up:
            reach_up[r] = length[r] + max((longest(u) for u in upstream[r]), default=0.0)
        return reach_up[r]

    y, lines = {outlet: 0.0}, [0]
    todo = [outlet]
    while todo:
        r = todo.pop()
        ups = sorted(upstream[r], key=longest, reverse=True)
        for i, u in enumerate(ups):
            if i == 0:
                y[u] = y[r]
            else:
                lines.append(lines[-1] + 1)
                y[u] = lines[-1] * span / 10
            todo.append(u)
    return y


def add_sediment(model: Model, layers, compartments=None, partition: dict | None = None) -> np.ndarray:
    """Sediment layers under water compartments; returns their numbers
    (one row per water compartment, one column per layer, top first).

    `layers`: a frame or list of dicts, top first, with `thickness`,
    `water_content` (the porosity), optional `solids` (multiplies the
    partition coefficient in the retardation factor, default 0),
    `exchange` (the bulk exchange coefficient with the layer above),
    `temperature` (default: that of the water above). `compartments`: the
    water compartments (default: every interior compartment whose `layer`
    is "water", or every interior one). Their columns `bottom_area` and
    `depth` give the layers' area and the distance from the water's
    centroid to the bed (default depth: volume / bottom_area). `partition`:
    {state variable: partition coefficient} of the sediment."""
    L = layers.copy() if isinstance(layers, pd.DataFrame) else pd.DataFrame(layers)
    for c in ("thickness", "water_content"):
        if c not in L.columns:
            raise ValueError(f"every sediment layer needs its {c}")
    c = model.compartments
    if compartments is None:
        interior = kind_codes(c["kind"]) == 0
        water = interior & (c["layer"].eq("water").to_numpy() if "layer" in c.columns else True)
        above = c.index.to_numpy()[water]
    else:
        above = np.atleast_1d(np.asarray(compartments, dtype=np.int64))
    if "bottom_area" not in c.columns:
        raise ValueError('the water compartments need a "bottom_area" column (the area of their bed)')
    bed = c.loc[above, "bottom_area"].to_numpy(dtype=np.float64)
    depth = (c.loc[above, "depth"].to_numpy(dtype=np.float64) if "depth" in c.columns
             else c.loc[above, "volume"].to_numpy(dtype=np.float64) / bed)
    x, y, z = (c.loc[above, k].to_numpy(dtype=np.float64) for k in ("x", "y", "z"))
    extra = {k: c.loc[above, k].to_numpy() for k in ("reach", "segment") if k in c.columns}
    numbers = np.empty((len(above), len(L)), dtype=np.int64)
    top = z - depth / 2
    previous, previous_half = above, depth / 2
    for i, layer in enumerate(L.to_dict("records")):
        t = float(layer["thickness"])
        temperature = layer.get("temperature")
        new = model.add_compartments(
            x=x, y=y, z=top - t / 2, volume=bed * t, water_content=float(layer["water_content"]),
            solids=float(layer.get("solids", 0.0) or 0.0),
            temperature=c.loc[above, "temperature"].to_numpy(dtype=np.float64) if _empty(temperature) else temperature,
            layer=f"sediment {i + 1}", depth=t, bottom_area=bed, **extra)
        for sv, kd in (partition or {}).items():
            model.partition.loc[new, model._sv(sv)] = kd
        model.connect_many(previous, new, bed, flow=0.0, exchange=float(layer.get("exchange", 0.0) or 0.0),
                           distance=(previous_half, np.full(len(new), t / 2)), mixing_length=previous_half + t / 2)
        numbers[:, i] = new
        previous, previous_half, top = new, np.full(len(new), t / 2), top - t
    return numbers


def grid(nx: int, ny: int, dx: float, dy: float, depth: float, flow: float, exchange_x: float = 0.0,
         exchange_y: float = 0.0, state_variables=("sv1",), inflow=None, weight: float = 1.0) -> Model:
    """A regular grid of nx x ny interior cells (dx by dy, `depth` deep)
    between one fixed-concentration inflow compartment (1, before the first
    column) and one flow exit (the last compartment, after the last
    column): `flow` runs along x through every row; the bulk exchange
    coefficients `exchange_x` and `exchange_y` act between neighbouring
    cells (and, along x, with the inflow). `inflow`: {state variable:
    concentration} of the inflow. Cells are numbered row by row (x fastest)
    from 2 and carry the columns `column`, `row`, `layer` ("water"),
    `depth` and `bottom_area`."""
    if nx < 1 or ny < 1:
        raise ValueError("a grid needs at least one cell along x and along y")
    m = Model(state_variables)
    m.options.mix_length = "interface"
    source = m.add_compartment("fixed", x=-dx / 2, y=ny * dy / 2, layer="inflow")
    i, j = np.meshgrid(np.arange(nx), np.arange(ny))
    i, j = i.reshape(-1), j.reshape(-1)
    cells = m.add_compartments(x=(i + 0.5) * dx, y=(j + 0.5) * dy, volume=dx * dy * depth, column=i + 1, row=j + 1,
                               layer="water", depth=depth, bottom_area=dx * dy)
    exit_ = m.add_compartment("exit", x=(nx + 0.5) * dx, y=ny * dy / 2, layer="outlet")
    for sv, value in (inflow or {}).items():
        m.boundary.loc[source, m._sv(sv)] = value
    cell = cells.reshape(ny, nx)
    along = [(np.full(ny, source), cell[:, 0], exchange_x)]
    if nx > 1:
        along.append((cell[:, :-1].reshape(-1), cell[:, 1:].reshape(-1), exchange_x))
    along.append((cell[:, -1], np.full(ny, exit_), 0.0))
    for a, b, e in along:
        m.connect_many(a, b, dy * depth, flow=flow, exchange=e, distance=(dx / 2, dx / 2), mixing_length=dx,
                       weight=weight)
    if ny > 1:
        m.connect_many(cell[:-1, :].reshape(-1), cell[1:, :].reshape(-1), dx * depth, flow=0.0, exchange=exchange_y,
                       distance=(dy / 2, dy / 2), mixing_length=dy)
    return m
