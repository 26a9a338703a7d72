"""`lorvane demo`: every command run on the samples shipped with the tool, with the command
line that does the same on your own files."""

from __future__ import annotations

import csv
import io
import json
import os
import sys
from typing import TYPE_CHECKING, List, Mapping

import lorvane

from lorvane_cli.categorize_command import categorize_table
from lorvane_cli.csv_input import open_csv, read_text
from lorvane_cli.derive_command import derive_table
from lorvane_cli.errors import checked
from lorvane_cli.loan_report import report
from lorvane_cli.rules_file import load_rules
from lorvane_cli.table import render

if TYPE_CHECKING:
    from lorvane import CategoryRule, EmiRequest

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data")
LOAN_OPTIONS = (("loanAmount", "--amount"), ("emi", "--emi"), ("months", "--months"),
                ("interestRate", "--rate"), ("inflationRate", "--inflation"), ("start", "--start"))


def sample(name: str) -> str:
    return os.path.join(DATA, name)


def heading(number: int, title: str, command: str) -> str:
    return f"\n{number}. {title}\n   $ {command}\n"


def loan_command(request: EmiRequest) -> str:
    fields: Mapping[str, object] = request
    parts = ["lorvane emi"]
    for key, option in LOAN_OPTIONS:
        value = fields.get(key)
        if isinstance(value, (int, float)):
            parts.append(f"{option} {value:.12g}")
        elif value is not None:
            parts.append(f"{option} {value}")
    return " ".join(parts)


def categorised_rows(rules: List[CategoryRule]) -> List[List[str]]:
    """The sample statement as `lorvane categorize` writes it, read back into rows."""
    out = io.StringIO()
    with open_csv(sample("statement.csv")) as table:
        categorize_table(table, rules, out)
    return list(csv.reader(io.StringIO(out.getvalue())))


def statement_lines(rows: List[List[str]]) -> List[str]:
    header = rows[0]
    narration, withdrawal, deposit = (header.index(name) for name in ("Narration", "Withdrawal", "Deposit"))
    category, merchant = header.index("category"), header.index("merchant")
    shown = [[row[narration], f"-{row[withdrawal]}" if row[withdrawal] else f"+{row[deposit]}",
              row[category] or "-", row[merchant] or "-"] for row in rows[1:]]
    return render(["narration", "amount", "category", "merchant"], shown, [False, True, False, False])


def run() -> int:
    out = sys.stdout
    out.write(f"lorvane {lorvane.__version__}: every command on the bundled samples in {DATA}\n")

    request: EmiRequest = json.loads(read_text(sample("loan.json")))
    out.write(heading(1, "A home loan: the instalment, the year table and the totals",
                      loan_command(request)))
    out.write(report(checked(lorvane.compute_emi, request, "loan.json: "), schedule=False))

    rules = load_rules(sample("rules.json"))
    rows = categorised_rows(rules)
    matched = sum(1 for row in rows[1:] if row[-2])
    out.write(heading(2, "A bank statement categorised by rules (first matching pattern wins)",
                      "lorvane categorize statement.csv --rules rules.json -o categorised.csv"))
    out.write("\n".join(statement_lines(rows)) + "\n")
    out.write(f"\n{matched} of {len(rows) - 1} rows categorised by {len(rules)} rules; "
              f"the others matched no rule.\n")

    with open_csv(sample("labelled.csv")) as table:
        derived = derive_table(table)
    out.write(heading(3, "Rules derived from transactions you labelled before",
                      "lorvane derive labelled.csv -o my-rules.json"))
    lines = render(["pattern", "category", "merchant"],
                   [[rule["pattern"], rule["category"], rule["merchant"]] for rule in derived],
                   [False, False, False])
    out.write("\n".join(lines) + "\n")
    rederived = categorised_rows(derived)
    matched = sum(1 for row in rederived[1:] if row[-2])
    out.write(f"\nThe derived rules categorise {matched} of {len(rederived) - 1} rows of the statement "
              f"above; pass them with --rules my-rules.json.\n")
    return 0
