"""Templates: markers, filling, and values that read back exactly."""

from __future__ import annotations

import numpy as np
import pytest

from ostra.studies.templates import TemplateError, format_value, read_template
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


def test_values_take_the_room_they_need(tmp_path):
    path = tmp_path / "VolumeSrcSnks.csv.tpl"
    path.write_text("ptf #\nheader\n2,1,1,#k#\n3,1,1, # k2   # \n")
    t = read_template(path)
    assert t.fill({"k": -0.5, "k2": 1}).decode() == "header\n2,1,1,-.5\n3,1,1, " + "1".ljust(8) + " \n"
    # A marker three wide takes a value of any length: comma-separated fields have no width.
    assert t.fill({"k": -0.05, "k2": 0.0137}).decode() == "header\n2,1,1,-.05\n3,1,1, " + ".0137".ljust(8) + " \n"
    assert t.fill({"k": -1.25e-300, "k2": 2}).decode().splitlines()[1] == "2,1,1,-1.25e-300"
    with pytest.raises(TemplateError, match='no value for the parameter "k"'):
        t.fill({})


@pytest.mark.parametrize("line", ["1,x@k@,3", "1,@k@x,3", "1,@a@@b@,3", "1,\"2 @k@\",3"])
def test_marker_inside_a_field_with_other_text_is_refused(tmp_path, line):
    path = tmp_path / "Flows.csv.tpl"
    path.write_text("ptf @\nheader\n" + line + "\n")
    marker = "@k@" if "@k@" in line else "@a@"
    with pytest.raises(TemplateError, match=rf'Flows.csv.tpl, line 3: the marker "{marker}" stands inside the field'):
        read_template(path)


@pytest.mark.parametrize(
    "value, text",
    [(0.5, ".5"), (-0.5, "-.5"), (1e-5, "1e-05"), (1.5e-05, "1.5e-05"), (240.0, "240"), (-999, "-999"),
     (5000.0, "5000"), (2.5e20, "2.5e+20"), (0.000123, ".000123"), (43200, "43200"),
     (np.float32(0.1), ".10000000149011612"), (np.int64(7), "7"), (0.0, "0"), ("Y", "Y")],
)
def test_value_texts(value, text):
    assert format_value(value) == text


@pytest.mark.parametrize("value", [float("nan"), float("inf"), True, "1,5", None, "a@b"])
def test_values_that_cannot_be_written(value):
    with pytest.raises(TemplateError):
        format_value(value, "@")
