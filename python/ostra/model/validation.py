"""`Model.validate`: the inconsistencies of a model, in the model's own words,
found before any file is written.

These are checks of the model object (what it says about itself), not of
the files: `Model.check` writes the files and lets `ostra --check` make
every check a run makes.

Exports: validate.
"""

from __future__ import annotations

import os

import numpy as np
import pandas as pd

from .options import SCHEMES, OUTPUTS
from .tables import exchange_column, flow_column, kind_codes

INTEGER_MAX = 32767
# The companion program of each time-variable table.
_PROGRAMS = {"compartments": "Compartment.exe", "partitioning": "LinearKdandTempCoef.exe",
             "interfaces": "Interfaces.exe", "exchange": "Ecoefficients.exe", "flows": "Flows.exe",
             "multipliers": "FlowandEMultipliers.exe", "boundary": "Boundary.exe", "loads": "Loads.exe",
             "A": "AEqnSolver.exe", "RV": "RVEqnSolver.exe", "B": "BEqnSolver.exe"}
_ENVS_TABLES = {"compartments", "partitioning", "interfaces", "exchange", "flows", "multipliers", "boundary", "loads"}


def validate(model) -> list[str]:
    from .model import ModelError

    problems: list[str] = []
    warnings: list[str] = []
    _options(model, problems)
    _companions(model, problems)
    if model.options.mode == "EQNS":
        _equations(model, problems)
    else:
        _compartments(model, problems)
        _interfaces(model, problems)
        _concentrations(model, problems)
        _terms(model, problems)
        _loads(model, problems, warnings)
    if problems:
        raise ModelError(problems)
    return warnings


def _q(sv) -> str:
    return f'"{sv}"'


def _few(numbers, limit: int = 8) -> str:
    numbers = [int(n) for n in numbers]
    text = ", ".join(map(str, numbers[:limit]))
    return text + (f" and {len(numbers) - limit} more" if len(numbers) > limit else "")


def _options(m, problems):
    o = m.options
    if o.mode not in ("ENVS", "EQNS"):
        problems.append(f'mode {o.mode!r} is neither "ENVS" (compartments) nor "EQNS" (equations)')
        return
    try:
        scheme = o.scheme_number
    except ValueError as e:
        problems.append(str(e))
        return
    if o.dynamic:
        if scheme not in SCHEMES.values():
            problems.append(f"a dynamic run needs one of the schemes {', '.join(SCHEMES)}, not {o.scheme!r}")
        try:
            if o.output_number not in OUTPUTS.values() and o.mode == "ENVS":
                problems.append(f"a dynamic run writes one of the outputs {', '.join(OUTPUTS)}, not {o.output!r}")
        except ValueError as e:
            problems.append(str(e))
        if scheme == 2 and o.newton:
            problems.append('the scheme "maccormack" cannot run a nonlinear model (its steps need Newton '
                            'iteration); choose "implicit-euler" or "crank-nicolson", or "explicit-euler" with '
                            "the f(C) term taken explicitly")
        elif scheme == 2 and o.mode == "EQNS":
            problems.append('the scheme "maccormack" is not available in equation-solver mode ("EQNS")')
        if not o.time_step > 0:
            problems.append(f"a dynamic run needs a time step above 0, not {o.time_step:g}")
    if not o.linear and not (o.f_term or o.r_term and o.nonlinear_storage):
        problems.append("the model is nonlinear but has neither an f(C) term (f_term) nor an R(C) storage "
                        "(nonlinear_storage with r_term)")
    if o.solver not in (None, "gauss-jordan", "sparse-lu"):
        problems.append(f'solver {o.solver!r} is none of "gauss-jordan", "sparse-lu"')
    try:
        o.mix_length_number
    except ValueError as e:
        problems.append(str(e))
    unknown = set(o.time_variable) - set(_PROGRAMS)
    if unknown:
        problems.append(f"time_variable names no table {', '.join(sorted(unknown))} "
                        f"(the tables are {', '.join(_PROGRAMS)})")


def _have(m, program: str) -> bool:
    wanted = {program.lower(), program.lower()[:-4]}
    return any(name.lower() in wanted for name in m.companions)


