"""`Model`: a whole ostra model as Python objects.

A model holds its run options (`options`, by name), its state variables (by
name, numbered 1, 2, ... in the files in the order of `state_variables`)
and its tables as pandas frames:

- `compartments`: one row per compartment (index: the compartment number
  1..NT): `kind` ("interior", "zero", "fixed", "exit", "extrapolated"), the
  centroid `x`, `y`, `z`, `volume`, `temperature`, `water_content`,
  `solids`, and any columns of the user's own (kept beside the model);
- `interfaces`: one row per side of an interface, in the order of each
  compartment's list: `compartment`, `adjacent`, `area`, `distance` (from
  the compartment's centroid), `mixing_length`, `weight`, and for every
  state variable `flow:<name>` (into the compartment) and `exchange:<name>`
  (the E of this side's record);
- `presence` (bool), `partition`, `temperature_coefficient`, `boundary`,
  `initial`, `guess`: compartment x state variable;
- `multipliers`, `volume_terms`, `area_terms`: records in file order;
- `loads` (`Loads`), `equations` (`Equations`, the "EQNS" form),
  `companions` (program file name -> path, copied into the model directory).

Values of -999 ("not given") are NaN. `connect` builds both sides of a link
at once; `link(a, b)` changes a link's two sides together.

The exchange convention: `connect(..., exchange=D)` takes the bulk
coefficient D of the link, such that the dispersive mass flux across it is
D x area / mixing length x (concentration difference). ostra divides no
side's exchange by its water content, while the mass of a compartment is
volume x concentration x water content, so each side gets E = D / its own
water content; then the mass leaving one side is the mass entering the
other. Change water contents before connecting, or set the link's exchange
again (`link(a, b).exchange[sv] = D`) after changing them.

Exports: Model, Link, ModelError, CheckReport.
"""

from __future__ import annotations

import json
import os
import shutil
from dataclasses import dataclass
from pathlib import Path

import numpy as np
import pandas as pd

from ..files import CONTROL_FILE, find_file
from .equations import Equations
from .fields import FieldReader, ModelFileError, remove_other_spellings
from .loads import LOADS_FILE, Loads
from .options import Options
from .tables import (
    COMPARTMENT_COLUMNS, INTERFACE_COLUMNS, TABLES, AreaTermsFile, GuessFile, InitialFile, MultipliersFile,
    VolumeTermsFile, exchange_column, flow_column, kind_codes, kind_name,
)

SIDECAR = "ostra-model.json"
# Programs a run may start: time-variable tables and nonlinear terms.
COMPANION_NAMES = {"compartment", "linearkdandtempcoef", "interfaces", "ecoefficients", "flows",
                   "flowandemultipliers", "boundary", "aeqnsolver", "rveqnsolver", "loads", "beqnsolver",
                   "varn", "dfdc", "telm", "pask"}
_DEFAULTS = {"x": 0.0, "y": 0.0, "z": 0.0, "volume": np.nan, "temperature": 20.0, "water_content": 1.0,
             "solids": 0.0}


class ModelError(ValueError):
    """A model that cannot be written or run as it stands: `problems` names
    the faults found, one sentence each. When the fault is one `ostra
    --check` found in the model's files, the ostra.RunError of that check
    is the exception's `__cause__`."""

    def __init__(self, problems: list[str]):
        self.problems = list(problems)
        lines = "\n".join(f"  - {p}" for p in self.problems)
        super().__init__(f"the model has {len(self.problems)} problem{'s' if len(self.problems) != 1 else ''}:\n{lines}")


@dataclass(frozen=True)
class CheckReport:
    """What `ostra --check` said of a model: its summary and warnings."""

    summary: str
    warnings: tuple
    result: object

    def __str__(self) -> str:
        return self.summary


