"""The tables of a compartment model ("ENVS" mode), each read and written by
a class of its own.

Every class reads its file into the model's frames and writes it back from
them, in the layout ostra reads: one header line, then the records in
order. Values of -999 ("not given") are NaN in the frames. The
per-state-variable tables are frames indexed by compartment with one column
per state variable (by name); a file numbers the state variables 1, 2, ...
in the order of `Model.state_variables`.

Exports: TABLES (the classes in the order ostra reads their files),
KINDS, kind_code, kind_name, and the classes.
"""

from __future__ import annotations

from pathlib import Path

import numpy as np
import pandas as pd

from .fields import FieldReader, ModelFileError, MISSING, double_texts, int_texts, single_texts, write_lines

# Compartment kinds (column 3 of "Compartments.csv") by name.
KINDS = {"interior": 0, "zero": 1, "fixed": 2, "exit": 3, "extrapolated": 4}
_KIND_ALIASES = {"zero-concentration": "zero", "fixed-concentration": "fixed", "boundary": "fixed",
                 "flow-exit": "exit", "outlet": "exit", "extrapolated-boundary": "extrapolated"}
COMPARTMENT_COLUMNS = ["kind", "x", "y", "z", "volume", "temperature", "water_content", "solids"]
INTERFACE_COLUMNS = ["compartment", "adjacent", "area", "distance", "mixing_length", "weight"]


def kind_name(value):
    """The name of a kind code, or the code itself for kinds without one."""
    if isinstance(value, str):
        key = value.strip().lower().replace("_", "-").replace(" ", "-")
        key = _KIND_ALIASES.get(key, key)
        if key not in KINDS:
            raise ValueError(f"compartment kind {value!r} is none of {', '.join(KINDS)}")
        return key
    v = float(value)
    for name, code in KINDS.items():
        if v == code:
            return name
    return v


def kind_code(value) -> float:
    name = kind_name(value)
    return float(KINDS[name]) if isinstance(name, str) else float(name)


def kind_codes(series: pd.Series) -> np.ndarray:
    lookup = {name: float(code) for name, code in KINDS.items()}
    return np.array([lookup[v] if isinstance(v, str) and v in lookup else kind_code(v) for v in series],
                    dtype=np.float64)


def flow_column(sv: str) -> str:
    return f"flow:{sv}"


def exchange_column(sv: str) -> str:
    return f"exchange:{sv}"


def _nan(values: np.ndarray) -> np.ndarray:
    return np.where(values == MISSING, np.nan, values)


def _sides_order(model) -> np.ndarray:
    """The rows of the interface table, compartment by compartment, each
    compartment's interfaces in table order."""
    return np.argsort(model.interfaces["compartment"].to_numpy(), kind="stable")


def _nas(model) -> np.ndarray:
    """NAS(I) of every compartment: the number of its interfaces."""
    nt = len(model.compartments)
    counts = np.bincount(model.interfaces["compartment"].to_numpy(dtype=np.int64), minlength=nt + 1)
    return counts[1:nt + 1]


def _records(first: list[str], groups: list[str], nas: np.ndarray) -> list[str]:
    """Lines of a record per compartment: its first fields, then its groups."""
    out = []
    g = 0
    for head, n in zip(first, nas):
        n = int(n)
        out.append(head + "".join("," + x for x in groups[g:g + n]) if n else head)
        g += n
    return out


class StateVariableMapFile:
    """"SVCompmap.csv": which state variable is computed in which compartment."""

    name = "SVCompmap.csv"
    time_variable = None

    @staticmethod
    def read(model, r: FieldReader) -> None:
        nt, nsv = model.size, len(model.state_variables)
        r.read_line("header line")
        rows = []
        for isv in range(1, nsv + 1):
            number = r.integer(f"number of state variable {isv}")
            if number != isv:
                raise ModelFileError(f'file "{r.name}", line {r.last_line}: the row of state variable {isv} '
                                     f"starts with {number} (data error in SVCompMap.csv)")
            values = r.numbers(nt, lambda i, isv=isv: f"state variable {isv}, compartment {i + 1}", "int")
            if not np.isin(values, (0, 1)).all():
                bad = int(np.argmax(~np.isin(values, (0, 1))))
                raise ModelFileError(f'file "{r.name}", line {r.last_line}: state variable {isv} has map value '
                                     f"{values[bad]:g} in compartment {bad + 1}; only 0 and 1 are allowed")
            rows.append(values.astype(bool))
        model.presence = pd.DataFrame(np.array(rows, dtype=bool).reshape(nsv, nt).T,
                                      index=model.compartments.index, columns=model.state_variables)

    @staticmethod
    def write(model, directory: Path) -> None:
        nt = model.size
        lines = [f"State variable,compartments 1 to {nt}"]
        p = model.presence.reindex(index=model.compartments.index, columns=model.state_variables, fill_value=False)
        for isv, sv in enumerate(model.state_variables, start=1):
            lines.append(f"{isv}," + ",".join(np.where(p[sv].to_numpy(dtype=bool), "1", "0")))
        write_lines(directory, StateVariableMapFile.name, lines)