def _companions(m, problems):
    o = m.options
    needed = []
    envs = o.mode == "ENVS"
    for table in sorted(o.time_variable & set(_PROGRAMS)):
        if (table in _ENVS_TABLES) == envs:
            needed.append((_PROGRAMS[table], f"the time-variable table {table!r}"))
    if not o.linear:
        if o.f_term:
            needed.append(("varn.exe", "the f(C) term"))
            if o.newton and o.analytic_jacobian:
                needed.append(("dfdc.exe", "df/dC of the f(C) term"))
        if o.newton and o.nonlinear_storage and o.r_term:
            needed.append(("Telm.exe", "the R(C) storage"))
            if o.dynamic and o.analytic_jacobian:
                needed.append(("Pask.exe", "dR/dC of the R(C) storage"))
    for program, purpose in needed:
        if not _have(m, program):
            problems.append(f'the companion program "{program}" for {purpose} is not among the model\'s '
                            "companions (model.companions[name] = path of the program)")
    for name, path in m.companions.items():
        if not os.path.isfile(path):
            problems.append(f'the companion program "{name}" is to be copied from {path}, which does not exist')


def _equations(m, problems):
    e = m.equations
    if e is None:
        problems.append("an equation-solver model needs its equations (A, B): Model.from_equations")
        return
    n = e.A.shape[0]
    if e.A.ndim != 2 or e.A.shape != (n, n):
        problems.append(f"A must be a square matrix, not {e.A.shape}")
    if n > INTEGER_MAX:
        problems.append(f"{n} equations are more than {INTEGER_MAX}")
    for name, needed in (("B", True), ("RV", m.options.dynamic), ("initial", m.options.dynamic),
                         ("guess", m.options.newton)):
        v = getattr(e, name)
        if v is None:
            if needed:
                problems.append(f"the run needs {name} (one value per equation), and the model has none")
            continue
        if len(v) != n:
            problems.append(f"{name} has {len(v)} values for {n} equations")
        elif needed and np.isnan(v).any() and not (name in ("B", "RV") and name in m.options.time_variable):
            problems.append(f"{name} is not given for equation{'s' if np.isnan(v).sum() > 1 else ''} "
                            f"{_few(np.nonzero(np.isnan(v))[0] + 1)}")
    if np.isnan(e.A).any() and "A" not in m.options.time_variable:
        problems.append("A holds values that are not given (NaN)")


def _compartments(m, problems):
    c = m.compartments
    nt, nsv = m.size, len(m.state_variables)
    if nt == 0:
        problems.append("the model has no compartment")
        return
    if not c.index.equals(pd.RangeIndex(1, nt + 1)):
        problems.append("the compartments must be numbered 1, 2, ... in order (the index of model.compartments)")
        return
    if nt > INTEGER_MAX or nt * nsv > INTEGER_MAX:
        problems.append(f"{nt} compartments x {nsv} state variables = {nt * nsv} table rows, more than {INTEGER_MAX}")
    if "compartments" in m.options.time_variable and c[["volume", "water_content"]].isna().all().all():
        return
    kinds = kind_codes(c["kind"])
    interior = kinds == 0
    presence = m.presence.reindex(index=c.index, columns=m.state_variables, fill_value=False).to_numpy(dtype=bool)
    for j, sv in enumerate(m.state_variables):
        wrong = np.nonzero(presence[:, j] & ~interior)[0] + 1
        if wrong.size:
            problems.append(f"state variable {_q(sv)} is computed in compartment{'s' if wrong.size > 1 else ''} "
                            f"{_few(wrong)}, which {'are' if wrong.size > 1 else 'is'} no interior compartment "
                            f"(kind {c['kind'].iloc[wrong[0] - 1]!r}); only interior compartments hold state variables")
        if not (presence[:, j] & interior).any():
            problems.append(f"state variable {_q(sv)} is computed in no interior compartment")
    holds = (presence & interior[:, None]).any(axis=1)
    for column, what in (("volume", "a volume above 0"), ("water_content", "a water content above 0")):
        values = c[column].to_numpy(dtype=np.float64)
        bad = np.nonzero(holds & ~(values > 0))[0] + 1
        if bad.size:
            problems.append(f"interior compartment{'s' if bad.size > 1 else ''} {_few(bad)} "
                            f"need{'' if bad.size > 1 else 's'} {what} (found {values[bad[0] - 1]:g})")


