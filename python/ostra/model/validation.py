"""`Model.validate`: every fault of a model, found before any file is
written in the user's directory.

The checks made here are only those ostra cannot make: the structure of
the model's objects, without which its files cannot be written at all
(compartments numbered 1..N in order, interfaces of or to compartments that
do not exist or of a compartment to itself, counts beyond ostra's 16-bit
whole numbers, option and kind names that name nothing, state variables a
term or load names that the model does not have, the arrays of the
equation-solver form, companion programs to be copied from where there is
none, values not given where the file has no way to say so), and what
ostra does not look at (load windows that never apply, a time step that
does not advance: warnings). Everything else is `ostra --check`'s: the
model is written into a temporary directory, checked there, and the
directory removed; ostra's message becomes the ModelError's, with the
state variables it numbers named.

Exports: validate, model_problems, named_state_variables.
"""

from __future__ import annotations

import os
import re
import tempfile

import numpy as np
import pandas as pd

from ..runner import RunError, RunTimeout, run
from .fields import ModelFileError
from .options import SOLVERS, TIME_VARIABLE_TABLES
from .tables import KINDS, kind_codes

INTEGER_MAX = 32767


def validate(model, executable=None, timeout: float | None = None) -> list[str]:
    """Raises ModelError naming the model's faults; returns its warnings
    (those found here, then ostra's) otherwise."""
    from .model import ModelError

    problems, warnings = model_problems(model)
    if problems:
        raise ModelError(problems)
    with tempfile.TemporaryDirectory(prefix="ostra-validate-") as scratch:
        try:
            model.write(scratch, validate=False)
        except (ModelFileError, ValueError, KeyError, TypeError) as e:
            raise ModelError([f"the model cannot be written: {e}"]) from e
        try:
            result = run(scratch, executable=executable, timeout=timeout, check=True)
        except RunTimeout:  # a time limit is no fault of the model
            raise
        except RunError as e:
            raise ModelError([_in_model_terms(model, _check_message(e), scratch)]) from e
    return warnings + [_in_model_terms(model, w, scratch) for w in result.warnings]


def _in_model_terms(model, text: str, scratch: str) -> str:
    """ostra's text with state variables named and without the temporary
    directory, which is gone when the text is read."""
    for place in {os.path.realpath(scratch), os.path.abspath(scratch)}:
        text = text.replace(f"the model directory {place}", "the model's files").replace(place, "the model's files")
    return named_state_variables(model, text)


def _check_message(e: RunError) -> str:
    """What `ostra --check` said of the fault: the line of "Error.dng", or
    the set-up message of an end with status 2 (printed on its own)."""
    if e.error:
        return e.error
    if e.status == 2:
        lines = [ln.strip() for ln in e.result.stdout.splitlines()
                 if ln.strip() and not ln.startswith("Warning: ")]
        if lines:
            return lines[-1]
    return f"ostra --check ended with {e.meaning}" + (f": {e.detail}" if e.detail else "")


_STATE_VARIABLE = re.compile(r"\bstate variable (\d+)\b")


def named_state_variables(model, text: str) -> str:
    """ostra's text with each state variable it numbers followed by its name:
    'state variable 2 ("product")'. Numbers that name no state variable of
    the model, and names the model made up itself ("sv2"), are left alone."""
    if model.options.mode == "EQNS":
        return text
    names = model.state_variables

    def name(match: re.Match) -> str:
        n = int(match.group(1))
        if 1 <= n <= len(names) and names[n - 1] != f"sv{n}":
            return f'{match.group(0)} ("{names[n - 1]}")'
        return match.group(0)

    return _STATE_VARIABLE.sub(name, text)


def model_problems(model) -> tuple[list[str], list[str]]:
    """The faults of the model's objects that keep its files from being
    written as meant, and the warnings of what ostra does not check."""
    problems: list[str] = []
    warnings: list[str] = []
    _options(model, problems, warnings)
    _companions(model, problems)
    if model.options.mode == "EQNS":
        _equations(model, problems)
    elif model.options.mode == "ENVS":
        if _compartments(model, problems, warnings):
            _interfaces(model, problems)
            _frames(model, problems)
            _names(model, problems)
            _loads(model, problems, warnings)
    return problems, warnings


