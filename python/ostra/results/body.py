"""The numeric body of a result file, read by numpy's C parser.

A file is read in chunks of whole lines. Each chunk is checked with
vectorized byte counts (every line holds the header's number of commas; a
time-series line ends with its comma) and its chosen columns are converted
by `numpy.loadtxt`, which rounds every decimal text correctly, as Python's
`float` does. Whatever the fast path doubts (a line of the wrong shape, a
field that is no finite number) is read again line by line, field by field,
to name the line, field and value. Memory: the result array and one chunk.

Exports: Header, read_header, read_body, parse_lines.
"""

from __future__ import annotations

import io
import re
from dataclasses import dataclass
from pathlib import Path

import numpy as np

from .source import ResultFileError

# A number as ostra writes it, once the blanks around it are trimmed.
NUMBER = re.compile(r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?")
_CHUNK = 1 << 20


@dataclass
class Header:
    path: Path
    text: str  # the header line without its line end
    end: int  # offset of the first byte after it
    size: int  # of the whole file


def read_header(path: Path) -> Header:
    """The first line of a result file, checked for an end."""
    size = path.stat().st_size
    if size == 0:
        raise ResultFileError(path, "the file is empty; a result file starts with its header line")
    with open(path, "rb") as f:
        line = f.readline()
    if not line.endswith(b"\n"):
        raise ResultFileError(path, "the file ends in the middle of a line (it was cut off)", 1)
    text = line.decode("latin-1").rstrip("\r\n")
    if not text.strip():
        raise ResultFileError(path, "empty line; ostra writes none", 1)
    return Header(path, text, len(line), size)


def parse_lines(path: Path, lines: list[str], names: list[str], trailing_comma: bool,
                first_line: int | None) -> np.ndarray:
    """Line by line, every field with `float`: the values of `lines` (without
    line ends), or the error naming the line, field and value. `first_line`
    is the number in the file of the first of them (None: "the last line")."""
    out = np.empty((len(lines), len(names)))
    width = len(names) + (1 if trailing_comma else 0)
    for i, line in enumerate(lines):
        number = "last" if first_line is None else i + first_line
        if line.endswith("\r"):
            line = line[:-1]
        if not line.strip():
            raise ResultFileError(path, "empty line; ostra writes none", number)
        fields = line.split(",")
        if len(fields) < width:
            raise ResultFileError(path, f"{len(fields)} fields where the header has {width}; the line ends early",
                                  number)
        if len(fields) > width:
            raise ResultFileError(path, f"{len(fields)} fields where the header has {width}; "
                                        "the line holds a value too many", number)
        if trailing_comma and fields[-1].strip():
            raise ResultFileError(path, f'expected the line to end with a comma, found "{fields[-1].strip()}"',
                                  number, str(width))
        for k, (raw, name) in enumerate(zip(fields, names), start=1):
            value = raw.strip()
            if not NUMBER.fullmatch(value):
                raise ResultFileError(path, f'expected a number, found "{value}"', number, f"{k} ({name})")
            out[i, k - 1] = float(value)
            if not np.isfinite(out[i, k - 1]):
                raise ResultFileError(path, f'"{value}" is not a finite number', number, f"{k} ({name})")
    return out


def _lines_of_shape(a: np.ndarray, width: int, trailing_comma: bool) -> int:
    """The number of lines of the chunk `a` (bytes, ending with a line end)
    when every one holds width - 1 commas (and a time-series line nothing
    but blanks after its last); -1 otherwise."""
    ends = np.flatnonzero(a == 10)
    commas = np.flatnonzero(a == 44)
    before = np.searchsorted(commas, ends)  # commas before each line end
    per_line = np.diff(before, prepend=0)
    if not (per_line == width - 1).all():
        return -1
    if trailing_comma:
        last = commas[before - 1]
        gap = ends - last - 1
        plain = (gap == 0) | ((gap == 1) & (a[ends - 1] == 13))
        for i in np.flatnonzero(~plain):
            if a[last[i] + 1:ends[i]].tobytes().strip():
                return -1
    return len(ends)


def read_body(header: Header, names: list[str], trailing_comma: bool, columns: list[int] | None = None,
              partial: bool = False, first_apart: bool = False):
    """The rows after the header as an array of the columns `columns`
    (indexes into `names`; all when None), and whether a cut-off last line
    was left out (only with `partial`; otherwise it is an error). With
    `first_apart`, the first chosen column and the others as two arrays of
    their own, so that neither is a view that a table would copy."""
    path = header.path
    width = len(names) + (1 if trailing_comma else 0)
    usecols = list(range(len(names))) if columns is None else list(columns)
    with open(path, "rb") as f:
        f.seek(header.end)
        rows = 0
        last = b"\n"
        while True:
            block = f.read(_CHUNK)
            if not block:
                break
            rows += int(np.count_nonzero(np.frombuffer(block, np.uint8) == 10))
            last = block[-1:]
        cut_off = last != b"\n"
        if cut_off and not partial:
            raise ResultFileError(path, "the file ends in the middle of a line (it was cut off)", rows + 2)
        if first_apart:
            first, out = np.empty(rows), np.empty((rows, len(usecols) - 1))
        else:
            out = np.empty((rows, len(usecols)))
        f.seek(header.end)
        row, line_number, rest = 0, 2, b""
        while row < rows:
            more = f.read(_CHUNK)
            if not more and b"\n" not in rest:
                raise ResultFileError(path, "the file changed while it was read")
            block = rest + more
            end = block.rfind(b"\n") + 1
            chunk, rest = block[:end], block[end:]
            if not chunk:
                continue
            values = _parse_chunk(path, chunk, names, usecols, width, trailing_comma, line_number)
            n = values.shape[0]
            if first_apart:
                first[row:row + n] = values[:, 0]
                out[row:row + n] = values[:, 1:]
            else:
                out[row:row + n] = values
            row += n
            line_number += n
    return ((first, out) if first_apart else out), cut_off


def _parse_chunk(path: Path, chunk: bytes, names: list[str], usecols: list[int], width: int,
                 trailing_comma: bool, first_line: int) -> np.ndarray:
    lines = _lines_of_shape(np.frombuffer(chunk, np.uint8), width, trailing_comma)
    if lines >= 0 and not usecols:
        return np.empty((lines, 0))
    if lines >= 0:
        try:
            values = np.loadtxt(io.StringIO(chunk.decode("latin-1")), delimiter=",", usecols=usecols,
                                dtype=np.float64, ndmin=2, comments=None)
            if values.shape[0] == lines and np.isfinite(values).all():
                return values
        except ValueError:
            pass
    lines = chunk.decode("latin-1").split("\n")[:-1]
    return parse_lines(path, lines, names, trailing_comma, first_line)[:, usecols]
