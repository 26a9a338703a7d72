"""`lorvane derive`: rules learnt from a CSV of narrations labelled with category and merchant.

Derivation weighs every word against the whole file, so the rows are held in memory (only
the three columns it needs). Rows whose category and merchant are both empty carry no
label: they count against every word they contain, and no rule comes out for them. Pieces
of a narration that contain a digit (reference numbers, bank codes, dates) are masked
before the module sees them, unless --keep-numbers is given (derivation.py).
"""

from __future__ import annotations

import argparse
import json
from typing import IO, TYPE_CHECKING, List, Optional

from lorvane_cli.csv_input import ColumnWanted, CsvTable, narration_column, open_csv
from lorvane_cli.derivation import Labelled, derive
from lorvane_cli.derive_check import check_report
from lorvane_cli.output import output_text

if TYPE_CHECKING:
    from lorvane import CategoryRule


def labelled_rows(table: CsvTable, column: Optional[str] = None) -> List[Labelled]:
    narration = table.column(narration_column(column))
    category = table.column(ColumnWanted(None, ("category",), "category"))
    merchant = table.column(ColumnWanted(None, ("merchant",), "merchant"))
    return [Labelled(row[narration], row[category], row[merchant]) for row in table.rows()]


def derive_table(table: CsvTable, column: Optional[str] = None, keep_numbers: bool = False) -> List[CategoryRule]:
    return derive(labelled_rows(table, column), keep_numbers, f"{table.path}: ")


def write_rules(rules: List[CategoryRule], out: IO[str]) -> None:
    """Writes rules as JSON, one rule a line, in the form that `lorvane categorize --rules` reads."""
    lines = ",\n".join("  " + json.dumps(rule, ensure_ascii=False) for rule in rules)
    out.write('{"rules": [\n' + lines + "\n]}\n" if rules else '{"rules": []}\n')


def run(args: argparse.Namespace) -> int:
    with open_csv(args.labelled, args.encoding, args.delimiter, narration_column(args.column),
                  args.header_line) as table:
        rows = labelled_rows(table, args.column)
        path = table.path
    rules = derive(rows, args.keep_numbers, f"{path}: ")
    if args.check:
        report = check_report(path, rows, rules, args.folds, args.keep_numbers)
        if args.output is not None and args.output != "-":
            with output_text(args.output, args.force) as out:
                write_rules(rules, out)
        with output_text(None, False) as out:
            out.write(report)
        return 0
    with output_text(args.output, args.force) as out:
        write_rules(rules, out)
    return 0
