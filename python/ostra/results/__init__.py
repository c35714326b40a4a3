"""Readers of ostra's result files (see `readers`), the errors they raise,
and the check whether a directory's latest run ended early.

Exports: read_time_series, read_one_compartment, read_profile,
read_mass_balance, read_last_row, MassBalance, ResultFileError,
IncompleteResultError, StaleResultError, latest_run_error, equation_name.
"""

from .readers import (
    MASS_BALANCE_COLUMNS,
    MassBalance,
    equation_name,
    read_last_row,
    read_mass_balance,
    read_one_compartment,
    read_profile,
    read_time_series,
)
from .source import IncompleteResultError, ResultFileError, StaleResultError, latest_run_error

__all__ = [
    "IncompleteResultError", "MASS_BALANCE_COLUMNS", "MassBalance", "ResultFileError", "StaleResultError",
    "equation_name", "latest_run_error", "read_last_row", "read_mass_balance", "read_one_compartment",
    "read_profile", "read_time_series",
]