class Model:
    """A whole ostra model; see the module's description."""

    def __init__(self, state_variables=("sv1",), mode: str = "ENVS"):
        names = [state_variables] if isinstance(state_variables, str) else list(state_variables)
        self._check_names(names)
        self.state_variables: list[str] = names
        self.options = Options(mode=mode.upper())
        index = pd.RangeIndex(1, 1, name="compartment")
        self.compartments = pd.DataFrame({c: pd.Series(dtype=object if c == "kind" else np.float64)
                                          for c in COMPARTMENT_COLUMNS}, index=index)
        self.interfaces = pd.DataFrame({c: pd.Series(dtype=np.int64 if c in ("compartment", "adjacent") else np.float64)
                                        for c in INTERFACE_COLUMNS})
        for sv in names:
            self.interfaces[flow_column(sv)] = pd.Series(dtype=np.float64)
            self.interfaces[exchange_column(sv)] = pd.Series(dtype=np.float64)
        self.presence = self._frame(bool, False)
        self.partition = self._frame(np.float64, 0.0)
        self.temperature_coefficient = self._frame(np.float64, 1.0)
        self.boundary = self._frame(np.float64, np.nan)
        self.initial: pd.DataFrame | None = self._frame(np.float64, 0.0)
        self.guess: pd.DataFrame | None = None
        self.multipliers = pd.DataFrame(columns=MultipliersFile.columns())
        self.volume_terms = pd.DataFrame(columns=VolumeTermsFile.columns())
        self.area_terms = pd.DataFrame(columns=AreaTermsFile.columns())
        self.loads = Loads()
        self.equations: Equations | None = None
        self.companions: dict[str, Path] = {}
        self.raw: dict[str, bytes] = {}  # files of time-variable tables kept as they were

    # ------------------------------------------------------------ basics

    @property
    def size(self) -> int:
        """The number of compartments, NT."""
        return len(self.compartments)

    def _frame(self, dtype, fill) -> pd.DataFrame:
        return pd.DataFrame(np.full((len(self.compartments), len(self.state_variables)), fill, dtype=dtype),
                            index=self.compartments.index, columns=list(self.state_variables))

    @staticmethod
    def _check_names(names):
        if not names:
            raise ValueError("a model needs at least one state variable")
        for n in names:
            if not isinstance(n, str) or not n.strip() or n != n.strip():
                raise ValueError(f"state variable names are non-empty texts without surrounding blanks, not {n!r}")
        if len(set(names)) != len(names):
            raise ValueError(f"state variable names must differ: {names}")

    def sv_name(self, number):
        """The name of state variable `number` (1-based); a number that names
        none is kept as it is."""
        n = int(number)
        return self.state_variables[n - 1] if 1 <= n <= len(self.state_variables) else n

    def sv_number(self, sv) -> int:
        """The number a state variable is written as: its place, from 1."""
        if isinstance(sv, str):
            try:
                return self.state_variables.index(sv) + 1
            except ValueError:
                raise KeyError(f"no state variable {sv!r} (there are {', '.join(self.state_variables)})") from None
        return int(sv)

    def _sv(self, sv) -> str:
        """A state variable named or numbered (1-based), as its name."""
        name = self.sv_name(sv) if not isinstance(sv, str) else sv
        if name not in self.state_variables:
            raise KeyError(f"no state variable {sv!r} (there are {', '.join(self.state_variables)})")
        return name

    def add_state_variable(self, name: str, present=None) -> None:
        """Adds a state variable, computed in every interior compartment
        unless `present` (compartment numbers) says where."""
        self._check_names(self.state_variables + [name])
        self.state_variables.append(name)
        interior = self.kind_codes() == 0
        where = interior if present is None else self.compartments.index.isin(list(present))
        self.presence[name] = where
        self.partition[name] = 0.0
        self.temperature_coefficient[name] = 1.0
        self.boundary[name] = np.nan
        if self.initial is not None:
            self.initial[name] = 0.0
        if self.guess is not None:
            self.guess[name] = np.nan
        self.interfaces[flow_column(name)] = 0.0
        self.interfaces[exchange_column(name)] = 0.0

    def rename_state_variables(self, names: dict) -> None:
        """Renames state variables everywhere: {old: new}."""
        new = [names.get(n, n) for n in self.state_variables]
        self._check_names(new)
        for frame in (self.presence, self.partition, self.temperature_coefficient, self.boundary, self.initial,
                      self.guess):
            if frame is not None:
                frame.rename(columns=names, inplace=True)
        self.interfaces.rename(columns={f"{p}:{o}": f"{p}:{n}" for o, n in names.items() for p in ("flow", "exchange")},
                               inplace=True)
        for frame, cols in ((self.volume_terms, ("receiving", "driving")), (self.area_terms, ("state_variable",)),
                            (self.multipliers, ("state_variable",))):
            for c in cols:
                frame[c] = frame[c].map(lambda v: names.get(v, v))
        for b in self.loads:
            b.records = [(k, names.get(sv, sv), w) for k, sv, w in b.records]
        self.state_variables = new

    def kind_codes(self) -> np.ndarray:
        return kind_codes(self.compartments["kind"])

    def interior(self) -> np.ndarray:
        """The numbers of the interior compartments."""
        return self.compartments.index.to_numpy()[self.kind_codes() == 0]

    def equation_numbers(self) -> pd.DataFrame:
        """The equations in ostra's order: state_variable, compartment."""
        if self.options.mode == "EQNS":
            n = self.equations.size if self.equations is not None else 0
            return pd.DataFrame({"equation": np.arange(1, n + 1)})
        holds = self.presence.to_numpy(dtype=bool) & (self.kind_codes() == 0)[:, None]
        sv, k = np.nonzero(holds.T)
        return pd.DataFrame({"state_variable": [self.state_variables[i] for i in sv],
                             "compartment": self.compartments.index.to_numpy()[k]},
                            index=pd.RangeIndex(1, len(sv) + 1, name="equation"))

    def copy(self) -> "Model":
        """An independent copy."""
        m = Model.__new__(Model)
        for key, value in self.__dict__.items():
            if isinstance(value, pd.DataFrame):
                value = value.copy()
            elif isinstance(value, (Options, Loads, Equations)):
                value = value.copy()
            elif isinstance(value, (list, dict, set)):
                value = type(value)(value)
            m.__dict__[key] = value
        return m

    # ------------------------------------------------------------ building

    def add_compartments(self, table=None, **columns) -> np.ndarray:
        """Appends compartments and returns their numbers. `table` (a frame
        or a dict of columns) and/or `columns` give `kind` (default
        "interior"), `x`, `y`, `z` (0), `volume`, `temperature` (20),
        `water_content` (1), `solids` (0) and any columns of the user's own;
        scalars apply to all. The new compartments hold every state variable
        when interior, none otherwise."""
        data = dict(pd.DataFrame(table).items()) if table is not None else {}
        data.update(columns)
        lengths = {len(np.atleast_1d(v)) for v in data.values() if not np.isscalar(v) and v is not None}
        if len(lengths) > 1:
            raise ValueError(f"the columns of new compartments have different lengths: {sorted(lengths)}")
        n = lengths.pop() if lengths else 1
        start = self.size + 1
        index = pd.RangeIndex(start, start + n, name="compartment")
        new = pd.DataFrame(index=index)
        kinds = data.pop("kind", "interior")
        new["kind"] = [kind_name(k) for k in np.broadcast_to(np.asarray(kinds, dtype=object), (n,))]
        for c in COMPARTMENT_COLUMNS[1:]:
            new[c] = np.broadcast_to(np.asarray(data.pop(c, _DEFAULTS[c]), dtype=np.float64), (n,))
        for c, v in data.items():
            new[c] = np.broadcast_to(np.asarray(v), (n,)) if not np.isscalar(v) else v
        self.compartments = pd.concat([self.compartments, new]) if self.size else new
        self.compartments.index.name = "compartment"
        interior = (kind_codes(new["kind"]) == 0)
        for name, fill in (("presence", None), ("partition", 0.0), ("temperature_coefficient", 1.0),
                           ("boundary", np.nan), ("initial", 0.0), ("guess", np.nan)):
            frame = getattr(self, name)
            if frame is None:
                continue
            cols = list(self.state_variables)
            if fill is None:
                add = pd.DataFrame(np.repeat(interior[:, None], len(cols), axis=1), index=index, columns=cols)
            else:
                add = pd.DataFrame(np.full((n, len(cols)), fill), index=index, columns=cols)
            setattr(self, name, pd.concat([frame, add]) if len(frame) else add)
        return index.to_numpy()

    def add_compartment(self, kind="interior", **values) -> int:
        """Appends one compartment; returns its number."""
        return int(self.add_compartments(kind=[kind], **{k: [v] for k, v in values.items()})[0])

    def _centroids(self, numbers: np.ndarray) -> np.ndarray:
        return self.compartments.loc[numbers, ["x", "y", "z"]].to_numpy(dtype=np.float64)

    def _water(self, numbers: np.ndarray) -> np.ndarray:
        return self.compartments.loc[numbers, "water_content"].to_numpy(dtype=np.float64)

    def _per_sv(self, value, n: int) -> dict:
        """A value per state variable: a dict {sv: values}, or the same for all."""
        if value is None:
            value = 0.0
        if isinstance(value, dict):
            out = {sv: np.zeros(n) for sv in self.state_variables}
            for k, v in value.items():
                out[self._sv(k)] = np.broadcast_to(np.asarray(v, dtype=np.float64), (n,)).copy()
            return out
        v = np.broadcast_to(np.asarray(value, dtype=np.float64), (n,))
        return {sv: v.copy() for sv in self.state_variables}

    def side_exchange(self, compartment, bulk) -> np.ndarray:
        """The E each side's record needs for the bulk exchange coefficient
        `bulk`: bulk / the side's water content. A side that is no interior
        compartment (no equation) keeps the bulk value where its water
        content is not given."""
        compartment = np.atleast_1d(np.asarray(compartment, dtype=np.int64))
        bulk = np.broadcast_to(np.asarray(bulk, dtype=np.float64), compartment.shape)
        wc = self._water(compartment)
        interior = kind_codes(self.compartments.loc[compartment, "kind"]) == 0
        needs = (bulk != 0) & ~np.isnan(bulk)
        bad = needs & interior & ~(wc > 0)
        if bad.any():
            k = compartment[np.argmax(bad)]
            raise ModelError([f"compartment {k} has water content {wc[np.argmax(bad)]:g}: an exchange across its "
                              "interfaces needs a water content above 0"])
        usable = wc > 0
        return np.where(needs & usable, bulk / np.where(usable, wc, 1.0), bulk)

    def connect(self, a: int, b: int, area: float, flow=None, exchange=None, distance=None, mixing_length=None,
                weight: float = 1.0) -> "Link":
        """Links compartments a and b; both sides are written. `flow` (per
        state variable, a dict, or one value for all) runs from a to b
        (negative: from b to a); `exchange` is the bulk exchange coefficient
        (see the module's description); `distance` the centroid-to-interface
        distances (a's, b's; default half the centroid distance each);
        `mixing_length` (default the centroid distance); `weight` the upwind
        weighting factor of both sides."""
        self.connect_many([a], [b], area, flow=flow, exchange=exchange, distance=distance,
                          mixing_length=mixing_length, weight=weight)
        return self.link(a, b)

    def connect_many(self, a, b, area, flow=None, exchange=None, distance=None, mixing_length=None,
                     weight=1.0) -> None:
        """`connect` for arrays of links (values broadcast)."""
        a = np.atleast_1d(np.asarray(a, dtype=np.int64))
        b = np.atleast_1d(np.asarray(b, dtype=np.int64))
        n = len(a)
        known = self.compartments.index
        for side in (a, b):
            missing = side[~np.isin(side, known)]
            if missing.size:
                raise ModelError([f"a link names compartment {missing[0]}, which does not exist (there are "
                                  f"{self.size})"])
        if (a == b).any():
            raise ModelError([f"compartment {a[np.argmax(a == b)]} cannot be linked with itself"])
        ca, cb = self._centroids(a), self._centroids(b)
        centroid_distance = np.sqrt(((ca - cb) ** 2).sum(axis=1))
        if distance is None:
            da = db = centroid_distance / 2
        else:
            da, db = (np.broadcast_to(np.asarray(d, dtype=np.float64), (n,)) for d in distance)
        mix = centroid_distance if mixing_length is None else np.broadcast_to(
            np.asarray(mixing_length, dtype=np.float64), (n,))
        flows = self._per_sv(flow, n)
        bulk = self._per_sv(exchange, n)
        side = {
            "compartment": np.column_stack([a, b]).reshape(-1),
            "adjacent": np.column_stack([b, a]).reshape(-1),
            "area": np.repeat(np.broadcast_to(np.asarray(area, dtype=np.float64), (n,)), 2),
            "distance": np.column_stack([da, db]).reshape(-1),
            "mixing_length": np.repeat(mix, 2),
            "weight": np.repeat(np.broadcast_to(np.asarray(weight, dtype=np.float64), (n,)), 2),
        }
        for sv in self.state_variables:
            side[flow_column(sv)] = np.column_stack([-flows[sv], flows[sv]]).reshape(-1)
            side[exchange_column(sv)] = np.column_stack(
                [self.side_exchange(a, bulk[sv]), self.side_exchange(b, bulk[sv])]).reshape(-1)
        new = pd.DataFrame(side)
        self.interfaces = pd.concat([self.interfaces, new], ignore_index=True) if len(self.interfaces) else new

    def link(self, a: int, b: int) -> "Link":
        """The link between compartments a and b (either side may be missing,
        not both)."""
        return Link(self, int(a), int(b))

    def links(self) -> pd.DataFrame:
        """One row per pair of compartments that an interface joins (a < b):
        area and weight of a's side, `flow:<sv>` from a to b, and
        `exchange:<sv>` the bulk coefficient of a's side (water content x E)."""
        s = self.interfaces
        lo = np.minimum(s["compartment"], s["adjacent"])
        hi = np.maximum(s["compartment"], s["adjacent"])
        first = s.assign(a=lo, b=hi).drop_duplicates(["compartment", "adjacent"])
        own = first[first["compartment"] == first["a"]]
        other = first[first["compartment"] != first["a"]]
        other = other[~other.set_index(["a", "b"]).index.isin(own.set_index(["a", "b"]).index)]
        out = []
        for part, sign in ((own, -1.0), (other, 1.0)):
            wc = self._water(part["compartment"].to_numpy()) if len(part) else np.empty(0)
            row = pd.DataFrame({"a": part["a"].to_numpy(), "b": part["b"].to_numpy(),
                                "area": part["area"].to_numpy(), "weight": part["weight"].to_numpy()})
            for sv in self.state_variables:
                row[flow_column(sv)] = sign * part[flow_column(sv)].to_numpy()
                row[exchange_column(sv)] = wc * part[exchange_column(sv)].to_numpy()
            out.append(row)
        return pd.concat(out, ignore_index=True).sort_values(["a", "b"], ignore_index=True)

    # --------------------------------------------------------- terms

    def _where(self, compartments) -> np.ndarray:
        if compartments is None:
            return self.interior()
        return np.atleast_1d(np.asarray(compartments, dtype=np.int64))

    def add_volume_term(self, receiving, driving, rate, compartments=None) -> None:
        """A first-order term k x volume x c(driving) in the equation of
        `receiving` (k < 0: a sink of `receiving` on itself)."""
        where = self._where(compartments)
        rows = pd.DataFrame({"compartment": where, "receiving": self._sv(receiving), "driving": self._sv(driving),
                             "rate": np.broadcast_to(np.asarray(rate, dtype=np.float64), where.shape)})
        self.volume_terms = pd.concat([self.volume_terms, rows], ignore_index=True) if len(self.volume_terms) else rows

    def add_decay(self, sv, rate, compartments=None) -> None:
        """First-order decay of `sv` at `rate` (per unit time, positive) in
        the given compartments (default: every interior one)."""
        self.add_volume_term(sv, sv, -np.abs(np.asarray(rate, dtype=np.float64)), compartments)

    def add_transformation(self, parent, product, rate, compartments=None) -> None:
        """`product` formed from `parent` at `rate` (per unit time): a source
        of the product driven by the parent. The parent's loss is a decay of
        its own (add_decay)."""
        self.add_volume_term(product, parent, np.abs(np.asarray(rate, dtype=np.float64)), compartments)

    def add_area_term(self, sv, compartment, adjacent, rate) -> None:
        """A term area x rate across the interface adjacent -> compartment
        (rate < 0: a loss of compartment's own concentration)."""
        k = np.atleast_1d(np.asarray(compartment, dtype=np.int64))
        rows = pd.DataFrame({"state_variable": self._sv(sv), "compartment": k,
                             "adjacent": np.broadcast_to(np.asarray(adjacent, dtype=np.int64), k.shape),
                             "rate": np.broadcast_to(np.asarray(rate, dtype=np.float64), k.shape)})
        self.area_terms = pd.concat([self.area_terms, rows], ignore_index=True) if len(self.area_terms) else rows

    # --------------------------------------------------------- equation-solver form

    @classmethod
    def from_equations(cls, A, B, RV=None, initial=None, guess=None) -> "Model":
        """A model of equation-solver mode ("EQNS")."""
        m = cls(mode="EQNS")
        m.equations = Equations(A, B, RV, initial, guess)
        return m

    # --------------------------------------------------------- files

    @classmethod
    def read(cls, directory) -> "Model":
        """The model of a model directory (either mode). Companion programs
        found there are taken along; a time-variable table whose file does
        not read as a table is kept as it is."""
        directory = Path(directory)
        control = find_file(directory, CONTROL_FILE)
        if control is None:
            raise FileNotFoundError(f'{directory} holds no "{CONTROL_FILE}"; it is not a model directory')
        options = Options.read(control)
        sidecar = _read_sidecar(directory)
        nsv = max(options.counts[0], 1)
        names = sidecar.get("state_variables") or []
        if options.mode == "EQNS" or len(names) != nsv:
            names = [f"sv{i}" for i in range(1, nsv + 1)]
        m = cls(names, mode=options.mode)
        m.options = options
        if options.mode == "EQNS":
            m.equations = Equations.read(directory, options.equations, options.time_variable)
            m.initial = None
        else:
            m._read_tables(directory, options.counts[1] + options.counts[2])
            extra = sidecar.get("compartment_columns") or {}
            for name, values in extra.items():
                if name not in m.compartments.columns and len(values) == m.size:
                    m.compartments[name] = values
        m.companions = _companions(directory)
        return m

    def _read_tables(self, directory: Path, nt: int) -> None:
        o = self.options
        self.add_compartments(kind=["interior"] * nt)
        self.initial = self.guess = None
        for table in TABLES + [_LoadsTable]:
            if table is InitialFile and not o.dynamic:
                continue
            if table is GuessFile and not o.newton:
                continue
            path = find_file(directory, table.name)
            varies = table.time_variable in o.time_variable
            if path is None:
                if varies:
                    continue
                if table is MultipliersFile:
                    continue
                raise FileNotFoundError(f'{directory} holds no "{table.name}", which the model needs')
            try:
                table.read(self, FieldReader(path, table.name))
            except (ModelFileError, ValueError) as e:
                if not varies:
                    raise ModelFileError(f"{directory}: {e}") from None
                self.raw[table.name] = path.read_bytes()
        # Flows or exchange coefficients of a time-variable table its program writes: not known here.
        for sv in self.state_variables:
            for column in (flow_column(sv), exchange_column(sv)):
                if column not in self.interfaces.columns:
                    self.interfaces[column] = np.nan
        for name in ("_nas_read", "_inface_adjacent"):
            self.__dict__.pop(name, None)

    def write(self, directory, validate: bool = True, executable=None) -> list[str]:
        """Writes every file of the model into `directory` (made if needed),
        after `validate` (which raises ModelError before anything is
        written there; `executable` is the ostra program it runs). Returns
        the warnings of the validation."""
        warnings = self.validate(executable=executable) if validate else []
        directory = Path(directory)
        directory.mkdir(parents=True, exist_ok=True)
        o = self.options
        names = [CONTROL_FILE]
        if o.mode == "EQNS":
            counts = o.counts
            o.write(directory, counts[0], counts[1] + counts[2], max(o.interfaces_max, 1), self.equations.size)
            names += self.equations.write(directory, o.dynamic, o.newton)
        else:
            nas = np.bincount(self.interfaces["compartment"].to_numpy(dtype=np.int64), minlength=self.size + 1)
            o.write(directory, len(self.state_variables), self.size, max(1, int(nas.max(initial=0))),
                    len(self.equation_numbers()))
            for table in TABLES + [_LoadsTable]:
                if table is InitialFile and not o.dynamic or table is GuessFile and not o.newton:
                    continue
                if table.name in self.raw:
                    (directory / table.name).write_bytes(self.raw[table.name])
                elif table in _OPTIONAL_FRAMES and getattr(self, _OPTIONAL_FRAMES[table]) is None:
                    continue
                elif not _unknown(self, table):
                    table.write(self, directory)
                else:
                    continue
                names.append(table.name)
        for name in names:
            remove_other_spellings(directory, name)
        for name, source in self.companions.items():
            target = directory / name
            if Path(source).resolve() != target.resolve():
                shutil.copy2(source, target)
        self._write_sidecar(directory)
        return warnings

    def _write_sidecar(self, directory: Path) -> None:
        extra = [c for c in self.compartments.columns if c not in COMPARTMENT_COLUMNS]
        data = {"state_variables": list(self.state_variables),
                "compartment_columns": {c: _plain(self.compartments[c]) for c in extra}}
        (directory / SIDECAR).write_text(json.dumps(data, indent=1) + "\n", encoding="utf-8")

    def validate(self, executable=None, timeout: float | None = None) -> list[str]:
        """Every fault of the model, before any file is written in the user's
        directory: raises ModelError naming those of the model's objects
        (all of them) or else the one `ostra --check` meets first in the
        files the model writes (into a temporary directory, removed again);
        returns the warnings of both otherwise. `executable` is the ostra
        program (see ostra.find_executable), `timeout` a time limit in s."""
        from .validation import validate

        return validate(self, executable=executable, timeout=timeout)

    def check(self, directory, executable=None, timeout: float | None = None) -> CheckReport:
        """Writes the model into `directory` and runs `ostra --check` there:
        returns its summary and warnings (with those ostra does not look
        for), or raises ostra.RunError with its message (ModelError when the
        model's objects cannot be written as they stand)."""
        from ..runner import run
        from .validation import model_problems, named_state_variables

        problems, warnings = model_problems(self)
        if problems:
            raise ModelError(problems)
        self.write(directory, validate=False)
        result = run(directory, executable=executable, timeout=timeout, check=True)
        found = tuple(warnings) + tuple(named_state_variables(self, w) for w in result.warnings)
        return CheckReport(result.stdout, found, result)

    def __repr__(self) -> str:
        if self.options.mode == "EQNS":
            n = self.equations.size if self.equations is not None else 0
            return f"<ostra.Model EQNS: {n} equations>"
        return (f"<ostra.Model ENVS: {len(self.state_variables)} state variables ({', '.join(self.state_variables)}), "
                f"{self.size} compartments, {len(self.interfaces)} interface sides>")


