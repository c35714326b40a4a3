"""The run options of "Control.csv", by name.

"Control.csv" is 36 pairs of a label line and a value line (and an optional
37th pair choosing the linear solver). `Options` holds the values by name;
the counts that follow from the model (state variables, compartments, the
largest number of interfaces of one compartment, the number of equations)
are filled in by `Model.write` and are not options here.

Exports: Options, SCHEMES, OUTPUTS, TIME_VARIABLE_TABLES.
"""

from __future__ import annotations

from dataclasses import dataclass, field, fields
from pathlib import Path

from .fields import FieldReader, ModelFileError, _split, double_texts, single_texts, write_lines

CONTROL_FILE = "Control.csv"

# DynType by name.
SCHEMES = {"explicit-euler": 1, "maccormack": 2, "implicit-euler": 3, "crank-nicolson": 4}
# DynPrint by name.
OUTPUTS = {"profile": 1, "compartment": 2, "all": 3}
# MixLengthOption by name.
MIX_LENGTHS = {"centroid": 1, "interface": 2}
# Pairs 26 to 36: the tables a companion program rewrites during the run.
TIME_VARIABLE_TABLES = ("compartments", "interfaces", "flows", "exchange", "multipliers", "partitioning",
                        "boundary", "loads", "A", "B", "RV")
SOLVERS = ("gauss-jordan", "sparse-lu")

_LABELS = [
    "Run mode: ENVS (compartments) or EQNS (equations from files)",
    "Linear system (Y/N)",
    "Steady state (Y) or time stepping (N)",
    "Number of equations (EQNS mode only; ENVS counts them from SVCompmap.csv)",
    "State variables, compartments, additional compartments",
    "Largest number of adjacent compartments of one compartment",
    "Mixing length option (1 = centroid distance, 2 = from Interfaces.csv)",
    "Flow balance tolerance (percent)",
    "Time-stepping scheme (1 explicit Euler, 2 MacCormack, 3 implicit Euler, 4 Crank-Nicolson)",
    "Time step",
    "Number of time steps",
    "Time step whose matrices are dumped (0 = none)",
    "Results (1 profile snapshot, 2 one compartment, 3 all equations)",
    "Time step of the profile snapshot",
    "Compartment written and print interval (results option 2)",
    "Concentration-dependent storage R(C) (Y/N)",
    "Analytic Jacobian (Y/N)",
    "Finite-difference increment",
    "Newton trace NewtonInfo.dng (Y/N)",
    "Keep Newton solution non-negative (N = no)",
    "Random restart values: high, low",
    "Newton convergence limit",
    "Newton iterations, randomizing cycles, random samples",
    "Nonlinear term f(C) from varn.exe (Y/N)",
    "Nonlinear storage R(C) from Telm.exe (Y/N)",
    "Time-variable Compartments.csv (Y/N)",
    "Time-variable Interfaces.csv (Y/N)",
    "Time-variable Flows.csv (Y/N)",
    "Time-variable ECoefficients.csv (Y/N)",
    "Time-variable FlowandEMultipliers.csv (Y/N)",
    "Time-variable linearKdandTempCoef.csv (Y/N)",
    "Time-variable BOUNDARY.csv (Y/N)",
    "Time-variable Loads.csv (Y/N)",
    "Time-variable AEqnSolver.csv (Y/N)",
    "Time-variable BEqnSolver.csv (Y/N)",
    "Time-variable RVEqnSolver.csv (Y/N)",
    "Linear solver: GAUSS-JORDAN or SPARSE-LU",
]


