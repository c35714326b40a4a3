"""Template files: copies of model input files with markers for parameters.

A template "<file>.tpl" starts with the line `ptf @` (any one punctuation
character may take the place of `@`: the delimiter). In every later line
`@name@` marks a field that receives the value of the parameter `name`; the
marker may be padded with blanks inside the delimiters (`@  name  @`), and
its whole width, delimiters included, is the room the value may fill. The
filled file is the template without its first line, each marker replaced by
its value, padded with blanks to the marker's width. Everything else,
line ends included, is kept byte for byte.
"""

from __future__ import annotations

import math
import numbers
import re
from dataclasses import dataclass
from decimal import Decimal
from pathlib import Path
from typing import Mapping

import numpy as np

TEMPLATE_SUFFIX = ".tpl"
_HEADER = re.compile(r"ptf[ \t]+(\S)[ \t]*", re.IGNORECASE)
# Characters that may appear in the values themselves and so cannot delimit them.
_BAD_DELIMITERS = set(",.+-\"'") | set("0123456789") | set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")


class TemplateError(ValueError):
    """A template that cannot be read, or a value that cannot be written into it."""


@dataclass(frozen=True)
class Marker:
    line: int  # line number in the template file, counting its "ptf" line as 1
    start: int  # offset of the opening delimiter in the line
    width: int  # delimiters included
    name: str


@dataclass(frozen=True)
class Template:
    path: Path
    target: str  # the name of the file it fills
    delimiter: str
    lines: tuple[str, ...]  # the lines after the "ptf" line, with their line ends
    markers: tuple[Marker, ...]

    @property
    def names(self) -> set[str]:
        return {m.name for m in self.markers}

    def fill(self, values: Mapping[str, object]) -> bytes:
        """The filled file for the parameter values `values`."""
        lines = list(self.lines)
        by_line: dict[int, list[Marker]] = {}
        for m in self.markers:
            by_line.setdefault(m.line, []).append(m)
        for number, markers in by_line.items():
            line = lines[number - 2]
            for m in sorted(markers, key=lambda m: m.start, reverse=True):
                if m.name not in values:
                    raise TemplateError(f'{self.path}, line {m.line}: no value for the parameter "{m.name}"')
                text = format_value(values[m.name], m.width, self.delimiter,
                                    where=f'{self.path}, line {m.line}, parameter "{m.name}"')
                line = line[: m.start] + text.ljust(m.width) + line[m.start + m.width:]
            lines[number - 2] = line
        return "".join(lines).encode("latin-1")


def read_template(path: str | Path) -> Template:
    """Read and check the template `path` ("<file>.tpl")."""
    path = Path(path)
    if not path.name.lower().endswith(TEMPLATE_SUFFIX) or len(path.name) == len(TEMPLATE_SUFFIX):
        raise TemplateError(f"{path}: a template is named after the file it fills, plus \"{TEMPLATE_SUFFIX}\"")
    text = path.read_bytes().decode("latin-1")
    lines = text.split("\n")
    lines = [ln + "\n" for ln in lines[:-1]] + ([lines[-1]] if lines[-1] else [])
    if not lines:
        raise TemplateError(f'{path}, line 1: the file is empty; a template starts with "ptf @"')
    first = lines[0].rstrip("\r\n")
    m = _HEADER.fullmatch(first)
    if not m:
        raise TemplateError(f'{path}, line 1: expected "ptf" and the marker delimiter, such as "ptf @", found "{first}"')
    delimiter = m.group(1)
    if delimiter in _BAD_DELIMITERS:
        raise TemplateError(f'{path}, line 1: "{delimiter}" cannot delimit markers; it can be part of a value')
    markers = []
    for number, line in enumerate(lines[1:], start=2):
        positions = [i for i, ch in enumerate(line) if ch == delimiter]
        if len(positions) % 2:
            raise TemplateError(
                f'{path}, line {number}: {len(positions)} "{delimiter}" delimiters; '
                f'every marker has one on each side ("{delimiter}name{delimiter}")'
            )
        for a, b in zip(positions[::2], positions[1::2]):
            name = line[a + 1:b].strip()
            if not name:
                raise TemplateError(f"{path}, line {number}, column {a + 1}: a marker without a parameter name")
            if any(ch.isspace() for ch in name):
                raise TemplateError(f'{path}, line {number}, column {a + 1}: the parameter name "{name}" holds a blank')
            markers.append(Marker(number, a, b - a + 1, name))
    return Template(path, path.name[: -len(TEMPLATE_SUFFIX)], delimiter, tuple(lines[1:]), tuple(markers))


