"""File names of a model directory, matched the way ostra matches them."""

from __future__ import annotations

import os
from pathlib import Path

# The result files a run may write, in the spelling the program uses.
TIME_SERIES = "AllTimeSeries.csv"
ONE_COMPARTMENT = "OneCompTimeSeries.csv"
PROFILE = "ProfileSnapshot.csv"
MASS_BALANCE = "MassBalance.csv"
RESULT_FILES = (TIME_SERIES, ONE_COMPARTMENT, PROFILE, MASS_BALANCE)
ERROR_FILE = "Error.dng"
CONTROL_FILE = "Control.csv"


def find_file(directory: str | os.PathLike, name: str) -> Path | None:
    """The file of `directory` named `name` in any letter case, or None.

    An exact spelling wins; otherwise the first match in sorted order, so the
    answer does not depend on the order of the directory listing.
    """
    directory = Path(directory)
    exact = directory / name
    if exact.is_file():
        return exact
    wanted = name.lower()
    try:
        names = sorted(os.listdir(directory))
    except FileNotFoundError:
        return None
    for entry in names:
        if entry.lower() == wanted and (directory / entry).is_file():
            return directory / entry
    return None


def is_result_or_diagnostic(name: str) -> bool:
    """True for the names of result files and of ".dng" diagnostic files."""
    lower = name.lower()
    return lower.endswith(".dng") or lower in {n.lower() for n in RESULT_FILES}
