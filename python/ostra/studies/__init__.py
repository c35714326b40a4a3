"""Studies of a base model over many scenarios: sweeps, calibration,
sampling and sensitivity, sharing one scenario cache and one way to run
batches on Dask (`study.Study`).

Exports: sweep, calibrate, sample, sensitivity, read_scenarios,
read_observations, read_template, local_client, LocalDask, Study,
CalibrationResult, SampleResult, SensitivityResult, SweepError, StudyError,
TemplateError, OutputError.
"""

from .calibrate import CalibrationResult, calibrate
from .cluster import LocalDask, local_client
from .outputs import OutputError
from .scenarios import StudyError, SweepError, read_scenarios
from .sample import SampleResult, sample
from .sensitivity import SensitivityResult, sensitivity
from .study import Study
from .sweep import sweep
from .tables import read_observations
from .templates import TemplateError, read_template

__all__ = ["CalibrationResult", "LocalDask", "OutputError", "SampleResult", "SensitivityResult", "Study",
           "StudyError", "SweepError", "TemplateError", "calibrate", "local_client", "read_observations",
           "read_scenarios", "read_template", "sample", "sensitivity", "sweep"]
