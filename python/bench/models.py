"""Generated model directories for the Python benchmarks, written as a user
would write them: a chain of N compartments (a fixed-concentration inflow,
N interior compartments in a row with flow, dispersion and first-order
decay, a load into the first, a flow exit) and a single compartment with a
load and a decay.

    write_chain(directory, n, steps, dt=1.0, sparse=False, initial=1.0)
    write_one_compartment(directory, steps, dt=1.0)
"""

from __future__ import annotations

from pathlib import Path

_LABELS = [
    "Mode (ENVS or EQNS)", "Linear (Y/N)", "Steady state (Y/N)", "Number of equations",
    "State variables, compartments, more compartments", "Maximum adjacent compartments",
    "Mixing length option", "Flow balance tolerance percent", "Time-stepping scheme", "Time step",
    "Number of time steps", "Dump step", "Dynamic print option", "Profile step",
    "Compartment printed, print interval", "Nonlinear storage (Y/N)", "Analytic Jacobian (Y/N)",
    "Finite-difference increment", "Newton trace (Y/N)", "Non-negative (Y/N)", "Random high, low",
    "Convergence limit", "Newton iterations, randomizing cycles, samples", "f(C) term (Y/N)",
    "R(C) term (Y/N)", "Time-variable compartments", "Time-variable interfaces", "Time-variable flows",
    "Time-variable exchange coefficients", "Time-variable multipliers", "Time-variable partitioning",
    "Time-variable boundary", "Time-variable loads", "Time-variable A matrix", "Time-variable B vector",
    "Time-variable storage",
]


def _write(directory: Path, name: str, text: str) -> None:
    (directory / name).write_bytes(text.replace("\n", "\r\n").encode("ascii"))


def _control(nt: int, nas: int, steps: int, dt: float, sparse: bool) -> str:
    values = ["ENVS", "Y", "N", "0", f"1,{nt},0", str(nas), "1", "1", "3", repr(dt), str(steps), "0", "3", "0",
              "1,1", "N", "N", ".0001", "N", "Y", "1,0", "1E-10", "50,5,10", "N", "N"] + ["N"] * 11
    text = "".join(f"{label}\n{value}\n" for label, value in zip(_LABELS, values))
    if sparse:
        text += "Linear solver\nSPARSE-LU\n"
    return text


def _tables(directory: Path, kinds: list[int], xs: list[float], volumes: list[float],
            links: list[tuple[int, int, float, float]], decay: list[tuple[int, float]], load: tuple[int, float],
            fixed: list[int], initial: float = 0.0) -> None:
    nt = len(kinds)
    of: list[list[int]] = [[] for _ in range(nt)]
    for i, (a, b, _, _) in enumerate(links):
        of[a - 1].append(i)
        of[b - 1].append(i)
    _write(directory, "SVCompmap.csv", "State variable, map\n1," + ",".join("1" if k == 0 else "0" for k in kinds) + "\n")
    rows = [f"{k},{len(of[k - 1])},{kinds[k - 1]},{xs[k - 1]!r},0,0,{volumes[k - 1]!r},20,1,0" for k in range(1, nt + 1)]
    _write(directory, "Compartments.csv", "Number,Interfaces,Kind,X,Y,Z,Volume,Temperature,Water,Solids\n"
           + "\n".join(rows) + "\n")
    interfaces, flows, ecoefs = [], [], []
    for k in range(1, nt + 1):
        i_row, f_row, e_row = [str(k)], ["1", str(k)], ["1", str(k)]
        for i in of[k - 1]:
            a, b, q, e = links[i]
            adj = b if a == k else a
            i_row += [str(adj), "10", ".5", "1", "1"]
            f_row += [str(adj), repr(-q if a == k else q)]
            e_row += [str(adj), repr(e)]
        interfaces.append(",".join(i_row))
        flows.append(",".join(f_row))
        ecoefs.append(",".join(e_row))
    _write(directory, "Interfaces.csv", "Compartment, then adjacent, area, distance, mixing length, weight\n"
           + "\n".join(interfaces) + "\n")
    _write(directory, "Flows.csv", "State variable, compartment, then adjacent, flow\n" + "\n".join(flows) + "\n")
    _write(directory, "ECoefficients.csv", "State variable, compartment, then adjacent, exchange coefficient\n"
           + "\n".join(ecoefs) + "\n")
    _write(directory, "linearKdandTempCoef.csv", "SV, compartment, Kd, theta\n"
           + "".join(f"1,{k},0,1\n" for k in range(1, nt + 1)))
    _write(directory, "BOUNDARY.csv", "SV, compartment, boundary\n"
           + "".join(f"1,{k},{1 if k in fixed else 0}\n" for k in range(1, nt + 1)))
    _write(directory, "INITIAL.CSV", "SV, compartment, initial\n"
           + "".join(f"1,{k},{initial if kinds[k - 1] == 0 else 0}\n" for k in range(1, nt + 1)))
    _write(directory, "VolumeSrcSnks.csv", "Compartment, receiving, driving, rate\n"
           + "".join(f"{k},1,1,{r!r}\n" for k, r in decay) + "-999\n")
    _write(directory, "AreaSrcSnks.csv", "SV, compartment, adjacent, rate\n-999\n")
    _write(directory, "FlowandEMultipliers.csv", "SV, row, column, interface, interface, exchange, flow\n-999\n")
    _write(directory, "Loads.csv", f"Loads\n0,1E9\nCompartment, state variable, load\n{load[0]},1,{load[1]!r},-999\n"
           "-999\n-999\n")


def write_chain(directory: str | Path, n: int, steps: int, dt: float = 1.0, sparse: bool = False,
                initial: float = 1.0) -> Path:
    """A chain of `n` interior compartments between an inflow and an exit,
    every one starting at the concentration `initial`."""
    directory = Path(directory)
    directory.mkdir(parents=True, exist_ok=True)
    kinds = [2] + [0] * n + [3]
    links = [(k, k + 1, 50.0, 0.0 if k == n + 1 else 2.0) for k in range(1, n + 2)]
    _tables(directory, kinds, [float(k) for k in range(n + 2)], [1.0] + [100.0] * n + [1.0], links,
            [(k, -0.01) for k in range(2, n + 2)], (2, 100.0), [1], initial)
    _write(directory, "Control.csv", _control(n + 2, 2, steps, dt, sparse))
    return directory


def write_one_compartment(directory: str | Path, steps: int, dt: float = 1.0) -> Path:
    """One compartment with a load and a first-order decay."""
    directory = Path(directory)
    directory.mkdir(parents=True, exist_ok=True)
    _tables(directory, [0], [0.0], [10.0], [], [(1, -0.1)], (1, 2.0), [])
    _write(directory, "Control.csv", _control(1, 1, steps, dt, False))
    return directory