def _few(numbers, limit: int = 8) -> str:
    numbers = [int(n) for n in numbers]
    text = ", ".join(map(str, numbers[:limit]))
    return text + (f" and {len(numbers) - limit} more" if len(numbers) > limit else "")


def _options(m, problems, warnings):
    o = m.options
    if o.mode not in ("ENVS", "EQNS"):
        problems.append(f'mode {o.mode!r} is neither "ENVS" (compartments) nor "EQNS" (equations)')
    for name in ("scheme_number", "output_number", "mix_length_number"):
        try:
            getattr(o, name)
        except (ValueError, TypeError) as e:
            problems.append(str(e))
    if o.solver is not None and o.solver not in SOLVERS:
        problems.append(f'solver {o.solver!r} is none of None, {", ".join(map(repr, SOLVERS))}')
    unknown = set(o.time_variable) - set(TIME_VARIABLE_TABLES)
    if unknown:
        problems.append(f"time_variable names no table {', '.join(map(repr, sorted(unknown)))} "
                        f"(the tables are {', '.join(TIME_VARIABLE_TABLES)})")
    if o.dynamic and not o.time_step > 0:
        warnings.append(f"the time step is {o.time_step:g}: a time-stepping run does not advance in time "
                        "(ostra does not refuse it)")
    if not o.linear and not (o.f_term or o.r_term and o.nonlinear_storage):
        warnings.append("the model is declared nonlinear (linear = False) but has neither an f(C) term "
                        "(f_term) nor an R(C) storage (nonlinear_storage with r_term): its linear equations "
                        "are solved as nonlinear ones")


def _companions(m, problems):
    for name, path in m.companions.items():
        if not os.path.isfile(path):
            problems.append(f'the companion program "{name}" is to be copied from {path}, which does not exist')


def _equations(m, problems):
    # ostra reads every value of these files as a coefficient (-999 too),
    # so a value the arrays do not give must not be written.
    e = m.equations
    if e is None:
        problems.append("an equation-solver model needs its equations (A, B): Model.from_equations")
        return
    n = e.A.shape[0]
    if e.A.ndim != 2 or e.A.shape != (n, n):
        problems.append(f"A must be a square matrix, not {e.A.shape}")
    if n > INTEGER_MAX:
        problems.append(f"{n} equations are more than {INTEGER_MAX}")
    o = m.options
    for name, needed in (("B", True), ("RV", o.dynamic), ("initial", o.dynamic), ("guess", o.newton)):
        v = getattr(e, name)
        if v is None:
            if needed:
                problems.append(f"the run needs {name} (one value per equation), and the model has none")
            continue
        if len(v) != n:
            problems.append(f"{name} has {len(v)} values for {n} equations")
        elif needed and np.isnan(v).any() and not (name in ("B", "RV") and name in o.time_variable):
            missing = np.nonzero(np.isnan(v))[0] + 1
            problems.append(f"{name} is not given for equation{'s' if missing.size > 1 else ''} {_few(missing)}")
    if np.isnan(e.A).any() and "A" not in o.time_variable:
        problems.append("A holds values that are not given (NaN)")


def _compartments(m, problems, warnings) -> bool:
    """False when the compartments are such that nothing else can be looked at."""
    c = m.compartments
    nt, nsv = m.size, len(m.state_variables)
    if not c.index.equals(pd.RangeIndex(1, nt + 1)):
        problems.append("the compartments must be numbered 1, 2, ... in order (the index of model.compartments)")
        return False
    if nt > INTEGER_MAX or nt * nsv > INTEGER_MAX:
        problems.append(f"{nt} compartments x {nsv} state variables = {nt * nsv} table rows, more than {INTEGER_MAX}")
    unknown = sorted({k for k in c["kind"] if isinstance(k, str) and k not in KINDS})
    if unknown:
        problems.append(f"compartment kind{'s' if len(unknown) > 1 else ''} {', '.join(map(repr, unknown))} "
                        f"name{'' if len(unknown) > 1 else 's'} no kind (the kinds are {', '.join(KINDS)})")
    else:
        _volumes(m, problems, warnings)
    return True