class CompartmentsFile:
    """"Compartments.csv": number, interface count, kind, centroid, volume,
    temperature, water content, solids term."""

    name = "Compartments.csv"
    time_variable = "compartments"

    @staticmethod
    def read(model, r: FieldReader) -> None:
        nt = model.size
        r.read_line("header line")
        v = r.numbers(10 * nt, lambda i: f"column {i % 10 + 1} of compartment {i // 10 + 1}", "single").reshape(nt, 10)
        bad = np.nonzero(v[:, 0] != np.arange(1, nt + 1))[0]
        if bad.size:
            raise ModelFileError(f'file "{r.name}": record {bad[0] + 1} starts with {v[bad[0], 0]:g} '
                                 "(Compartment(I, 1) <> I in ReadCompartments)")
        frame = pd.DataFrame(_nan(v[:, 3:10]), columns=COMPARTMENT_COLUMNS[1:],
                             index=pd.RangeIndex(1, nt + 1, name="compartment"))
        frame.insert(0, "kind", [kind_name(k) for k in v[:, 2]])
        model.compartments = frame
        # NAS(I), halves to even; negative: no record in the interface tables.
        model._nas_read = np.round(v[:, 1]).astype(np.int64)

    @staticmethod
    def write(model, directory: Path) -> None:
        c = model.compartments
        nas = _nas(model)
        cols = [single_texts(c[name].to_numpy(dtype=np.float64)) for name in COMPARTMENT_COLUMNS[1:]]
        kinds = single_texts(kind_codes(c["kind"]))
        lines = ["Number,Interfaces,Kind,X,Y,Z,Volume,Temperature,Water content,Solids"]
        lines += [",".join(row) for row in zip(int_texts(c.index), int_texts(nas), kinds, *cols)]
        write_lines(directory, CompartmentsFile.name, lines)


class InterfacesFile:
    """"Interfaces.csv": per compartment its interfaces in order: adjacent
    compartment, area, distance from the centroid, mixing length, weight."""

    name = "Interfaces.csv"
    time_variable = "interfaces"

    @staticmethod
    def read(model, r: FieldReader) -> None:
        r.read_line("header line")
        nas = np.maximum(model._nas_read, -1)
        sizes = np.where(nas >= 0, 1 + 5 * nas, 0)
        values = r.numbers(int(sizes.sum()), "a value of an interface record", "single")
        starts = np.concatenate([[0], np.cumsum(sizes)[:-1]])
        own = nas >= 0
        first = values[starts[own]]
        numbers = np.nonzero(own)[0] + 1
        bad = np.nonzero(first != numbers)[0]
        if bad.size:
            raise ModelFileError(f'file "{r.name}": the record of compartment {numbers[bad[0]]} starts with '
                                 f"{first[bad[0]]:g} (J = 1 And Inface(I, J) <> I in ReadInterfaces)")
        keep = np.ones(values.size, dtype=bool)
        keep[starts[own]] = False
        groups = values[keep].reshape(-1, 5)
        compartment = np.repeat(np.arange(1, len(nas) + 1), np.maximum(nas, 0))
        frame = pd.DataFrame({"compartment": compartment, "adjacent": np.round(groups[:, 0]).astype(np.int64)})
        for j, name in enumerate(INTERFACE_COLUMNS[2:], start=1):
            frame[name] = _nan(groups[:, j])
        model.interfaces = frame
        model._inface_adjacent = groups[:, 0]

    @staticmethod
    def write(model, directory: Path) -> None:
        sides = model.interfaces.iloc[_sides_order(model)]
        cols = [int_texts(sides["adjacent"])] + [single_texts(sides[c].to_numpy(dtype=np.float64))
                                                 for c in INTERFACE_COLUMNS[2:]]
        groups = [",".join(g) for g in zip(*cols)]
        lines = ["Compartment,then per interface: adjacent compartment,area,distance from centroid,"
                 "mixing length,upwind weight"]
        lines += _records(int_texts(model.compartments.index), groups, _nas(model))
        write_lines(directory, InterfacesFile.name, lines)