@dataclass
class Options:
    """The options of one run. Names for the coded values: `mode` "ENVS" or
    "EQNS"; `scheme` a key of SCHEMES (another whole number is kept as it
    is, for a steady run that ignores it); `output` a key of OUTPUTS;
    `mix_length` "centroid" or "interface"; `solver` None (no pair 37),
    "gauss-jordan" or "sparse-lu"; `time_variable` the names of
    TIME_VARIABLE_TABLES whose companion program rewrites them."""

    mode: str = "ENVS"
    linear: bool = True
    steady: bool = False
    mix_length: object = "centroid"
    flow_balance_tolerance: float = 1.0
    scheme: object = "implicit-euler"
    time_step: float = 1.0
    steps: float = 1.0
    dump_step: int = 0
    output: object = "all"
    profile_step: float = 0.0
    followed_compartment: int = 1
    print_every: int = 1
    nonlinear_storage: bool = False
    analytic_jacobian: bool = False
    fd_increment: float = 1e-4
    newton_trace: bool = False
    non_negative: bool = True
    random_high: float = 1.0
    random_low: float = 0.0
    convergence_limit: float = 1e-10
    newton_iterations: int = 50
    randomizing_cycles: int = 5
    random_samples: int = 10
    f_term: bool = False
    r_term: bool = False
    time_variable: set = field(default_factory=set)
    solver: str | None = None
    # Kept as read where the model does not decide them (EQNS mode).
    equations: int = 0
    counts: tuple = (1, 1, 0)
    interfaces_max: int = 0

    # -- derived -------------------------------------------------------------

    @property
    def dynamic(self) -> bool:
        return not self.steady

    @property
    def scheme_number(self) -> int:
        return _code(self.scheme, SCHEMES, "scheme")

    @property
    def output_number(self) -> int:
        return _code(self.output, OUTPUTS, "output")

    @property
    def mix_length_number(self) -> int:
        return _code(self.mix_length, MIX_LENGTHS, "mix_length")

    @property
    def newton(self) -> bool:
        """True when the run is solved by Newton iteration."""
        explicit = self.dynamic and self.scheme_number in (1, 2) and not self.nonlinear_storage
        return not self.linear and not explicit

    @property
    def end_time(self) -> float:
        return float(self.time_step) * float(self.steps) if self.dynamic else 0.0

    def copy(self) -> "Options":
        o = Options(**{f.name: getattr(self, f.name) for f in fields(self)})
        o.time_variable = set(self.time_variable)
        return o

    # -- the file ------------------------------------------------------------

    @classmethod
    def read(cls, path: Path) -> "Options":
        r = FieldReader(path, CONTROL_FILE)
        lines = r.lines
        if len(lines) < 72:
            raise ModelFileError(f'file "{CONTROL_FILE}" holds {len(lines)} lines; it needs 72 (36 label and value lines)')

        def values(pair: int, count: int, kind: str):
            number = 2 * pair
            found = _split(lines[number - 1])
            if any(f for f in found[count:]):
                raise ModelFileError(f'file "{CONTROL_FILE}", line {number} (pair {pair}): extra value '
                                     f'"{next(f for f in found[count:] if f)}" on the value line')
            if len(found) < count:
                raise ModelFileError(f'file "{CONTROL_FILE}", line {number} (pair {pair}): the value line '
                                     f'holds {len(found)} of its {count} values')
            where = [number] * count
            return [float(v) for v in r.convert(found[:count], where, f"pair {pair}", kind)]

        def word(pair: int) -> str:
            found = _split(lines[2 * pair - 1])
            return (found[0] if found else "").upper()

        def yes(pair: int) -> bool:
            return word(pair) == "Y"

        o = cls()
        mode = word(1)
        if mode not in ("ENVS", "EQNS"):
            raise ModelFileError(f'file "{CONTROL_FILE}", line 2 (pair 1): "{mode}" is neither ENVS nor EQNS')
        o.mode = mode
        for pair, name, sense in ((2, "linear", "Y"), (3, "steady", "Y")):
            w = word(pair)
            if w not in ("Y", "N"):
                raise ModelFileError(f'file "{CONTROL_FILE}", line {2 * pair} (pair {pair}): "{w}" is neither Y nor N')
            setattr(o, name, w == sense)
        o.equations = int(values(4, 1, "int")[0])
        o.counts = tuple(int(v) for v in values(5, 3, "int"))
        o.interfaces_max = int(values(6, 1, "int")[0])
        o.mix_length = _name(int(values(7, 1, "int")[0]), MIX_LENGTHS)
        o.flow_balance_tolerance = values(8, 1, "single")[0]
        o.scheme = _name(int(values(9, 1, "int")[0]), SCHEMES)
        o.time_step = values(10, 1, "single")[0]
        o.steps = values(11, 1, "double")[0]
        o.dump_step = int(values(12, 1, "int")[0])
        o.output = _name(int(values(13, 1, "int")[0]), OUTPUTS)
        o.profile_step = values(14, 1, "double")[0]
        o.followed_compartment, o.print_every = (int(v) for v in values(15, 2, "int"))
        o.nonlinear_storage = yes(16)
        o.analytic_jacobian = yes(17)
        o.fd_increment = values(18, 1, "double")[0]
        o.newton_trace = yes(19)
        o.non_negative = word(20) != "N"
        o.random_high, o.random_low = values(21, 2, "single")
        o.convergence_limit = values(22, 1, "single")[0]
        o.newton_iterations, o.randomizing_cycles, o.random_samples = (int(v) for v in values(23, 3, "int"))
        o.f_term = yes(24)
        o.r_term = yes(25)
        o.time_variable = {name for pair, name in enumerate(TIME_VARIABLE_TABLES, start=26) if yes(pair)}
        if len(lines) >= 74:
            w = word(37)
            o.solver = {"": "gauss-jordan", "GAUSS-JORDAN": "gauss-jordan", "SPARSE-LU": "sparse-lu"}.get(w)
            if o.solver is None:
                raise ModelFileError(f'file "{CONTROL_FILE}", line 74 (pair 37): "{w}" is no linear solver '
                                     '(GAUSS-JORDAN or SPARSE-LU)')
            if w == "" and not any(ln.strip() for ln in lines[72:74]):
                o.solver = None
        return o

    def write(self, directory: Path, nsv: int, nt: int, nas: int, neqn: int) -> None:
        """Writes "Control.csv" with the model's counts."""
        yn = lambda b: "Y" if b else "N"  # noqa: E731
        s = lambda v: single_texts([v])[0]  # noqa: E731
        d = lambda v: double_texts([v])[0]  # noqa: E731
        values = [
            self.mode.upper(), yn(self.linear), yn(self.steady), str(neqn), f"{nsv},{nt},0", str(nas),
            str(self.mix_length_number), s(self.flow_balance_tolerance), str(self.scheme_number),
            s(self.time_step), d(self.steps), str(self.dump_step), str(self.output_number),
            d(self.profile_step), f"{self.followed_compartment},{self.print_every}",
            yn(self.nonlinear_storage), yn(self.analytic_jacobian), d(self.fd_increment), yn(self.newton_trace),
            yn(self.non_negative), f"{s(self.random_high)},{s(self.random_low)}", s(self.convergence_limit),
            f"{self.newton_iterations},{self.randomizing_cycles},{self.random_samples}",
            yn(self.f_term), yn(self.r_term),
        ] + [yn(name in self.time_variable) for name in TIME_VARIABLE_TABLES]
        if self.solver is not None:
            values.append(self.solver.upper())
        lines = []
        for label, value in zip(_LABELS, values):
            lines += [label, value]
        write_lines(directory, CONTROL_FILE, lines)


def _name(number: int, names: dict):
    for name, code in names.items():
        if code == number:
            return name
    return number


def _code(value, names: dict, what: str) -> int:
    if isinstance(value, str):
        key = value.lower().replace("_", "-").replace(" ", "-")
        if key not in names:
            raise ValueError(f"{what} {value!r} is none of {', '.join(names)}")
        return names[key]
    return int(value)
