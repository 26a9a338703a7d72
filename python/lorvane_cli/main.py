"""The `lorvane` command: options of each subcommand and the outcome of a run.

Bad input of any kind ends the run with one line on standard error, naming the problem,
and exit status 2; a run that succeeds exits with 0. Ctrl-C, SIGTERM and SIGHUP end the
run with nothing left behind: an output file being written is removed.
"""

from __future__ import annotations

import argparse
import os
import sys
from typing import List, NoReturn, Optional

from lorvane_cli.defaults import BATCH_ROWS, CONNECT_TIMEOUT, FOLDS
from lorvane_cli.errors import CliError, Stopped
from lorvane_cli.loan_request import amount, percent
from lorvane_cli.stopping import stop_signals_raise

EXAMPLES = """\
examples:
  lorvane demo
  lorvane emi --amount 2500000 --months 240 --rate 8.5 --start 2025-04
  lorvane emi --amount 2500000 --emi 25000 --rate 8.5 --schedule
  lorvane categorize statement.csv --rules rules.json -o categorised.csv
  lorvane derive categorised.csv -o rules.json --check
  lorvane rules check rules.json --against statement.csv
"""


class Parser(argparse.ArgumentParser):
    """Reports a usage mistake as one line, like every other bad input."""

    def error(self, message: str) -> NoReturn:
        raise CliError(f"{message} (see '{self.prog} --help')")


def positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        value = 0
    if value < 1:
        raise argparse.ArgumentTypeError(f"not a positive whole number: {text!r}")
    return value


def folds(text: str) -> int:
    value = positive(text)
    if value < 2:
        raise argparse.ArgumentTypeError(f"needs at least 2 parts: {text!r}")
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
    if value in "\"\r\n":
        raise argparse.ArgumentTypeError(f"cannot separate fields: {text!r}")
    return value


def add_output(parser: argparse.ArgumentParser, what: str) -> None:
    parser.add_argument("-o", "--output", metavar="FILE",
                        help=f"write the {what} to FILE instead of standard output ('-')")
    parser.add_argument("--force", action="store_true", help="overwrite an existing output file")


def add_csv_options(parser: argparse.ArgumentParser, narration: bool = True) -> None:
    if narration:
        parser.add_argument("--column", metavar="NAME",
                            help="the narration column (default: the first column called narration, "
                                 "description, details or particulars)")
    parser.add_argument("--encoding", default="utf-8-sig", help="the file's text encoding (default: utf-8)")
    parser.add_argument("--delimiter", metavar="CHAR", type=delimiter,
                        help="the field separator, or tab (default: a sep= first line, else detected "
                             "among , ; tab |)")
    parser.add_argument("--header-line", type=positive, metavar="N",
                        help="the header is line N (default: the first of the first 50 lines with a "
                             "narration column and two fields or more)")


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
    categorize.add_argument("statement", help="the statement, a CSV file with a header row ('-': standard input)")
    categorize.add_argument("--rules", required=True, metavar="RULES.json",
                            help="the rules: a JSON list of {pattern, category, merchant}, first match wins")
    add_output(categorize, "categorised CSV")
    add_csv_options(categorize)
    categorize.add_argument("--relabel", action="store_true",
                            help="replace the labels rows already carry (default: keep them, fill the empty ones)")
    categorize.add_argument("--batch-rows", type=positive, default=BATCH_ROWS, metavar="N",
                            help="rows categorised per call; with a cluster, lines of the file "
                                 f"per task (default {BATCH_ROWS})")
    cluster = categorize.add_mutually_exclusive_group()
    cluster.add_argument("--workers", type=positive, metavar="N",
                         help="categorise on a local Dask cluster of N worker processes "
                              "(needs lorvane[dask])")
    cluster.add_argument("--scheduler", metavar="ADDRESS",
                         help="categorise on the Dask cluster whose scheduler is at ADDRESS, "
                              "such as tcp://HOST:8786 (needs lorvane[dask])")
    categorize.add_argument("--connect-timeout", type=seconds, default=CONNECT_TIMEOUT, metavar="SECONDS",
                            help="how long to wait for the scheduler to answer, and for a worker when "
                                 f"none is left (default {CONNECT_TIMEOUT:g})")

    derive = commands.add_parser("derive", help="derive rules from labelled transactions",
                                 description="Derive one rule per (category, merchant) from a CSV with "
                                             "narration, category and merchant columns.")
    derive.add_argument("labelled", help="the labelled transactions, a CSV file with a header row "
                                         "('-': standard input)")
    add_output(derive, "rules (JSON)")
    add_csv_options(derive)
    derive.add_argument("--keep-numbers", action="store_true",
                        help="let words with digits in them (reference numbers, codes) become patterns")
    derive.add_argument("--check", action="store_true",
                        help="print a report of how well the rules do, on the file and by a k-fold "
                             "estimate (the rules go to -o FILE only)")
    derive.add_argument("--folds", type=folds, default=FOLDS, metavar="K",
                        help=f"parts of the k-fold estimate of --check (default {FOLDS})")

    rules = commands.add_parser("rules", help="look after a rules file",
                                description="Commands on rules files.")
    rule_commands = rules.add_subparsers(dest="rules_command", metavar="COMMAND", required=True)
    check = rule_commands.add_parser(
        "check", help="find rules that never decide and labels written two ways",
        description="Report rules that can never decide, repeated patterns and labels that differ "
                    "only in case or spacing; with --against, what each rule decides in a statement.")
    check.add_argument("rules", metavar="RULES.json", help="the rules file")
    check.add_argument("--against", metavar="STATEMENT.csv",
                       help="also count the rows of this statement that each rule decides")
    check.add_argument("--strict", action="store_true", help="exit with 1 when a rule can never decide")
    add_csv_options(check)
    check.add_argument("--batch-rows", type=positive, default=BATCH_ROWS, help=argparse.SUPPRESS)

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
    if args.command == "rules":
        from lorvane_cli import rules_command
        return rules_command.run(args)
    from lorvane_cli import demo
    return demo.run()


def main(argv: Optional[List[str]] = None) -> int:
    try:
        with stop_signals_raise():
            return run(argv)
    except CliError as error:
        print(f"lorvane: error: {error}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(file=sys.stderr)
        return 130
    except Stopped as stopped:
        return 128 + stopped.signal_number
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
    except RecursionError as error:
        print(f"lorvane: error: input nested too deeply ({error})", file=sys.stderr)
        return 2
    except Exception as error:  # a fault of the tool itself: still one line
        print(f"lorvane: internal error: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
