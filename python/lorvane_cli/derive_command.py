"""`lorvane derive`: rules learnt from a CSV of narrations labelled with category and merchant.

Derivation weighs every word against the whole file, so the labelled rows are held in
memory (only the three columns it needs). Rows whose category and merchant are both
empty carry no label and are left out.
"""

from __future__ import annotations

import argparse
import json
from typing import IO, TYPE_CHECKING, List, Optional

import lorvane

from lorvane_cli.csv_input import NARRATION_HEADERS, CsvTable, open_csv
from lorvane_cli.errors import checked
from lorvane_cli.output import output_text

if TYPE_CHECKING:
    from lorvane import CategoryRule, DeriveInput, DeriveRulesRequest


def labelled_inputs(table: CsvTable, column: Optional[str]) -> List[DeriveInput]:
    narration = table.column(column, NARRATION_HEADERS, "narration")
    category = table.column(None, ("category",), "category")
    merchant = table.column(None, ("merchant",), "merchant")
    wanted = max(narration, category, merchant) + 1
    inputs: List[DeriveInput] = []
    for row in table.rows():
        if len(row) < wanted:
            row = row + [""] * (wanted - len(row))
        if row[category] or row[merchant]:
            inputs.append({"narration": row[narration], "category": row[category],
                           "merchant": row[merchant]})
    return inputs


def derive_table(table: CsvTable, column: Optional[str] = None) -> List[CategoryRule]:
    request: DeriveRulesRequest = {"data": labelled_inputs(table, column)}
    return checked(lorvane.derive_rules, request, f"{table.path}: ")["rules"]


def write_rules(rules: List[CategoryRule], out: IO[str]) -> None:
    """Writes rules as JSON, one rule a line, in the form that `lorvane categorize --rules` reads."""
    lines = ",\n".join("  " + json.dumps(rule, ensure_ascii=False) for rule in rules)
    out.write('{"rules": [\n' + lines + "\n]}\n" if rules else '{"rules": []}\n')


def run(args: argparse.Namespace) -> int:
    with output_text(args.output, args.force) as out:
        with open_csv(args.labelled, args.encoding, args.delimiter) as table:
            rules = derive_table(table, args.column)
        write_rules(rules, out)
    return 0