def _interfaces(m, problems):
    s = m.interfaces
    if not len(s):
        return
    nt = m.size
    comp = s["compartment"].to_numpy(dtype=np.int64)
    adj = s["adjacent"].to_numpy(dtype=np.int64)
    missing = False
    for i in np.nonzero((comp < 1) | (comp > nt))[0][:1]:
        problems.append(f"an interface belongs to compartment {comp[i]}, which does not exist (the model has "
                        f"{nt} compartments)")
        missing = True
    for i in np.nonzero((adj < 1) | (adj > nt))[0][:1]:
        problems.append(f"compartment {comp[i]} has an interface to compartment {adj[i]}, which does not exist "
                        f"(the model has {nt} compartments)")
        missing = True
    if missing:
        return
    same = np.nonzero(comp == adj)[0]
    if same.size:
        problems.append(f"compartment {comp[same[0]]} has an interface to itself")
    kinds = kind_codes(m.compartments["kind"])
    presence = m.presence.reindex(index=m.compartments.index, columns=m.state_variables,
                                  fill_value=False).to_numpy(dtype=bool)
    o = m.options
    tol = float(np.float32(o.flow_balance_tolerance))
    centroid = m.compartments[["x", "y", "z"]].to_numpy(dtype=np.float64)
    for j, sv in enumerate(m.state_variables):
        used = (kinds[comp - 1] == 0) & presence[comp - 1, j]
        q = s[flow_column(sv)].to_numpy(dtype=np.float64)
        e = s[exchange_column(sv)].to_numpy(dtype=np.float64)
        flows_known = "flows" not in o.time_variable or not np.isnan(q).all()
        if flows_known:
            missing = np.nonzero(used & np.isnan(q))[0]
            if missing.size:
                i = missing[0]
                problems.append(f"the flow of state variable {_q(sv)} from compartment {adj[i]} into {comp[i]} is "
                                "not given (0 for no flow)")
            q32 = np.nan_to_num(q.astype(np.float32).astype(np.float64))
            inflow = np.bincount(comp, weights=np.where(used & (q32 > 0), q32, 0), minlength=nt + 1)
            outflow = np.bincount(comp, weights=np.where(used & (q32 < 0), -q32, 0), minlength=nt + 1)
            gap = np.abs(inflow - outflow)
            with np.errstate(divide="ignore", invalid="ignore"):
                percent = np.where(inflow > 0, gap * 100 / inflow, np.inf)
            for k in np.nonzero((gap > 0) & (percent > tol))[0]:
                problems.append(f"the flows of state variable {_q(sv)} do not balance at compartment {k}: inflow "
                                f"{inflow[k]:.7g}, outflow {outflow[k]:.7g}"
                                + (f" ({percent[k]:.3g} % > flow_balance_tolerance {tol:g} %)" if inflow[k] > 0
                                   else " (no inflow at all)"))
        if "exchange" in o.time_variable and np.isnan(e).all():
            continue
        exchanging = used & (e != 0) & ~np.isnan(e) & (kinds[adj - 1] != 3)
        area = s["area"].to_numpy(dtype=np.float64)
        for i in np.nonzero(exchanging & np.isnan(area))[0][:1]:
            problems.append(f"the interface of compartment {comp[i]} to {adj[i]} exchanges state variable {_q(sv)} "
                            "but has no area")
        if o.mix_length == "interface" or o.mix_length == 2:
            mix = s["mixing_length"].to_numpy(dtype=np.float64)
            for i in np.nonzero(exchanging & ~(mix > 0))[0][:1]:
                problems.append(f"the interface of compartment {comp[i]} to {adj[i]} exchanges state variable "
                                f"{_q(sv)} but its mixing length is {mix[i]:g} (mix_length \"interface\")")
        else:
            d = np.sqrt(((centroid[comp - 1] - centroid[adj - 1]) ** 2).sum(axis=1))
            for i in np.nonzero(exchanging & ~(d > 0))[0][:1]:
                problems.append(f"compartments {comp[i]} and {adj[i]} exchange state variable {_q(sv)} across "
                                f"a mixing length of {d[i]:g}: their centroids (the mixing length of "
                                'mix_length "centroid") must be given and differ')


