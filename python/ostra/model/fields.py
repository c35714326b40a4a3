"""Reading and writing the fields of ostra's input files.

Reading follows ostra's own rules: a header or label line is taken whole;
after it values are taken one after another as fields, a field ending at a
comma or at the end of a line, blanks and double quotes around it removed,
so line breaks carry no meaning inside a table. A comma that ends a line
closes the field before it and opens none; a line holding nothing carries
no field. Numbers are plain decimals ("1", ".5", "-2.5E+03"); a field read
as a Single is rounded to the nearest Single from its decimal text, as
ostra's reader does (not through a Double, which can round differently
halfway between two Singles); a whole number is the field rounded half to
even and must lie within -32768..32767.

Writing: `single_texts`, `double_texts` and `int_texts` give the texts of
whole arrays (each distinct value formatted once), each reading back as
exactly the value meant (python/ostra/numbers.py).

Exports: FieldReader, ModelFileError, single_texts, double_texts, int_texts,
write_lines, remove_other_spellings, MISSING.
"""

from __future__ import annotations

import os
import re
from decimal import Decimal, InvalidOperation
from fractions import Fraction
from pathlib import Path

import numpy as np
import pandas as pd

from ..numbers import NumberTextError, _nearest_single, double_text, single_text

MISSING = -999.0
_NUMBER = re.compile(r"[0-9.+\-eE]+")
_BAD_CHARACTER = re.compile(r"[^0-9.+\-eE,\s\"]")
_SINGLE_MAX = float(np.finfo(np.float32).max)


class ModelFileError(ValueError):
    """An input file that cannot be read as ostra reads it: the message names
    the file, the line, the field and the value."""


def _split(line: str) -> list[str]:
    """The fields of one line, as ostra's reader takes them."""
    if '"' not in line:
        parts = [p.strip(" \t") for p in line.split(",")]
        if parts[-1] == "":
            parts.pop()  # nothing after the line's last comma, or a blank line
        return parts
    fields, pos, n = [], 0, len(line)
    while line[pos:].strip(" \t"):
        p = pos
        while p < n and line[p] in " \t":
            p += 1
        if line[p] == '"':
            close = line.find('"', p + 1)
            fields.append(line[p + 1:] if close < 0 else line[p + 1:close])
            p = n if close < 0 else close + 1
            comma = line.find(",", p)
            p = n if comma < 0 else comma
        else:
            comma = line.find(",", p)
            end = n if comma < 0 else comma
            fields.append(line[p:end].rstrip(" \t"))
            p = end
        if p >= n:
            break
        pos = p + 1
    return fields


class FieldReader:
    """The lines and fields of one input file, read from its start."""

    def __init__(self, path: Path, name: str | None = None):
        self.path = Path(path)
        self.name = name or self.path.name
        data = self.path.read_bytes()
        if data.startswith(b"\xef\xbb\xbf"):
            data = data[3:]
        text = data.decode("latin-1")
        lines = text.split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        self.lines = [ln[:-1] if ln.endswith("\r") else ln for ln in lines]
        self._fields: list[list[str] | None] = [None] * len(self.lines)
        self.line = 0    # index of the line the next field is looked for in
        self.field = 0   # index of that field within its line
        self.last_line = 0  # 1-based number of the line of the last field or line read

    # -- lines -------------------------------------------------------------

    def _line_fields(self, i: int) -> list[str]:
        f = self._fields[i]
        if f is None:
            f = self._fields[i] = _split(self.lines[i])
        return f

    def read_line(self, what: str = "a line") -> str:
        """The rest of a line whose fields were partly read, or the next whole line."""
        if self.field > 0 and self.line < len(self.lines):
            rest = self._line_fields(self.line)[self.field:]
            self.last_line = self.line + 1
            self.line += 1
            self.field = 0
            return ",".join(rest)
        if self.line >= len(self.lines):
            self.fail(what, "a line", None)
        text = self.lines[self.line]
        self.last_line = self.line + 1
        self.line += 1
        self.field = 0
        return text


    # -- fields ------------------------------------------------------------

    def take(self, count: int, what: str) -> tuple[list[str], list[int]]:
        """The next `count` fields and the (1-based) line of each."""
        out: list[str] = []
        where: list[int] = []
        while len(out) < count:
            if self.line >= len(self.lines):
                self.fail(what, "a number", None)
            fields = self._line_fields(self.line)
            room = len(fields) - self.field
            if room <= 0:
                self.line += 1
                self.field = 0
                continue
            n = min(room, count - len(out))
            out.extend(fields[self.field:self.field + n])
            where.extend([self.line + 1] * n)
            self.field += n
            self.last_line = self.line + 1
            if self.field >= len(fields):
                self.line += 1
                self.field = 0
        return out, where

    def records(self, kinds: list[str], what: str, terminated: bool = True) -> np.ndarray:
        """Records of len(kinds) fields up to one whose first field is -999
        (of which only that field is read), as rows of a float64 array;
        `kinds` gives each field's type ("int", "single", "double"). Without
        `terminated`, the end of the file ends the records too."""
        width = len(kinds)
        fields, where = [], []
        for i in range(self.line, len(self.lines)):
            rest = self._line_fields(i)[self.field if i == self.line else 0:]
            fields += rest
            where += [i + 1] * len(rest)
        starts = pd.to_numeric(pd.Series(fields[0::width], dtype=object), errors="coerce").to_numpy(np.float64)
        ends = np.nonzero(np.round(starts) == MISSING)[0]
        count = int(ends[0]) if ends.size else len(fields) // width
        if not ends.size and (terminated or len(fields) % width):
            self.take(len(fields) + 1, f"{what}, or -999 ending the records" if terminated else what)
        rows = np.empty((count, width))
        for c, kind in enumerate(kinds):
            rows[:, c] = self.convert(fields[c:count * width:width], where[c:count * width:width], what, kind)
        self.take(count * width + (1 if ends.size else 0), what)
        return rows

    def numbers(self, count: int, what, kind: str = "double") -> np.ndarray:
        """`count` numbers as float64: "double" as read, "single" the Single
        each is read as, "int" the whole number (Integer range)."""
        fields, where = self.take(count, what if isinstance(what, str) else "a number")
        return self.convert(fields, where, what, kind)

    def single(self, what: str) -> float:
        return float(self.numbers(1, what, "single")[0])

    def integer(self, what: str) -> int:
        return int(self.numbers(1, what, "int")[0])

    def convert(self, fields: list[str], where: list[int], what, kind: str) -> np.ndarray:
        """`what` is a text, or a function of the field's index giving one."""
        if not fields:
            return np.empty(0)
        if _BAD_CHARACTER.search("".join(fields)) or "" in fields:
            for i, f in enumerate(fields):
                if not _NUMBER.fullmatch(f):
                    self._fail_field(where[i], what, i, "a whole number" if kind == "int" else "a number", f)
        try:
            values = np.array(fields, dtype=np.float64)
        except ValueError:
            values = np.empty(len(fields))
            for i, f in enumerate(fields):
                try:
                    values[i] = float(f)
                except ValueError:
                    self._fail_field(where[i], what, i, "a number", f)
        bad = ~np.isfinite(values)
        if bad.any():
            i = int(np.argmax(bad))
            self._fail_field(where[i], what, i, "a number within the Double range", fields[i])
        if kind == "single":
            return _singles(values, fields, lambda i, e: self._fail_field(where[i], what, i, e, fields[i]))
        if kind == "int":
            whole = np.round(values)
            bad = (whole < -32768) | (whole > 32767)
            if bad.any():
                i = int(np.argmax(bad))
                self._fail_field(where[i], what, i, "a whole number from -32768 to 32767", fields[i])
            return whole
        return values

    def _fail_field(self, line: int, what, i: int, expected: str, found: str):
        name = what(i) if callable(what) else what
        found_text = "an empty field" if found == "" else f'"{found}"'
        raise ModelFileError(f'file "{self.name}", line {line} ({name}): expected {expected}, found {found_text}')

    def fail(self, what: str, expected: str, found: str | None):
        line = self.last_line or 1
        found_text = "the end of the file" if found is None else f'"{found}"'
        raise ModelFileError(f'file "{self.name}", line {line} ({what}): expected {expected}, found {found_text}')


