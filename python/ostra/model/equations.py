"""The equation-solver form ("EQNS"): the system given as arrays.

    RV(i) dc(i)/dt = sum_j A(i, j) c(j) + B(i)    (dynamic)
    sum_j A(i, j) c(j) = B(i)                     (steady state; B as given)

"AEqnSolver.csv" (A row by row, Double), "BEqnSolver.csv" (B, Double),
"RVEqnSolver.csv" (RV, Single, dynamic runs), "InitialEqnSolver.csv"
(initial values, Single, dynamic runs) and "GuessEqnSolver.csv" (Newton's
starting values, Double); none has a header line.

Exports: Equations.
"""

from __future__ import annotations

from dataclasses import dataclass
from pathlib import Path

import numpy as np

from ..files import find_file
from .fields import FieldReader, double_texts, single_texts, write_lines

A_FILE, B_FILE, RV_FILE = "AEqnSolver.csv", "BEqnSolver.csv", "RVEqnSolver.csv"
INITIAL_FILE, GUESS_FILE = "InitialEqnSolver.csv", "GuessEqnSolver.csv"


@dataclass
class Equations:
    A: np.ndarray
    B: np.ndarray
    RV: np.ndarray | None = None
    initial: np.ndarray | None = None
    guess: np.ndarray | None = None

    def __post_init__(self):
        self.A = np.atleast_2d(np.asarray(self.A, dtype=np.float64))
        self.B = np.asarray(self.B, dtype=np.float64).reshape(-1)
        for name in ("RV", "initial", "guess"):
            v = getattr(self, name)
            if v is not None:
                setattr(self, name, np.asarray(v, dtype=np.float64).reshape(-1))

    @property
    def size(self) -> int:
        return self.A.shape[0]

    def copy(self) -> "Equations":
        c = lambda v: None if v is None else v.copy()  # noqa: E731
        return Equations(self.A.copy(), self.B.copy(), c(self.RV), c(self.initial), c(self.guess))

    @classmethod
    def read(cls, directory: Path, neqn: int, time_variable: set) -> "Equations":
        def read(name: str, count: int, kind: str, needed: bool, varies: bool = False):
            path = find_file(directory, name)
            if path is None:
                if needed and not varies:
                    raise FileNotFoundError(f'{directory} holds no "{name}"')
                return None
            r = FieldReader(path, name)
            return r.numbers(count, f"value of {name}", kind)

        n = neqn
        A = read(A_FILE, n * n, "double", True, "A" in time_variable)
        B = read(B_FILE, n, "double", True, "B" in time_variable)
        return cls(
            A=np.full((n, n), np.nan) if A is None else A.reshape(n, n),
            B=np.full(n, np.nan) if B is None else B,
            RV=read(RV_FILE, n, "single", False),
            initial=read(INITIAL_FILE, n, "single", False),
            guess=read(GUESS_FILE, n, "double", False),
        )

    def write(self, directory: Path, dynamic: bool, newton: bool) -> list[str]:
        """Writes the files the run reads; returns their names."""
        written = []

        def put(name, values, texts, per_line):
            if values is None or np.isnan(values).all():
                return
            t = texts(values)
            rows = [",".join(t[i:i + per_line]) for i in range(0, len(t), per_line)]
            write_lines(directory, name, rows)
            written.append(name)

        n = self.size
        put(A_FILE, self.A.reshape(-1), double_texts, max(n, 1))
        put(B_FILE, self.B, double_texts, 1)
        if dynamic:
            put(RV_FILE, self.RV, single_texts, 1)
            put(INITIAL_FILE, self.initial, single_texts, 1)
        if newton:
            put(GUESS_FILE, self.guess, double_texts, 1)
        return written