def _concentrations(m, problems):
    o = m.options
    kinds = kind_codes(m.compartments["kind"])
    index = m.compartments.index
    presence = m.presence.reindex(index=index, columns=m.state_variables, fill_value=False).to_numpy(dtype=bool)
    holds = presence & (kinds == 0)[:, None]
    s = m.interfaces
    if len(s) and not ("boundary" in o.time_variable and m.boundary.isna().all().all()):
        comp = s["compartment"].to_numpy(dtype=np.int64)
        adj = s["adjacent"].to_numpy(dtype=np.int64)
        ok = (comp >= 1) & (comp <= len(kinds)) & (adj >= 1) & (adj <= len(kinds))
        comp, adj = comp[ok], adj[ok]
        boundary = m.boundary.reindex(index=index, columns=m.state_variables).to_numpy(dtype=np.float64)
        for j, sv in enumerate(m.state_variables):
            need = holds[comp - 1, j] & (kinds[adj - 1] == 2) & np.isnan(boundary[adj - 1, j])
            missing = np.unique(adj[need])
            if missing.size:
                problems.append(f"fixed-concentration boundar{'ies' if missing.size > 1 else 'y'} {_few(missing)} "
                                f"border{'' if missing.size > 1 else 's'} compartments holding state variable "
                                f"{_q(sv)}, but the model gives no boundary concentration of it there")
    for name, needed in (("initial", o.dynamic), ("guess", o.newton)):
        if not needed:
            continue
        frame = getattr(m, name)
        what = "initial concentrations" if name == "initial" else "starting guesses (Newton iteration)"
        if frame is None:
            problems.append(f"the run needs {what}, and the model has none (model.{name})")
            continue
        values = frame.reindex(index=index, columns=m.state_variables).to_numpy(dtype=np.float64)
        for j, sv in enumerate(m.state_variables):
            missing = np.nonzero(holds[:, j] & np.isnan(values[:, j]))[0] + 1
            if missing.size:
                problems.append(f"the run needs {what} of state variable {_q(sv)}; compartment"
                                f"{'s' if missing.size > 1 else ''} {_few(missing)} "
                                f"{'have' if missing.size > 1 else 'has'} none")


def _holding(m):
    """A function (state variable names, compartment numbers) -> True where
    the state variable has an equation in the compartment."""
    kinds = kind_codes(m.compartments["kind"])
    presence = m.presence.reindex(index=m.compartments.index, columns=m.state_variables,
                                  fill_value=False).to_numpy(dtype=bool)
    holds = presence & (kinds == 0)[:, None]
    place = {sv: i for i, sv in enumerate(m.state_variables)}

    def test(svs, ks) -> np.ndarray:
        svs = np.array([place.get(v, -1) if isinstance(v, str) else -1 for v in svs], dtype=np.int64)
        ks = np.asarray(ks, dtype=np.int64)
        ok = (svs >= 0) & (ks >= 1) & (ks <= len(kinds))
        out = np.zeros(len(ks), dtype=bool)
        out[ok] = holds[ks[ok] - 1, svs[ok]]
        return out
    return test


