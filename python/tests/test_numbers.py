"""The number texts read back, through the C library's own strtof and
strtod (which round correctly, as ostra's readers do), as the values meant."""

import ctypes
import random

import numpy as np
import pytest

from ostra.numbers import NumberTextError, double_text, field_text, single_text

_libc = ctypes.CDLL(None)
_libc.strtof.restype = ctypes.c_float
_libc.strtof.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_char_p)]
_libc.strtod.restype = ctypes.c_double
_libc.strtod.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_char_p)]


def strtof(text: str) -> np.float32:
    return np.float32(_libc.strtof(text.encode(), None))


def strtod(text: str) -> float:
    return _libc.strtod(text.encode(), None)


def _values():
    rng = random.Random(7)
    values = [0.1, -0.05, 0.0137, 2.0, 1e-5, 2.5e20, 240.0, 0.5, -0.25, 1e15, 3.0000001, 1e-45, 3.4e38, -0.0]
    values += [rng.uniform(-1, 1) * 10 ** rng.randint(-30, 30) for _ in range(3000)]
    # Doubles exactly halfway between two Singles, and just beside them.
    for _ in range(500):
        a = np.float32(rng.uniform(0.5, 2) * 10 ** rng.randint(-20, 20))
        b = np.nextafter(a, np.float32(np.inf))
        m = (float(a) + float(b)) / 2
        values += [m, np.nextafter(m, np.inf), np.nextafter(m, -np.inf)]
    return values


def test_texts_read_back_as_the_values_meant():
    for v in _values():
        d, s, f = double_text(v), single_text(v), field_text(v)
        assert strtod(d) == v, (v, d)
        assert strtof(s) == np.float32(v), (v, s)
        assert strtod(f) == v and strtof(f) == np.float32(v), (v, f)
        for text in (d, s, f):
            assert not text.startswith(("0.", "-0.")) and "," not in text, text


@pytest.mark.parametrize("value, single, double", [
    (0.5, ".5", ".5"), (-0.25, "-.25", "-.25"), (2.0, "2", "2"), (1e-05, "1e-05", "1e-05"),
    (0.1, ".1", ".1"), (123456789.0, "123456790", "123456789"), (-0.0, "0", "0"),
])
def test_notation(value, single, double):
    assert (single_text(value), double_text(value)) == (single, double)


@pytest.mark.parametrize("value", [float("inf"), float("nan"), 1e39])
def test_values_no_field_holds(value):
    with pytest.raises(NumberTextError):
        single_text(value)
