"""Template files: copies of model input files with markers for parameters.

A template "<file>.tpl" starts with the line `ptf @` (any one punctuation
character may take the place of `@`: the delimiter). In every later line
`@name@` marks a field that receives the value of the parameter `name`; the
marker may be padded with blanks inside the delimiters (`@  name  @`), and
it must be the whole field (between commas, or the line's ends), blanks
around it aside. The filled file is the template without its first line,
each marker replaced by its value, padded with blanks to the marker's width
where the value is shorter; a longer value simply takes more room (ostra's
tables are comma-separated). Everything else, line ends included, is kept
byte for byte. A number is written as `numbers.field_text` writes it: it
reads back as the same Double where the field is a Double and the same
Single where it is a Single.

Exports: Template, Marker, TemplateError, read_template, find_templates,
format_value, TEMPLATE_SUFFIX.
"""

from __future__ import annotations

import numbers
import re
from dataclasses import dataclass
from pathlib import Path
from typing import Mapping

import numpy as np

from ..numbers import NumberTextError, field_text

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
                text = format_value(values[m.name], self.delimiter,
                                    where=f'{self.path}, line {m.line}, parameter "{m.name}"')
                line = line[: m.start] + text.ljust(m.width) + line[m.start + m.width:]
            lines[number - 2] = line
        return "".join(lines).encode("latin-1")


def _check_whole_field(path: Path, number: int, line: str, a: int, b: int) -> None:
    """The marker from `a` to `b` (its delimiters) is the whole of its field."""
    body = line.rstrip("\r\n")
    start = body.rfind(",", 0, a) + 1
    end = body.find(",", b + 1)
    end = len(body) if end < 0 else end
    rest = (body[start:a] + body[b + 1:end]).strip().strip('"').strip()
    if rest:
        raise TemplateError(
            f'{path}, line {number}: the marker "{line[a:b + 1]}" stands inside the field '
            f'"{body[start:end].strip()}" with other text; a marker must be the whole field'
        )


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
            _check_whole_field(path, number, line, a, b)
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


def format_value(value: object, delimiter: str = "@", where: str = "") -> str:
    """The text written for `value` into a marker."""
    prefix = f"{where}: " if where else ""
    if isinstance(value, (bool, np.bool_)):
        raise TemplateError(f"{prefix}the value {value!r} is a truth value; give the text the file expects (Y or N)")
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        try:
            return field_text(float(value))
        except NumberTextError as e:
            raise TemplateError(f"{prefix}{e}") from None
    if isinstance(value, str):
        if not value:
            raise TemplateError(f"{prefix}the value is empty")
        bad = [ch for ch in value if ch in ",\"\r\n" or ch == delimiter]
        if bad:
            raise TemplateError(f'{prefix}the value "{value}" holds "{bad[0]}", which would break the field')
        return value
    raise TemplateError(f"{prefix}the value {value!r} is neither a number nor a text")