# Tables the model may lack (a run that does not need them).
_OPTIONAL_FRAMES = {InitialFile: "initial", GuessFile: "guess"}


class _LoadsTable:
    """"Loads.csv" among the tables."""

    name = LOADS_FILE
    time_variable = "loads"

    @staticmethod
    def read(model, r: FieldReader) -> None:
        model.loads = Loads.read(r.path, model.sv_name)

    @staticmethod
    def write(model, directory: Path) -> None:
        model.loads.write(directory, model.sv_number)


def _unknown(model: Model, table) -> bool:
    """True for a time-variable table whose values the model does not hold
    (its companion program gives them)."""
    if table.time_variable not in model.options.time_variable:
        return False
    if table.name in ("Flows.csv", "ECoefficients.csv"):
        prefix = "flow:" if table.name == "Flows.csv" else "exchange:"
        cols = [c for c in model.interfaces.columns if c.startswith(prefix)]
        return len(model.interfaces) > 0 and model.interfaces[cols].isna().all().all()
    return False


class Link:
    """The two sides of the link between compartments a and b. `flow[sv]`
    runs from a to b; `exchange[sv]` is the bulk coefficient (water content x
    E of a side); `area` and `weight` are those of a's side (set: both
    sides); `distance` and `mixing_length` are (a's, b's)."""

    def __init__(self, model: Model, a: int, b: int):
        self.model, self.a, self.b = model, a, b
        s = model.interfaces
        c, j = s["compartment"].to_numpy(), s["adjacent"].to_numpy()
        ia = np.nonzero((c == a) & (j == b))[0]
        ib = np.nonzero((c == b) & (j == a))[0]
        if not ia.size and not ib.size:
            raise KeyError(f"no interface joins compartments {a} and {b}")
        self._rows = (s.index[ia[0]] if ia.size else None, s.index[ib[0]] if ib.size else None)

    @property
    def flow(self) -> "_PerStateVariable":
        return _PerStateVariable(self, "flow")

    @property
    def exchange(self) -> "_PerStateVariable":
        return _PerStateVariable(self, "exchange")

    def _get(self, column: str):
        ra, rb = self._rows
        return self.model.interfaces.at[ra if ra is not None else rb, column]

    def _set_both(self, column: str, values) -> None:
        for row, value in zip(self._rows, values):
            if row is not None:
                self.model.interfaces.at[row, column] = value

    @property
    def area(self) -> float:
        return float(self._get("area"))

    @area.setter
    def area(self, value: float) -> None:
        self._set_both("area", (value, value))

    @property
    def weight(self) -> float:
        return float(self._get("weight"))

    @weight.setter
    def weight(self, value: float) -> None:
        self._set_both("weight", (value, value))

    def _pair(self, column: str):
        return tuple(None if r is None else float(self.model.interfaces.at[r, column]) for r in self._rows)

    @property
    def distance(self) -> tuple:
        return self._pair("distance")

    @distance.setter
    def distance(self, values) -> None:
        self._set_both("distance", values)

    @property
    def mixing_length(self) -> tuple:
        return self._pair("mixing_length")

    @mixing_length.setter
    def mixing_length(self, values) -> None:
        values = (values, values) if np.isscalar(values) else values
        self._set_both("mixing_length", values)

    def __repr__(self) -> str:
        return (f"<ostra link {self.a}-{self.b}: area {self.area:g}, flow {dict(self.flow.items())}, "
                f"exchange {dict(self.exchange.items())}>")