def find_templates(directory: str | Path) -> list[Template]:
    """Every template of the model directory `directory`, in name order."""
    directory = Path(directory)
    paths = sorted(p for p in directory.iterdir() if p.is_file() and p.name.lower().endswith(TEMPLATE_SUFFIX))
    templates = [read_template(p) for p in paths]
    seen: dict[str, Template] = {}
    for t in templates:
        other = seen.get(t.target.lower())
        if other is not None:
            raise TemplateError(f'{other.path} and {t.path} both fill "{t.target}"')
        seen[t.target.lower()] = t
    return templates


def number_texts(value: float) -> tuple[str, str]:
    """Two texts that read back as exactly `value`: the preferred one and
    the other notation.

    Both use the shortest digits, no zero before the decimal point and the
    shortest exponent, as ostra's readers accept them (.5, -.25, 1e-5,
    2.5e20, 240). Fixed notation is preferred where ostra's own writer uses
    it (magnitudes from 1E-4 to below 1E15), exponent form outside.
    """
    if value == 0:
        return "0", "0"
    sign, digit_tuple, exponent = Decimal(repr(float(value))).as_tuple()
    all_digits = "".join(map(str, digit_tuple))
    digits = all_digits.rstrip("0")
    exponent += len(all_digits) - len(digits)
    n = len(digits)
    if exponent >= 0:
        fixed = digits + "0" * exponent
    elif -exponent < n:
        fixed = digits[: n + exponent] + "." + digits[n + exponent:]
    else:
        fixed = "." + "0" * (-exponent - n) + digits
    lead = exponent + n - 1  # the power of ten of the first digit
    scientific = digits[0] + ("." + digits[1:] if n > 1 else "") + f"e{lead}"
    minus = "-" if sign else ""
    texts = (minus + fixed, minus + scientific) if -5 < lead < 15 else (minus + scientific, minus + fixed)
    for text in texts:
        if float(text) != value:  # cannot happen for a finite double; kept as a guard
            raise AssertionError(f"{text!r} does not read back as {value!r}")
    return texts


def number_text(value: float, width: int | None = None) -> str:
    """The text written for `value`: the preferred notation, or the other
    one when only that fits `width` characters."""
    preferred, other = number_texts(value)
    if width is not None and len(preferred) > width and len(other) <= width:
        return other
    return preferred


def format_value(value: object, width: int, delimiter: str = "@", where: str = "") -> str:
    """The text written for `value` into a marker `width` characters wide."""
    prefix = f"{where}: " if where else ""
    if isinstance(value, (bool, np.bool_)):
        raise TemplateError(f"{prefix}the value {value!r} is a truth value; give the text the file expects (Y or N)")
    if isinstance(value, numbers.Integral):
        text = str(int(value))
    elif isinstance(value, numbers.Real):
        v = float(value)
        if not math.isfinite(v):
            raise TemplateError(f"{prefix}the value {value!r} is not a finite number")
        text = number_text(v, width)
    elif isinstance(value, str):
        text = value
        if not text:
            raise TemplateError(f"{prefix}the value is empty")
        bad = [ch for ch in text if ch in ",\"\r\n" or ch == delimiter]
        if bad:
            raise TemplateError(f'{prefix}the value "{text}" holds "{bad[0]}", which would break the field')
    else:
        raise TemplateError(f"{prefix}the value {value!r} is neither a number nor a text")
    if len(text) > width:
        if isinstance(value, numbers.Real) and not isinstance(value, numbers.Integral):
            text = min(number_texts(float(value)), key=len)
        raise TemplateError(
            f'{prefix}the value {text} needs {len(text)} characters, but its marker is only {width} wide; '
            f"widen the marker by padding it with blanks inside the delimiters"
        )
    return text