class _PairTable:
    """"Flows.csv" and "ECoefficients.csv": per state variable and
    compartment the pairs (adjacent compartment, value) of its interfaces."""

    name = ""
    column = staticmethod(flow_column)
    header = ""

    @classmethod
    def read(cls, model, r: FieldReader) -> None:
        r.read_line("header line")
        nas = np.maximum(model._nas_read, -1)
        sizes = np.where(nas >= 0, 2 + 2 * nas, 0)
        total = int(sizes.sum())
        sides = model.interfaces
        holds = model.presence.to_numpy(dtype=bool) & (kind_codes(model.compartments["kind"]) == 0)[:, None]
        own = nas >= 0
        starts = np.concatenate([[0], np.cumsum(sizes)[:-1]])[own]
        keep = np.ones(total, dtype=bool)
        keep[starts] = keep[starts + 1] = False
        for isv, sv in enumerate(model.state_variables, start=1):
            values = r.numbers(total, f"a value of a record of state variable {isv}", "single")
            numbers = values[starts + 1]
            bad = np.nonzero(numbers != np.nonzero(own)[0] + 1)[0]
            if bad.size:
                raise ModelFileError(f'file "{r.name}": the record of state variable {isv}, compartment '
                                     f"{np.nonzero(own)[0][bad[0]] + 1} holds {numbers[bad[0]]:g} in column 2")
            pairs = values[keep].reshape(-1, 2)
            # Where ostra assembles a compartment, the adjacent compartments
            # must be those of "Interfaces.csv"; elsewhere it never reads them.
            used = holds[sides["compartment"].to_numpy() - 1, isv - 1]
            wrong = np.nonzero(used & (pairs[:, 0] != model._inface_adjacent))[0]
            if wrong.size:
                i = wrong[0]
                raise ModelFileError(f'file "{r.name}": state variable {isv}, compartment '
                                     f"{sides['compartment'].iloc[i]} names adjacent compartment {pairs[i, 0]:g} "
                                     f'where "Interfaces.csv" names {model._inface_adjacent[i]:g}')
            model.interfaces[cls.column(sv)] = _nan(pairs[:, 1])

    @classmethod
    def write(cls, model, directory: Path) -> None:
        sides = model.interfaces.iloc[_sides_order(model)]
        adjacent = int_texts(sides["adjacent"])
        nas = _nas(model)
        numbers = int_texts(model.compartments.index)
        lines = [cls.header]
        for isv, sv in enumerate(model.state_variables, start=1):
            values = single_texts(sides[cls.column(sv)].to_numpy(dtype=np.float64))
            groups = [a + "," + v for a, v in zip(adjacent, values)]
            lines += _records([f"{isv},{k}" for k in numbers], groups, nas)
        write_lines(directory, cls.name, lines)


class FlowsFile(_PairTable):
    """"Flows.csv": the flow into each compartment across each interface."""

    name = "Flows.csv"
    time_variable = "flows"
    column = staticmethod(flow_column)
    header = "State variable,compartment,then per interface: adjacent compartment,flow into the compartment"


class ExchangeFile(_PairTable):
    """"ECoefficients.csv": each side's dispersive exchange coefficient E."""

    name = "ECoefficients.csv"
    time_variable = "exchange"
    column = staticmethod(exchange_column)
    header = "State variable,compartment,then per interface: adjacent compartment,dispersive exchange coefficient"


def _per_sv_frame(model, values: np.ndarray) -> pd.DataFrame:
    """NSV x NT values (state variable major) as a compartment x state variable frame."""
    nsv, nt = len(model.state_variables), model.size
    return pd.DataFrame(values.reshape(nsv, nt).T, index=model.compartments.index, columns=model.state_variables)


