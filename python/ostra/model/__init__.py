"""Models from Python: build, read, check, change and write a whole ostra model.

Exports: Model, Link, ModelError, CheckReport, Options, Loads, LoadBlock,
Equations, ModelFileError, river_network, add_sediment, grid, read_labels,
SCHEMES, OUTPUTS, KINDS.
"""

from .equations import Equations
from .fields import ModelFileError
from .generators import add_sediment, grid, river_network
from .loads import LoadBlock, Loads
from .model import CheckReport, Link, Model, ModelError, read_labels
from .options import OUTPUTS, SCHEMES, Options
from .tables import KINDS

__all__ = ["CheckReport", "Equations", "KINDS", "Link", "LoadBlock", "Loads", "Model", "ModelError",
           "ModelFileError", "OUTPUTS", "Options", "SCHEMES", "add_sediment", "grid", "read_labels",
           "river_network"]
