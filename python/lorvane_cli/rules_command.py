"""`lorvane rules check RULES.json [--against STATEMENT.csv] [--strict]`: what a rules file
people maintain has gone wrong, and with a statement, what each rule does on it.

A rule can never decide when an earlier rule's pattern occurs inside its own, ignoring
case (the earlier rule matches every narration it matches, and first match wins); that
includes a repeated pattern and every rule after an empty pattern. Labels that differ only
in letter case or spacing are most likely one label written two ways.
"""

from __future__ import annotations

import argparse
import sys
from typing import TYPE_CHECKING, Dict, List, Optional, Sequence, Tuple

from lorvane_cli.csv_input import narration_column, open_csv
from lorvane_cli.deciding import deciding_rules
from lorvane_cli.rules_file import load_rules
from lorvane_cli.statement import batches
from lorvane_cli.table import render_text

if TYPE_CHECKING:
    from lorvane import CategoryRule

SHOWN_NUMBERS = 8


def numbers_text(numbers: Sequence[int]) -> str:
    """Rule numbers, at most SHOWN_NUMBERS of them: "3, 8 and 11", "2, 5, ... and 40 more"."""
    shown = [str(number) for number in numbers[:SHOWN_NUMBERS]]
    if len(numbers) > SHOWN_NUMBERS:
        return ", ".join(shown) + f" and {len(numbers) - SHOWN_NUMBERS} more"
    return shown[0] if len(shown) == 1 else ", ".join(shown[:-1]) + " and " + shown[-1]


def rules_word(count: int) -> str:
    return "rule" if count == 1 else "rules"


def shadowing(rules: Sequence[CategoryRule]) -> List[Optional[int]]:
    """For each rule, the earlier rule that always decides before it, or None.

    A narration that is a rule's own pattern is matched by every rule whose pattern occurs
    in that one, so the rule that decides it is the first of those.
    """
    first = deciding_rules([rule["pattern"] for rule in rules], rules)
    return [index if index is not None and index < own else None for own, index in enumerate(first)]


def never_decide_lines(rules: Sequence[CategoryRule], shadows: Sequence[Optional[int]]) -> List[str]:
    lines: List[str] = []
    after_empty: Dict[int, List[int]] = {}
    for own, index in enumerate(shadows):
        if index is None:
            continue
        rule, earlier = rules[own], rules[index]
        if earlier["pattern"] == "":
            after_empty.setdefault(index, []).append(own + 1)
        elif earlier["pattern"].lower() == rule["pattern"].lower():
            lines.append(f"rule {own + 1} ({rule['pattern']!r}) repeats the pattern of rule {index + 1}: "
                         "it never decides")
        else:
            lines.append(f"rule {own + 1} ({rule['pattern']!r}) never decides: the pattern of rule "
                         f"{index + 1} ({earlier['pattern']!r}) occurs in it, and rule {index + 1} comes first")
    for index, after in after_empty.items():
        lines.append(f"{rules_word(len(after))} {numbers_text(after)} never decide: rule {index + 1} has an "
                     "empty pattern, which matches every narration")
    return lines


def spelling_lines(rules: Sequence[CategoryRule]) -> List[str]:
    """Labels that are one label written differently (case, spaces)."""
    lines = []
    for key in ("category", "merchant"):
        spellings: Dict[str, Dict[str, List[int]]] = {}
        for number, rule in enumerate(rules, start=1):
            label = rule[key]  # type: ignore[literal-required,unused-ignore]
            spellings.setdefault(" ".join(label.split()).casefold(), {}).setdefault(label, []).append(number)
        for ways in spellings.values():
            if len(ways) > 1:
                written = [f"{label!r} ({rules_word(len(numbers))} {numbers_text(numbers)})"
                           for label, numbers in ways.items()]
                lines.append(f"{key} written {len(ways)} ways: " + ", ".join(written))
    return lines


def against_lines(rules: Sequence[CategoryRule], statement: str, args: argparse.Namespace) -> Tuple[str, int]:
    decides = [0] * len(rules)
    rows = undecided = 0
    with open_csv(statement, args.encoding, args.delimiter, narration_column(args.column),
                  args.header_line) as table:
        narration = table.column(narration_column(args.column))
        for batch in batches(table.rows(), args.batch_rows):
            for index in deciding_rules([row[narration] for row in batch], rules):
                if index is None:
                    undecided += 1
                else:
                    decides[index] += 1
            rows += len(batch)
        name = table.path
    table_rows = [[str(number), rule["pattern"], rule["category"], rule["merchant"], f"{count:,}"]
                  for number, (rule, count) in enumerate(zip(rules, decides), start=1)]
    text = f"\nagainst {name}: {rows:,} rows\n\n"
    text += render_text(["rule", "pattern", "category", "merchant", "decides"], table_rows,
                        [True, False, False, False, True])
    idle = [number for number, count in enumerate(decides, start=1) if count == 0]
    text += f"\n{undecided:,} {'row' if undecided == 1 else 'rows'} decided by no rule\n"
    text += (f"{rules_word(len(idle))} that {'decides' if len(idle) == 1 else 'decide'} no row: "
             f"{numbers_text(idle)}\n" if idle else "every rule decides at least one row\n")
    return text, len(idle)


def run(args: argparse.Namespace) -> int:
    rules = load_rules(args.rules)
    shadows = shadowing(rules)
    never = never_decide_lines(rules, shadows)
    problems = never + spelling_lines(rules)
    report = f"{args.rules}: {len(rules)} {rules_word(len(rules))}\n"
    report += "".join(f"  {line}\n" for line in problems) if problems else \
        "  every rule can decide, and no label is written two ways\n"
    if args.against is not None:
        report += against_lines(rules, args.against, args)[0]
    sys.stdout.write(report)
    return 1 if args.strict and any(index is not None for index in shadows) else 0
