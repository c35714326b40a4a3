"""Running ostra models from Python, reading their results, plotting them and
sweeping scenarios over a Dask cluster."""

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
    "ExecutableNotFound", "IncompleteResultError", "MassBalance", "OutputError", "ResultFileError",
    "RunError", "RunResult", "RunTimeout", "StaleResultError", "SweepError", "TemplateError",
    "find_executable", "find_file", "local_client", "read_last_row", "read_mass_balance",
    "read_one_compartment", "read_profile", "read_scenarios", "read_template", "read_time_series",
    "run", "sweep",
]


def __getattr__(name):
    # Matplotlib is imported only when plots are asked for.
    if name == "plot":
        import importlib

        return importlib.import_module(".plot", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
