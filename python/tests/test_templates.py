"""Templates: markers, filling, and values that read back exactly."""

from __future__ import annotations

import random
import struct

import numpy as np
import pytest

from ostra.templates import TemplateError, format_value, number_texts, read_template
from conftest import EXAMPLES


def fields(text: str) -> list[list[str]]:
    return [[f.strip() for f in line.split(",")] for line in text.splitlines()]


def test_filled_file_reads_as_the_original(tmp_path):
    original = (EXAMPLES / "river-network" / "Loads.csv").read_text()
    template = original.replace("2,1,2000,-999", "2,1,@ spill   @,-999").replace("5,1,5000,", "5,1,@discharge@,")
    path = tmp_path / "Loads.csv.tpl"
    path.write_bytes(("ptf @\r\n" + template).replace("\n", "\r\n").replace("\r\r", "\r").encode())
    t = read_template(path)
    assert t.target == "Loads.csv" and t.names == {"spill", "discharge"}
    filled = t.fill({"spill": 2000, "discharge": 5000.0}).decode()
    assert "\r\n" in filled and "ptf" not in filled
    assert fields(filled) == fields(original)
    # Padded to the marker's width: the rest of each line keeps its place.
    marker = next(m for m in t.markers if m.name == "spill")
    assert marker.width == len("@ spill   @")
    line = filled.splitlines()[marker.line - 2]
    assert line == "2,1," + "2000".ljust(marker.width) + ",-999"


@pytest.mark.parametrize(
    "text, message",
    [
        ("ptf\n1,@a@\n", r"line 1: expected \"ptf\" and the marker delimiter"),
        ("ptf 5\n1,5a5\n", r"line 1: \"5\" cannot delimit"),
        ("ptf @\n1,@a@,@b\n", r"line 2: 3 \"@\" delimiters"),
        ("ptf @\nx\n1,@   @\n", r"line 3, column 3: a marker without a parameter name"),
        ("ptf @\n1,@a b@\n", r"line 2, column 3: the parameter name \"a b\" holds a blank"),
        ("", r"line 1: .*empty"),
    ],
)
def test_bad_templates_name_the_line(tmp_path, text, message):
    path = tmp_path / "Flows.csv.tpl"
    path.write_text(text)
    with pytest.raises(TemplateError, match=message) as info:
        read_template(path)
    assert "Flows.csv.tpl" in str(info.value)


def test_value_that_does_not_fit_is_refused(tmp_path):
    path = tmp_path / "VolumeSrcSnks.csv.tpl"
    path.write_text("ptf #\nheader\n2,1,1,#k#\n")
    t = read_template(path)
    assert t.fill({"k": -0.5}).decode() == "header\n2,1,1,-.5\n"
    with pytest.raises(TemplateError, match=r'line 3, parameter "k": the value -.05 needs 4 characters, .* 3 wide'):
        t.fill({"k": -0.05})
    with pytest.raises(TemplateError, match='no value for the parameter "k"'):
        t.fill({})


@pytest.mark.parametrize(
    "value, text",
    [(0.5, ".5"), (-0.5, "-.5"), (1e-5, "1e-5"), (1.5e-05, "1.5e-5"), (240.0, "240"), (-999, "-999"),
     (5000.0, "5000"), (2.5e20, "2.5e20"), (0.000123, ".000123"), (43200, "43200"),
     (np.float32(0.1), ".10000000149011612"), (np.int64(7), "7"), (0.0, "0"), ("Y", "Y")],
)
def test_value_texts(value, text):
    assert format_value(value, 20) == text


def test_the_other_notation_when_only_it_fits():
    assert format_value(5000.0, 4) == "5000" and format_value(5000.0, 3) == "5e3"
    assert format_value(0.00001, 6) == "1e-5" and format_value(1e20, 21) == "1e20"
    with pytest.raises(TemplateError, match="needs 3 characters"):
        format_value(5000.0, 2)


@pytest.mark.parametrize("value", [float("nan"), float("inf"), True, "1,5", None, "a@b"])
def test_values_that_cannot_be_written(value):
    with pytest.raises(TemplateError):
        format_value(value, 20, "@")


def test_every_double_reads_back_exactly():
    rng = random.Random(7)
    for _ in range(20000):
        v = struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0]
        if v != v or v in (float("inf"), float("-inf")):
            continue
        texts = number_texts(v)
        for text in texts:
            assert float(text) == v
            assert set(text) <= set("0123456789.-e")  # what ostra's number reader takes
        assert min(map(len, texts)) <= len(repr(v))
