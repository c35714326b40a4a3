"""Numbers written into model tables so that ostra reads back exactly the
value meant.

ostra reads every table field into a Single (32-bit) or a Double (64-bit)
with correct rounding (nearest, ties to even), whatever the number of
digits. The texts made here use the notation ostra's readers accept
(.5, -.25, 1e-05, 2.5e+20, 240):

- `single_text(v)`: the shortest text that reads back as the Single nearest
  to `v`, for a field read as a Single;
- `double_text(v)`: the shortest text that reads back as the Double `v`;
- `field_text(v)`: for a field whose type is not known (a template marker):
  the shortest text that reads back as `v` when read as a Double *and* as
  the Single nearest to `v` when read as a Single. For almost every value
  that is `double_text(v)`; where rounding its decimal digits to a Single
  would not give the Single nearest to `v` (a value exactly halfway between
  two Singles), more digits are written.

Exports: single_text, double_text, field_text, single_value, NumberTextError.
"""

from __future__ import annotations

import math
from decimal import Decimal
from fractions import Fraction

import numpy as np

__all__ = ["NumberTextError", "double_text", "field_text", "single_text", "single_value"]


class NumberTextError(ValueError):
    """A value that no table field can hold (not finite, or beyond a Single's range)."""


def _finite(value) -> float:
    v = float(value)
    if not math.isfinite(v):
        raise NumberTextError(f"{value!r} is not a finite number")
    return v


def _plain(text: str) -> str:
    """Python's repr made into the table notation: "0.5" -> ".5", "2.0" -> "2"."""
    mantissa, _, exponent = text.lower().partition("e")
    negative = mantissa.startswith("-")
    mantissa = mantissa.lstrip("-")
    if "." in mantissa:
        mantissa = mantissa.rstrip("0").rstrip(".")
    if mantissa.startswith("0."):
        mantissa = mantissa[1:]
    if mantissa in ("", "0"):
        mantissa = "0"
        negative = False
    if exponent:
        sign = "-" if exponent.startswith("-") else "+"
        digits = exponent.lstrip("+-").lstrip("0") or "0"
        exponent = "e" + sign + digits.zfill(2)
    return ("-" if negative else "") + mantissa + exponent


def _nearest_single(exact: Fraction) -> np.float32:
    """The Single nearest to the exact rational `exact`, ties to even, as a
    correctly rounding reader (strtof) gives it; infinite beyond the range."""
    with np.errstate(over="ignore"):
        guess = np.float32(float(exact))  # at most one Single away
    best = None
    for candidate in (np.nextafter(guess, np.float32(-np.inf)), guess, np.nextafter(guess, np.float32(np.inf))):
        if not np.isfinite(candidate):
            continue
        distance = abs(Fraction(float(candidate)) - exact)
        if best is None or distance < best[0]:
            best = (distance, candidate)
        elif distance == best[0]:
            even = int(np.array(candidate, dtype=np.float32).view(np.uint32)) % 2 == 0
            if even:
                best = (distance, candidate)
    if best is None:
        return np.float32(math.copysign(np.inf, float(exact)))
    largest = Fraction(float(np.finfo(np.float32).max))
    half_ulp = Fraction(2) ** 103  # half the spacing of Singles at the top of the range
    if abs(exact) >= largest + half_ulp:
        return np.float32(math.copysign(np.inf, float(exact)))
    return best[1]


def single_value(value) -> np.float32:
    """The Single that a field holding `value` is read as."""
    v = _finite(value)
    with np.errstate(over="ignore"):
        s = np.float32(v)
    if not np.isfinite(s):
        raise NumberTextError(f"{value!r} is beyond the range of a Single (about 3.4E+38)")
    return s


def single_text(value) -> str:
    """The shortest text that reads back as the Single nearest to `value`."""
    s = single_value(value)
    if _use_exponent(float(s)):
        return _plain(np.format_float_scientific(s, unique=True, trim="-"))
    return _plain(np.format_float_positional(s, unique=True, trim="-"))


def _use_exponent(v: float) -> bool:
    return v != 0 and not (1e-4 <= abs(v) < 1e15)


def double_text(value) -> str:
    """The shortest text that reads back as the Double `value`."""
    v = _finite(value)
    if _use_exponent(v):
        return _plain(np.format_float_scientific(v, unique=True, trim="-"))
    return _plain(np.format_float_positional(v, unique=True, trim="-"))


def field_text(value) -> str:
    """A text that reads back as `value` as a Double and as the Single
    nearest to `value` as a Single."""
    v = _finite(value)
    with np.errstate(over="ignore"):
        target = np.float32(v)
    text = double_text(v)
    if not np.isfinite(target) or _nearest_single(Fraction(Decimal(text))) == target:
        return text
    # Exactly (or all but) halfway between two Singles: the decimal digits of
    # the shortest text fall on the wrong side. More of the exact digits of v
    # settle it; all of them are v itself.
    exact = Decimal(v)
    digits = len(exact.as_tuple().digits)
    for n in range(17, digits + 1):
        candidate = _plain(f"{exact:.{n - 1}e}")
        if float(candidate) == v and _nearest_single(Fraction(Decimal(candidate))) == target:
            return candidate
    return _plain(f"{exact:e}")