def _terms(m, problems):
    nt = m.size
    for sv in set(m.volume_terms["receiving"]) | set(m.volume_terms["driving"]) | set(
            m.area_terms["state_variable"]) | set(m.multipliers["state_variable"]):
        if sv not in m.state_variables:
            problems.append(f"a term names the state variable {sv!r}, which the model does not have")
    kinds = kind_codes(m.compartments["kind"])
    holds = _holding(m)
    v = m.volume_terms
    k = v["compartment"].to_numpy(dtype=np.int64)
    exists = (k >= 1) & (k <= nt)
    for i in np.nonzero(~exists)[0][:1]:
        problems.append(f"a volume term names compartment {k[i]}, which does not exist")
    used = exists & (kinds[np.clip(k, 1, max(nt, 1)) - 1] == 0) if nt else exists
    rate = v["rate"].to_numpy(dtype=np.float64)
    known = set(m.state_variables)
    for column, needed in (("receiving", used), ("driving", used & (rate >= 0))):
        names = v[column].to_numpy()
        bad = np.nonzero(needed & np.isin(names, list(known)) & ~holds(names, k))[0]
        for i in bad[:1]:
            problems.append(f"a volume term needs state variable {_q(names[i])} in compartment {k[i]}, where it is "
                            f"not computed{f' (and {len(bad) - 1} more such terms)' if len(bad) > 1 else ''}")
    a = m.area_terms
    if not len(a):
        return
    k = a["compartment"].to_numpy(dtype=np.int64)
    j = a["adjacent"].to_numpy(dtype=np.int64)
    inside = (k >= 1) & (k <= nt) & (j >= 1) & (j <= nt)
    for i in np.nonzero(~inside)[0][:1]:
        problems.append(f"an area term names compartments {k[i]} and {j[i]}; the model has {nt}")
    names = a["state_variable"].to_numpy()
    for i in np.nonzero(inside & np.isin(names, list(known)) & ~holds(names, k))[0][:1]:
        problems.append(f"an area term of state variable {_q(names[i])} acts in compartment {k[i]}, where it is "
                        "not computed")
    s = m.interfaces.drop_duplicates(["compartment", "adjacent"])
    back = pd.DataFrame({"compartment": j, "adjacent": k}).merge(
        s[["compartment", "adjacent", "area"]], how="left", on=["compartment", "adjacent"], indicator=True)
    for i in np.nonzero(inside & (back["_merge"] == "left_only").to_numpy())[0][:1]:
        problems.append(f"an area term acts across the interface {j[i]} -> {k[i]}, but compartment {j[i]} lists no "
                        f"interface to {k[i]} (its area is that of {j[i]}'s side)")
    for i in np.nonzero(inside & (back["_merge"] == "both").to_numpy() & back["area"].isna().to_numpy())[0][:1]:
        problems.append(f"an area term acts across the interface {j[i]} -> {k[i]}, whose area is not given")
    rate = a["rate"].to_numpy(dtype=np.float64)
    for i in np.nonzero(inside & (rate >= 0) & (kinds[np.clip(j, 1, nt) - 1] != 0))[0][:1]:
        problems.append(f"an area source into compartment {k[i]} from compartment {j[i]}, which is no interior "
                        "compartment: give it as a load instead")


def _loads(m, problems, warnings):
    o = m.options
    if "loads" in o.time_variable and not len(m.loads):
        return
    end = o.end_time
    holds = _holding(m)
    for n, b in enumerate(m.loads, start=1):
        where = f"load block {n} ({b.start:g} to {b.end:g})"
        if not b.start < b.end:
            problems.append(f"{where} is empty: its start must lie before its end")
        elif o.dynamic and (b.end <= 0 or b.start > end):
            problems.append(f"{where} lies outside the run's time 0 to {end:g}, so it never applies")
        elif not o.dynamic and n == 1 and not (b.start <= 0 < b.end):
            problems.append(f"{where}: a steady-state run reads only the first load block, at time 0, which "
                            "this block does not hold, so the run has no loads")
        if not o.dynamic and n == 2:
            warnings.append("a steady-state run reads only the first load block; blocks 2 and later are not used")
        if not b.records:
            continue
        ks, svs, ws = zip(*b.records)
        held = holds(svs, ks)
        for k, sv, w, ok in zip(ks, svs, ws, held):
            if sv not in m.state_variables:
                problems.append(f"{where} loads state variable {sv!r}, which the model does not have")
            elif not ok:
                problems.append(f"{where} loads state variable {_q(sv)} into compartment {k}, where it has no "
                                "equation")
            if not np.isfinite(w):
                problems.append(f"{where}: the load of {sv!r} into compartment {k} is not given")
