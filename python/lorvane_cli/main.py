"""The `lorvane` command: options of each subcommand and the outcome of a run.

Bad input of any kind ends the run with one line on standard error, naming the problem,
and exit status 2; a run that succeeds exits with 0.
"""

from __future__ import annotations

import argparse
import os
import sys
from typing import List, NoReturn, Optional

from lorvane_cli.errors import CliError
from lorvane_cli.loan_request import amount

EXAMPLES = """\
examples:
  lorvane demo
  lorvane emi --amount 2500000 --months 240 --rate 8.5 --start 2025-04
  lorvane emi --amount 2500000 --emi 25000 --rate 8.5 --schedule
  lorvane categorize statement.csv --rules rules.json -o categorised.csv
  lorvane derive categorised.csv -o rules.json
"""


class Parser(argparse.ArgumentParser):
    """Reports a usage mistake as one line, like every other bad input."""

    def error(self, message: str) -> NoReturn:
        raise CliError(f"{message} (see '{self.prog} --help')")


def percent(text: str) -> float:
    """A yearly rate in percent, "8.5" or "8.5%"."""
    try:
        return float(text.strip().rstrip("%"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a percentage: {text!r}") from None


def positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def seconds(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        value = 0.0
    if not 0 < value < float("inf"):
        raise argparse.ArgumentTypeError(f"not a positive number of seconds: {text!r}")
    return value


def delimiter(text: str) -> str:
    """One character; "tab" and "\\t" name the tab."""
    value = "\t" if text in ("tab", "\\t") else text
    if len(value) != 1:
        raise argparse.ArgumentTypeError(f"not a single character: {text!r}")
    return value


def add_output(parser: argparse.ArgumentParser, what: str) -> None:
    parser.add_argument("-o", "--output", metavar="FILE",
                        help=f"write the {what} to FILE instead of standard output")
    parser.add_argument("--force", action="store_true", help="overwrite an existing output file")


def add_csv_options(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--column", metavar="NAME",
                        help="the narration column (default: the first column called narration, "
                             "description, details or particulars)")
    parser.add_argument("--encoding", default="utf-8-sig", help="the file's text encoding (default: utf-8)")
    parser.add_argument("--delimiter", metavar="CHAR", type=delimiter,
                        help="the field separator, or tab (default: detected among , ; tab |)")


def build_parser() -> Parser:
    parser = Parser(prog="lorvane", description="Loan schedules and bank-statement categorisation.",
                    epilog=EXAMPLES, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--version", action="store_true", help="print the version and exit")
    commands = parser.add_subparsers(dest="command", metavar="COMMAND")

    emi = commands.add_parser("emi", help="solve an EMI loan and show its schedule",
                              description="Solve an EMI loan: give the rate and two of --amount, "
                                          "--emi and --months; the third is computed.")
    emi.add_argument("--amount", type=amount, metavar="N", help="the loan amount (principal)")
    emi.add_argument("--emi", type=amount, metavar="N", help="the monthly instalment")
    emi.add_argument("--months", type=int, metavar="N", help="the tenure in months (at most 600)")
    emi.add_argument("--rate", type=percent, metavar="PERCENT", required=True, help="the yearly interest rate in percent")
    emi.add_argument("--inflation", type=percent, metavar="PERCENT", help="the yearly inflation rate in percent (default 0)")
    emi.add_argument("--start", metavar="YYYY-MM", help="the month of the first instalment")
    emi.add_argument("--schedule", action="store_true", help="also print every month of the schedule")
    emi.add_argument("--json", action="store_true", help="print the full result as JSON instead")
    emi.add_argument("--plot", metavar="FILE",
                     help="draw the yearly payments and balance to FILE (.png, .svg, .pdf; needs matplotlib)")
    emi.add_argument("--force", action="store_true", help="overwrite an existing chart file")

    categorize = commands.add_parser("categorize", help="add category and merchant columns to a CSV statement",
                                     description="Give every row of a CSV statement the category and "
                                                 "merchant of the first rule whose pattern occurs in its "
                                                 "narration (ignoring case).")
    categorize.add_argument("statement", help="the statement, a CSV file with a header row")
    categorize.add_argument("--rules", required=True, metavar="RULES.json",
                            help="the rules: a JSON list of {pattern, category, merchant}, first match wins")
    add_output(categorize, "categorised CSV")
    add_csv_options(categorize)
    categorize.add_argument("--batch-rows", type=positive, default=50_000, metavar="N",
                            help="rows categorised per call; with a cluster, lines of the file "
                                 "per task (default 50000)")
    cluster = categorize.add_mutually_exclusive_group()
    cluster.add_argument("--workers", type=positive, metavar="N",
                         help="categorise on a local Dask cluster of N worker processes "
                              "(needs lorvane[dask])")
    cluster.add_argument("--scheduler", metavar="ADDRESS",
                         help="categorise on the Dask cluster whose scheduler is at ADDRESS, "
                              "such as tcp://HOST:8786 (needs lorvane[dask])")
    categorize.add_argument("--connect-timeout", type=seconds, default=10.0, metavar="SECONDS",
                            help="how long to wait for the scheduler to answer (default 10)")

    derive = commands.add_parser("derive", help="derive rules from labelled transactions",
                                 description="Derive one rule per (category, merchant) from a CSV with "
                                             "narration, category and merchant columns.")
    derive.add_argument("labelled", help="the labelled transactions, a CSV file with a header row")
    add_output(derive, "rules (JSON)")
    add_csv_options(derive)

    commands.add_parser("demo", help="run every command on the bundled samples",
                        description="Run every command on a sample statement, rules and loan.")
    return parser


def run(argv: Optional[List[str]]) -> int:
    args = build_parser().parse_args(argv)
    import lorvane

    if args.version:
        print(f"lorvane {lorvane.__version__}")
        return 0
    if args.command is None:
        build_parser().print_help()
        return 2
    if args.command == "emi":
        from lorvane_cli import emi_command
        return emi_command.run(args)
    if args.command == "categorize":
        from lorvane_cli import categorize_command
        return categorize_command.run(args)
    if args.command == "derive":
        from lorvane_cli import derive_command
        return derive_command.run(args)
    from lorvane_cli import demo
    return demo.run()


def main(argv: Optional[List[str]] = None) -> int:
    try:
        return run(argv)
    except CliError as error:
        print(f"lorvane: error: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (`lorvane ... | head`): stop quietly.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except OSError as error:
        where = f"{error.filename}: " if error.filename else ""
        print(f"lorvane: error: {where}{error.strerror or error}", file=sys.stderr)
        return 2
    except ImportError as error:
        print(f"lorvane: error: cannot load the lorvane module: {error}", file=sys.stderr)
        return 1
    except Exception as error:  # a fault of the tool itself: still one line
        print(f"lorvane: internal error: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