def _per_sv_lines(model, header: str, columns: list) -> list[str]:
    """Lines "sv,compartment,values..." for every state variable and compartment."""
    numbers = int_texts(model.compartments.index)
    lines = [header]
    for isv, sv in enumerate(model.state_variables, start=1):
        texts = [c(sv) for c in columns]
        lines += [f"{isv},{k}," + ",".join(v) for k, *v in zip(numbers, *texts)]
    return lines


def _column(frame: pd.DataFrame, model, texts):
    f = frame.reindex(index=model.compartments.index, columns=model.state_variables)
    return lambda sv: texts(f[sv].to_numpy(dtype=np.float64))


class PartitioningFile:
    """"linearKdandTempCoef.csv": partition and temperature coefficients."""

    name = "linearKdandTempCoef.csv"
    time_variable = "partitioning"

    @staticmethod
    def read(model, r: FieldReader) -> None:
        r.read_line("header line")
        n = len(model.state_variables) * model.size
        v = r.numbers(4 * n, "a value of a partitioning record", "single").reshape(n, 4)
        model.partition = _per_sv_frame(model, _nan(v[:, 2]))
        model.temperature_coefficient = _per_sv_frame(model, _nan(v[:, 3]))

    @staticmethod
    def write(model, directory: Path) -> None:
        lines = _per_sv_lines(model, "State variable,compartment,partition coefficient,temperature coefficient",
                              [_column(model.partition, model, single_texts),
                               _column(model.temperature_coefficient, model, single_texts)])
        write_lines(directory, PartitioningFile.name, lines)


def _named_pairs(v: np.ndarray, nsv: int, nt: int):
    """For records (state variable, compartment, value): the place
    (sv - 1) x NT + (compartment - 1) of each, and which name a pair of the
    model (whole numbers within range)."""
    sv, k = v[:, 0], v[:, 1]
    named = (sv == np.round(sv)) & (k == np.round(k)) & (sv >= 1) & (sv <= nsv) & (k >= 1) & (k <= nt)
    place = np.where(named, (sv - 1) * nt + (k - 1), -1).astype(np.int64)
    return place, named


class BoundaryFile:
    """"BOUNDARY.csv": the concentration a boundary compartment imposes;
    the first record naming a state variable and compartment holds it."""

    name = "BOUNDARY.csv"
    time_variable = "boundary"

    @staticmethod
    def read(model, r: FieldReader) -> None:
        r.read_line("header line")
        nsv, nt = len(model.state_variables), model.size
        v = r.numbers(3 * nsv * nt, "a value of a boundary record", "single").reshape(-1, 3)
        out = np.full(nsv * nt, np.nan)
        place, named = _named_pairs(v, nsv, nt)
        # The first record of a pair holds its concentration, wherever it stands.
        first_place, first = np.unique(place[named], return_index=True)
        out[first_place] = _nan(v[named, 2][first])
        model.boundary = _per_sv_frame(model, out)

    @staticmethod
    def write(model, directory: Path) -> None:
        lines = _per_sv_lines(model, "State variable,compartment,boundary concentration",
                              [_column(model.boundary, model, single_texts)])
        write_lines(directory, BoundaryFile.name, lines)


class InitialFile:
    """"INITIAL.CSV": initial concentrations (Double), dynamic runs."""

    name = "INITIAL.CSV"
    time_variable = None

    @staticmethod
    def read(model, r: FieldReader) -> None:
        r.read_line("header line")
        n = len(model.state_variables) * model.size
        v = r.numbers(3 * n, "a value of an initial-concentration record", "double").reshape(n, 3)
        model.initial = _per_sv_frame(model, _nan(v[:, 2]))

    @staticmethod
    def write(model, directory: Path) -> None:
        lines = _per_sv_lines(model, "State variable,compartment,initial concentration",
                              [_column(model.initial, model, double_texts)])
        write_lines(directory, InitialFile.name, lines)


