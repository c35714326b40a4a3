"""Studies of a base model over many scenarios: sweeps (and, sharing the
same scenario cache and batches on Dask, calibration, sampling and
sensitivity).

Exports: sweep, read_scenarios, read_template, local_client, LocalDask,
Study, SweepError, StudyError, TemplateError, OutputError.
"""

from .cluster import LocalDask, local_client
from .outputs import OutputError
from .scenarios import StudyError, SweepError, read_scenarios
from .study import Study
from .sweep import sweep
from .templates import TemplateError, read_template

__all__ = ["LocalDask", "OutputError", "Study", "StudyError", "SweepError", "TemplateError", "local_client",
           "read_scenarios", "read_template", "sweep"]