def _singles(values: np.ndarray, fields: list[str], fail) -> np.ndarray:
    """The Single each decimal text is read as, exactly as a correctly
    rounding reader gives it, as float64."""
    with np.errstate(over="ignore"):
        f = values.astype(np.float32)
    out = f.astype(np.float64)
    over = ~np.isfinite(f)
    if over.any():
        i = int(np.argmax(over))
        if abs(values[i]) >= _SINGLE_MAX:
            fail(i, "a number within the Single range")
    # Through a Double the result can differ only where the Double lies
    # exactly halfway between two Singles; those are settled from the text.
    gap = values - out
    toward = np.where(gap > 0, np.float32(np.inf), np.float32(-np.inf)).astype(np.float32)
    with np.errstate(over="ignore", invalid="ignore"):
        other = np.nextafter(f, toward).astype(np.float64)
        halfway = (gap != 0) & (values == (out + other) / 2)
    for i in np.nonzero(halfway)[0]:
        try:
            exact = Fraction(Decimal(fields[i]))
        except InvalidOperation:
            continue
        out[i] = float(_nearest_single(exact))
    return out


# ---------------------------------------------------------------- writing

def _texts(values, one) -> list[str]:
    arr = np.asarray(values, dtype=np.float64).reshape(-1)
    if arr.size == 0:
        return []
    missing = np.isnan(arr)
    arr = np.where(missing, MISSING, arr)
    unique, inverse = np.unique(arr, return_inverse=True)
    try:
        texts = np.array([one(v) for v in unique], dtype=object)
    except NumberTextError as e:
        raise NumberTextError(f"{e} cannot be written into a table") from None
    return list(texts[inverse])


def single_texts(values) -> list[str]:
    """Texts that read back as the Single nearest to each value (NaN: -999)."""
    return _texts(values, single_text)


def double_texts(values) -> list[str]:
    """Texts that read back as each Double (NaN: -999)."""
    return _texts(values, double_text)


def int_texts(values) -> list[str]:
    arr = np.asarray(values).reshape(-1)
    return [str(int(v)) for v in arr]


def write_lines(directory: Path, name: str, lines: list[str]) -> Path:
    """Writes `lines`, each ended by CR LF, as the file `name` of `directory`."""
    path = Path(directory) / name
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("latin-1"))
    return path


def remove_other_spellings(directory: Path, name: str) -> None:
    """Removes files of `directory` that differ from `name` only in letter
    case, so that the one written is the one ostra finds."""
    wanted = name.lower()
    for entry in os.listdir(directory):
        if entry.lower() == wanted and entry != name:
            os.remove(Path(directory) / entry)
