"""Building, reading and writing ostra models from Python, running them,
reading their results, plotting them and studying them over many scenarios
on a Dask cluster.

Every public name is reachable as `ostra.<name>`: the model of
`ostra.model`, the readers of `ostra.results`, the studies of
`ostra.studies`, `run` and its errors (`ostra.runner`), and the plots as
`ostra.plot` (imported when first used).
"""

__version__ = "0.2.0"

from .files import find_file
from .model import (
    CheckReport,
    Equations,
    Link,
    LoadBlock,
    Loads,
    Model,
    ModelError,
    ModelFileError,
    Options,
    add_sediment,
    grid,
    river_network,
)
from .results import (
    IncompleteResultError,
    MassBalance,
    ResultFileError,
    StaleResultError,
    latest_run_error,
    read_last_row,
    read_mass_balance,
    read_one_compartment,
    read_profile,
    read_time_series,
)
from .runner import ExecutableNotFound, RunError, RunResult, RunTimeout, find_executable, run
from .studies import (
    CalibrationResult,
    LocalDask,
    OutputError,
    SampleResult,
    SensitivityResult,
    StudyError,
    SweepError,
    TemplateError,
    calibrate,
    local_client,
    read_observations,
    read_scenarios,
    read_template,
    sample,
    sensitivity,
    sweep,
)

__all__ = [
    "CalibrationResult", "SampleResult", "SensitivityResult", "calibrate", "read_observations", "sample",
    "sensitivity",
    "CheckReport", "Equations", "Link", "LoadBlock", "Loads", "Model", "ModelError", "ModelFileError", "Options",
    "add_sediment", "grid", "river_network",
    "ExecutableNotFound", "IncompleteResultError", "LocalDask", "MassBalance", "OutputError", "ResultFileError",
    "RunError", "RunResult", "RunTimeout", "StaleResultError", "StudyError", "SweepError", "TemplateError",
    "find_executable", "find_file", "latest_run_error", "local_client", "read_last_row", "read_mass_balance",
    "read_one_compartment", "read_profile", "read_scenarios", "read_template", "read_time_series", "run", "sweep",
]


def __getattr__(name):
    import importlib

    # Matplotlib is imported only when plots are asked for.
    if name == "plot":
        return importlib.import_module(".plot", __name__)
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