class _PerStateVariable:
    """flow or exchange of a link, by state variable (name or number)."""

    def __init__(self, link: Link, what: str):
        self.link, self.what = link, what

    def _column(self, sv) -> str:
        name = self.link.model._sv(sv)
        return flow_column(name) if self.what == "flow" else exchange_column(name)

    def __getitem__(self, sv) -> float:
        link, col = self.link, self._column(sv)
        ra, rb = link._rows
        s = link.model.interfaces
        if self.what == "flow":
            return float(-s.at[ra, col]) if ra is not None else float(s.at[rb, col])
        row, k = (ra, link.a) if ra is not None else (rb, link.b)
        return float(link.model._water(np.array([k]))[0] * s.at[row, col])

    def __setitem__(self, sv, value: float) -> None:
        link, col = self.link, self._column(sv)
        if self.what == "flow":
            link._set_both(col, (-float(value), float(value)))
        else:
            ea, eb = (link.model.side_exchange([k], value)[0] for k in (link.a, link.b))
            link._set_both(col, (ea, eb))

    def keys(self):
        return list(self.link.model.state_variables)

    def items(self):
        return [(sv, self[sv]) for sv in self.keys()]

    def __repr__(self) -> str:
        return repr(dict(self.items()))


def _plain(series: pd.Series) -> list:
    return [v.item() if hasattr(v, "item") else v for v in series.tolist()]


def _read_sidecar(directory: Path) -> dict:
    path = directory / SIDECAR
    if not path.is_file():
        return {}
    try:
        data = json.loads(path.read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return {}
    return data if isinstance(data, dict) else {}


def read_labels(directory) -> dict:
    """The state-variable names and compartment columns kept beside the
    model in `directory` ({} when there are none)."""
    return _read_sidecar(Path(directory))


def _companions(directory: Path) -> dict:
    out = {}
    for entry in sorted(os.listdir(directory)):
        path = directory / entry
        lower = entry.lower()
        stem = lower[:-4] if lower.endswith(".exe") else lower
        if path.is_file() and (lower.endswith(".exe") or (stem in COMPANION_NAMES and os.access(path, os.X_OK))):
            out[entry] = path.absolute()
    return out