def _volumes(m, problems, warnings):
    # ostra takes a volume of -999 as it stands: a volume not given would be
    # a volume of -999 in the equations.
    c = m.compartments
    if "Compartments.csv" in m.raw or "compartments" in m.options.time_variable and c["volume"].isna().all():
        return
    presence = m.presence.reindex(index=c.index, columns=m.state_variables, fill_value=False).to_numpy(dtype=bool)
    holds = presence.any(axis=1) & (kind_codes(c["kind"]) == 0)
    volume = c["volume"].to_numpy(dtype=np.float64)
    for bad, problem in ((np.isnan(volume), True), (volume <= 0, False)):
        found = np.nonzero(holds & bad)[0] + 1
        if not found.size:
            continue
        text = (f"interior compartment{'s' if found.size > 1 else ''} {_few(found)} "
                f"{'have' if found.size > 1 else 'has'} ")
        if problem:
            problems.append(text + "no volume (NaN), which would be written as -999 and taken as a volume")
        else:
            warnings.append(text + f"a volume of {volume[found[0] - 1]:g}, though state variables are computed there")


def _interfaces(m, problems):
    s = m.interfaces
    if not len(s):
        return
    nt = m.size
    comp = s["compartment"].to_numpy(dtype=np.float64)
    adj = s["adjacent"].to_numpy(dtype=np.float64)
    for i in np.nonzero(~np.isin(comp, np.arange(1, nt + 1)))[0][:1]:
        problems.append(f"an interface belongs to compartment {comp[i]:g}, which does not exist (the model has "
                        f"{nt} compartments)")
    for i in np.nonzero(~np.isin(adj, np.arange(1, nt + 1)))[0][:1]:
        problems.append(f"compartment {comp[i]:g} has an interface to compartment {adj[i]:g}, which does not "
                        f"exist (the model has {nt} compartments)")
    same = np.nonzero(comp == adj)[0]
    if same.size:
        problems.append(f"compartment {comp[same[0]]:g} has an interface to itself")
    nas = np.bincount(np.clip(comp, 0, nt + 1).astype(np.int64), minlength=nt + 2)[1:nt + 1]
    if nas.max(initial=0) > INTEGER_MAX:
        k = int(np.argmax(nas)) + 1
        problems.append(f"compartment {k} has {nas[k - 1]} interfaces, more than {INTEGER_MAX}")


def _frames(m, problems):
    o = m.options
    for name, needed, what in (("initial", o.dynamic, "initial concentrations"),
                               ("guess", o.newton, "starting guesses (Newton iteration)")):
        if needed and getattr(m, name) is None:
            problems.append(f"the run needs {what}, and the model has none (model.{name})")


def _names(m, problems):
    known = set(m.state_variables)
    named = (set(m.volume_terms["receiving"]) | set(m.volume_terms["driving"]) | set(m.area_terms["state_variable"])
             | set(m.multipliers["state_variable"]))
    for sv in sorted(map(str, named - known)):
        problems.append(f"a term names the state variable {sv!r}, which the model does not have")


def _loads(m, problems, warnings):
    o = m.options
    if "loads" in o.time_variable and not len(m.loads):
        return
    end = o.end_time
    known = set(m.state_variables)
    for n, b in enumerate(m.loads, start=1):
        where = f"load block {n} ({b.start:g} to {b.end:g})"
        # A block's window holds t with start <= t < end.
        if not b.start < b.end:
            warnings.append(f"{where} is empty (its start is not before its end), so it never applies")
        elif o.dynamic and (b.end <= 0 or b.start > end):
            warnings.append(f"{where} lies outside the run's time 0 to {end:g}, so it never applies")
        elif not o.dynamic and n == 1 and not (b.start <= 0 < b.end):
            warnings.append(f"{where}: a steady-state run reads only the first load block, at time 0, which "
                            "this block does not hold, so the run has no loads")
        if not o.dynamic and n == 2:
            warnings.append("a steady-state run reads only the first load block; blocks 2 and later are not used")
        for k, sv, w in b.records:
            if sv not in known:
                problems.append(f"{where} loads state variable {sv!r}, which the model does not have")
            # ostra reads -999 there as a load of -999.
            elif not np.isfinite(w):
                problems.append(f"{where}: the load of {sv!r} into compartment {k} is not given")
