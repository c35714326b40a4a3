"""python3 -m ostra plot MODEL_DIR [-o FILE]
python3 -m ostra sweep BASE_DIR SCENARIOS.csv --out DIR [--scheduler ADDRESS] [--outputs ...]"""

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


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m ostra", description="Plots and scenario sweeps of ostra models.")
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

    args = parser.parse_args(argv)
    return args.func(args)


if __name__ == "__main__":
    sys.exit(main())