class GuessFile:
    """"Guess.CSV": Newton's starting values. The records whose state
    variable is computed in their compartment give the guesses of the
    equations in equation order."""

    name = "Guess.CSV"
    time_variable = None

    @staticmethod
    def read(model, r: FieldReader) -> None:
        r.read_line("header line")
        nsv, nt = len(model.state_variables), model.size
        v = r.numbers(3 * nsv * nt, "a value of a guess record", "single").reshape(-1, 3)
        presence = model.presence.to_numpy(dtype=bool).T.reshape(-1)  # state variable outer
        place, named = _named_pairs(v, nsv, nt)
        used = named.copy()
        used[named] = presence[place[named]]
        equations = np.nonzero(presence)[0]  # equation order: state variable outer, compartment inner
        guesses = _nan(v[used, 2])
        if len(guesses) > len(equations):
            raise ModelFileError(f'file "{r.name}": {len(guesses)} records give guesses, but the model has '
                                 f"{len(equations)} equations")
        out = np.full(nsv * nt, np.nan)
        out[equations[:len(guesses)]] = guesses
        model.guess = _per_sv_frame(model, out)

    @staticmethod
    def write(model, directory: Path) -> None:
        lines = _per_sv_lines(model, "State variable,compartment,guess",
                              [_column(model.guess, model, single_texts)])
        write_lines(directory, GuessFile.name, lines)


class _RecordsFile:
    """A table of records in file order, ended by -999: each field a whole
    number ("int"), a state variable ("sv", written by its number) or a
    Single ("single")."""

    name = ""
    time_variable = None
    attribute = ""
    header = ""
    fields: list = []       # (column, kind)
    terminated = True       # False: the end of the file may end the records too

    @classmethod
    def columns(cls) -> list[str]:
        return [c for c, _ in cls.fields]

    @classmethod
    def read(cls, model, r: FieldReader) -> None:
        r.read_line("header line")
        kinds = ["single" if k == "single" else "int" for _, k in cls.fields]
        v = r.records(kinds, f"a field of a record of {cls.name}", cls.terminated)
        frame = pd.DataFrame({c: [model.sv_name(x) for x in v[:, i]] if k == "sv" else
                              (v[:, i].astype(np.int64) if k == "int" else v[:, i])
                              for i, (c, k) in enumerate(cls.fields)}, columns=cls.columns())
        setattr(model, cls.attribute, frame)

    @classmethod
    def write(cls, model, directory: Path) -> None:
        t = getattr(model, cls.attribute)
        texts = [[str(model.sv_number(x)) for x in t[c]] if k == "sv" else
                 (int_texts(t[c].to_numpy(dtype=np.int64)) if k == "int" else
                  single_texts(t[c].to_numpy(dtype=np.float64))) for c, k in cls.fields]
        write_lines(directory, cls.name, [cls.header] + [",".join(row) for row in zip(*texts)] + ["-999"])


class MultipliersFile(_RecordsFile):
    """"FlowandEMultipliers.csv": multipliers of single matrix entries."""

    name = "FlowandEMultipliers.csv"
    time_variable = "multipliers"
    attribute = "multipliers"
    header = ("State variable,row compartment,column compartment,interface compartment,interface compartment,"
              "exchange multiplier,flow multiplier")
    fields = [("state_variable", "sv"), ("row", "int"), ("column", "int"), ("interface_a", "int"),
              ("interface_b", "int"), ("exchange_multiplier", "single"), ("flow_multiplier", "single")]
    terminated = False


class VolumeTermsFile(_RecordsFile):
    """"VolumeSrcSnks.csv": first-order terms within a compartment."""

    name = "VolumeSrcSnks.csv"
    attribute = "volume_terms"
    header = "Compartment,receiving state variable,driving state variable,rate constant (negative = sink)"
    fields = [("compartment", "int"), ("receiving", "sv"), ("driving", "sv"), ("rate", "single")]


class AreaTermsFile(_RecordsFile):
    """"AreaSrcSnks.csv": terms across an interface, per unit area."""

    name = "AreaSrcSnks.csv"
    attribute = "area_terms"
    header = "State variable,compartment,adjacent compartment,rate per unit area (negative = sink)"
    fields = [("state_variable", "sv"), ("compartment", "int"), ("adjacent", "int"), ("rate", "single")]


# In the order they are read: each may need what the ones before it read.
TABLES = [StateVariableMapFile, CompartmentsFile, InterfacesFile, FlowsFile, ExchangeFile, PartitioningFile,
          BoundaryFile, InitialFile, GuessFile, MultipliersFile, VolumeTermsFile, AreaTermsFile]
