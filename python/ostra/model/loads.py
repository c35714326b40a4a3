"""External loads by time window: "Loads.csv".

The file is a sequence of time blocks; the first block whose window
start <= t < end holds the time t gives the loads of that time (a
steady-state run looks at the first block only, at time 0). Within a block,
a later record for the same compartment and state variable replaces an
earlier one, so the records keep their order.

Exports: Loads, LoadBlock.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from pathlib import Path

import pandas as pd

from .fields import FieldReader, ModelFileError, int_texts, single_texts, write_lines

LOADS_FILE = "Loads.csv"
_RECORDS_LABEL = "Compartment,state variable,load,closing -999"


@dataclass
class LoadBlock:
    """One time window: loads (mass per unit time) of (compartment, state
    variable) pairs, in file order, while start <= t < end."""

    start: float
    end: float
    records: list = field(default_factory=list)  # (compartment, state variable, load)
    label: str = ""

    def table(self) -> pd.DataFrame:
        return pd.DataFrame(self.records, columns=["compartment", "state_variable", "load"])


class Loads:
    """The blocks of "Loads.csv", in file order."""

    def __init__(self, blocks: list[LoadBlock] | None = None):
        self.blocks: list[LoadBlock] = list(blocks or [])

    def add(self, start: float, end: float, loads, label: str | None = None) -> LoadBlock:
        """Appends a block. `loads`: {(compartment, state variable): load} or
        a list of (compartment, state variable, load)."""
        items = list(loads.items()) if isinstance(loads, dict) else list(loads)
        records = [(int(k[0]), k[1], float(v)) for k, v in items] if isinstance(loads, dict) else \
            [(int(r[0]), r[1], float(r[2])) for r in items]
        block = LoadBlock(float(start), float(end), records, label or f"Loads from {start} to {end}")
        self.blocks.append(block)
        return block

    def table(self) -> pd.DataFrame:
        """All records: block, start, end, compartment, state_variable, load."""
        rows = [(i, b.start, b.end, *r) for i, b in enumerate(self.blocks, start=1) for r in b.records]
        return pd.DataFrame(rows, columns=["block", "start", "end", "compartment", "state_variable", "load"])

    def __len__(self) -> int:
        return len(self.blocks)

    def __iter__(self):
        return iter(self.blocks)

    def copy(self) -> "Loads":
        return Loads([LoadBlock(b.start, b.end, list(b.records), b.label) for b in self.blocks])

    # -- the file ------------------------------------------------------------

    @classmethod
    def read(cls, path: Path, sv_name) -> "Loads":
        """`sv_name(number)` gives the name of a state variable number."""
        r = FieldReader(path, LOADS_FILE)
        blocks = []
        while True:
            label = r.read_line("label line of a time block, or -999 ending the file")
            if label.strip(" \t") == "-999":
                return cls(blocks)
            start = r.single("start of the time window")
            end = r.single("end of the time window")
            r.read_line("label line after the time window")
            records = []
            while True:
                k = r.integer("compartment of a load record, or -999 ending the block")
                if k == -999:
                    break
                while True:
                    sv = r.integer("state variable of a load, or -999 ending the compartment's loads")
                    if sv == -999:
                        break
                    records.append((k, sv_name(sv), r.single("load W")))
            blocks.append(LoadBlock(start, end, records, label))

    def write(self, directory: Path, sv_number) -> None:
        """`sv_number(name)` gives the number a state variable is written as."""
        lines = []
        for b in self.blocks:
            label = b.label.strip() or "Loads"
            if label == "-999" or "\n" in label or "\r" in label:
                raise ModelFileError(f"the label of a load block must be one line other than -999, not {b.label!r}")
            start, end = single_texts([b.start, b.end])
            lines += [label, f"{start},{end}", _RECORDS_LABEL]
            loads = single_texts([r[2] for r in b.records])
            compartments = int_texts([r[0] for r in b.records])
            # The pairs of one compartment stand on one line; consecutive
            # records of the same compartment share it, keeping their order.
            line = None
            for i, (k, sv, _) in enumerate(b.records):
                if line is not None and b.records[i - 1][0] == k:
                    line += f",{sv_number(sv)},{loads[i]}"
                    continue
                if line is not None:
                    lines.append(line + ",-999")
                line = f"{compartments[i]},{sv_number(sv)},{loads[i]}"
            if line is not None:
                lines.append(line + ",-999")
            lines.append("-999")
        lines.append("-999")
        write_lines(directory, LOADS_FILE, lines)
