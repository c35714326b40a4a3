"""python3 -m ostra plot MODEL_DIR [-o FILE]
python3 -m ostra sweep BASE_DIR SCENARIOS.csv --out DIR [--scheduler ADDRESS] [--outputs ...]
python3 -m ostra calibrate BASE_DIR PARAMETERS.csv OBSERVATIONS.csv --out DIR [--scheduler ADDRESS]"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path


def _plot(args) -> int:
    from . import plot
    from .results import ResultFileError

    directory = Path(args.model_dir)
    if not directory.is_dir():
        print(f"ostra plot: {directory} is not a directory", file=sys.stderr)
        return 2
    output = Path(args.output) if args.output else directory / "ostra-results.png"
    if output.suffix.lower() not in (".png", ".svg", ".pdf"):
        print(f"ostra plot: {output}: the picture is written as .png, .svg or .pdf", file=sys.stderr)
        return 2
    notes: list[str] = []
    try:
        fig = plot.model(directory, log=args.log, notes=notes)
    except (FileNotFoundError, ResultFileError, ValueError) as e:
        print(f"ostra plot: {e}", file=sys.stderr)
        return 1
    for note in notes:
        print(f"ostra plot: {note}", file=sys.stderr)
    fig.savefig(output, dpi=args.dpi)
    print(output)
    return 0


def _sweep(args) -> int:
    from .studies import SweepError, TemplateError, sweep

    out = Path(args.out)
    table_path = Path(args.table) if args.table else out / "sweep-results.csv"
    try:
        table = sweep(args.base_dir, args.scenarios, out, client=args.scheduler, outputs=args.outputs,
                      executable=args.executable, strict=args.strict, timeout=args.timeout,
                      rerun_failed=args.rerun_failed, files=args.files)
    except (SweepError, TemplateError, FileNotFoundError, ValueError) as e:
        print(f"ostra sweep: {e}", file=sys.stderr)
        return 2
    tmp = table_path.with_name(table_path.name + ".part")
    table.to_csv(tmp, index=False)
    tmp.replace(table_path)
    not_done = table.drop_duplicates("scenario")
    not_done = not_done[not_done.status != "done"]
    print(f"{table_path} ({len(not_done)} of {table.scenario.nunique()} scenarios not done)"
          if len(not_done) else str(table_path))
    return 1 if len(not_done) else 0


def _calibrate(args) -> int:
    from .studies import StudyError, TemplateError, calibrate

    out = Path(args.out)
    client = "serial" if args.serial else args.scheduler
    try:
        result = calibrate(args.base_dir, args.parameters, args.observations, out, client=client,
                           executable=args.executable, strict=args.strict, timeout=args.timeout, files=args.files,
                           max_evaluations=args.max_evaluations, progress=False)
    except (StudyError, TemplateError, FileNotFoundError, ValueError) as e:
        print(f"ostra calibrate: {e}", file=sys.stderr)
        return 2
    table = result.table
    for name, frame in (("calibration-parameters.csv", table), ("calibration-residuals.csv", result.residuals),
                        ("calibration-history.csv", result.history)):
        frame.to_csv(out / name, index=False)
    width = max(len(n) for n in table.name)
    for row in table.itertuples():
        flag = "" if row.determined else "   not determined by the observations"
        print(f"{row.name:<{width}}  {row.value!r:>24}  +- {row.standard_error:.3g}{flag}")
    print(f"objective {result.objective:.6g} after {result.evaluations} points ({result.runs} runs, "
          f"{result.cached_runs} from {out}); {result.message}")
    if len(result.failures):
        print(f"{len(result.failures)} runs failed; see calibration-parameters.csv and the log", file=sys.stderr)
    print(f"written: {out / 'calibration-parameters.csv'}, calibration-residuals.csv, calibration-history.csv")
    return 0 if result.success else 1


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m ostra",
                                     description="Plots, scenario sweeps and calibration of ostra models.")
    sub = parser.add_subparsers(dest="command", required=True)

    p = sub.add_parser("plot", help="draw what the latest run in a model directory wrote")
    p.add_argument("model_dir")
    p.add_argument("-o", "--output", help="picture file (.png, .svg or .pdf); default MODEL_DIR/ostra-results.png")
    p.add_argument("--log", action="store_true", help="logarithmic concentration axis")
    p.add_argument("--dpi", type=int, default=110)
    p.set_defaults(func=_plot)

    s = sub.add_parser("sweep", help="run a base model once per row of a scenario table",
                       description="Exit status 0: every scenario done; 1: some not done (see the table's "
                                   "status and error columns); 2: the sweep could not start.")
    s.add_argument("base_dir")
    s.add_argument("scenarios", help="CSV file: one row per scenario, one column per parameter")
    s.add_argument("--out", required=True, help="directory of the scenarios' copies of the model")
    s.add_argument("--scheduler", help="address of a Dask scheduler (tcp://host:8786); default: a local cluster")
    s.add_argument("--outputs", nargs="+", default=["final"],
                   help="final (default), mass-balance, series or series:5,6 (compartments or equations)")
    s.add_argument("--table", help="where the combined table goes; default OUT/sweep-results.csv")
    s.add_argument("--executable", help="the ostra program (default: OSTRA_EXE, build/ostra, PATH)")
    s.add_argument("--strict", action="store_true", help="runs that finish with warnings count as failed")
    s.add_argument("--timeout", type=float, help="seconds a single run may take")
    s.add_argument("--rerun-failed", action="store_true", help="run again scenarios that failed before")
    s.add_argument("--files", choices=("client", "shared", "none"), default="client",
                   help="where each scenario's files go: written by this process (default), by the workers "
                        "into OUT on a shared file system, or nowhere (only the outputs are kept)")
    s.set_defaults(func=_sweep)

    c = sub.add_parser("calibrate", help="fit template parameters of a base model to observations",
                       description="Exit status 0: the fit converged; 1: it stopped without converging; "
                                   "2: it could not start.")
    c.add_argument("base_dir")
    c.add_argument("parameters", help="CSV file: name, initial, lower, upper[, transform]")
    c.add_argument("observations", help="CSV file: time, state_variable, compartment (or equation), value"
                                        "[, weight, group]")
    c.add_argument("--out", required=True, help="directory of the runs (a cache: a repeated fit runs nothing)")
    where = c.add_mutually_exclusive_group()
    where.add_argument("--scheduler", help="address of a Dask scheduler; default: a local cluster")
    where.add_argument("--serial", action="store_true", help="run the model in this process, one run at a time")
    c.add_argument("--executable", help="the ostra program (default: OSTRA_EXE, build/ostra, PATH)")
    c.add_argument("--files", choices=("client", "shared", "none"), default="none",
                   help="what each run keeps (default: only its outputs)")
    c.add_argument("--strict", action="store_true", help="runs that finish with warnings count as failed")
    c.add_argument("--timeout", type=float, help="seconds a single run may take")
    c.add_argument("--max-evaluations", type=int, default=200, help="points the fit may evaluate (200)")
    c.set_defaults(func=_calibrate)

    args = parser.parse_args(argv)
    return args.func(args)


if __name__ == "__main__":
    sys.exit(main())
