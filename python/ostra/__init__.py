"""Building, reading and writing ostra models from Python, running them,
reading their results, plotting them and sweeping scenarios over a Dask
cluster."""

__version__ = "0.1.0"

from .files import find_file
from .readers import (
    IncompleteResultError,
    MassBalance,
    ResultFileError,
    StaleResultError,
    read_last_row,
    read_mass_balance,
    read_one_compartment,
    read_profile,
    read_time_series,
)
from .runner import ExecutableNotFound, RunError, RunResult, RunTimeout, find_executable, run
from .outputs import OutputError
from .sweeping import SweepError, local_client, read_scenarios, sweep
from .templates import TemplateError, read_template

__all__ = [
    "CheckReport", "Equations", "Link", "LoadBlock", "Loads", "Model", "ModelError", "ModelFileError", "Options",
    "add_sediment", "grid", "river_network",
    "ExecutableNotFound", "IncompleteResultError", "MassBalance", "OutputError", "ResultFileError",
    "RunError", "RunResult", "RunTimeout", "StaleResultError", "SweepError", "TemplateError",
    "find_executable", "find_file", "local_client", "read_last_row", "read_mass_balance",
    "read_one_compartment", "read_profile", "read_scenarios", "read_template", "read_time_series",
    "run", "sweep",
]


# The model package (ostra/model/) is imported when first used.
_MODEL_NAMES = {"CheckReport", "Equations", "Link", "LoadBlock", "Loads", "Model", "ModelError", "ModelFileError",
                "Options", "add_sediment", "grid", "river_network"}


def __getattr__(name):
    import importlib

    # Matplotlib is imported only when plots are asked for.
    if name == "plot":
        return importlib.import_module(".plot", __name__)
    if name in _MODEL_NAMES:
        return getattr(importlib.import_module(".model", __name__), name)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
