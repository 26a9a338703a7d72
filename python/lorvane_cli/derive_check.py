"""`lorvane derive --check`: how good the derived rules are, on the file they came from and,
by a k-fold estimate, on rows they were not derived from (next month's statement).

Per rule, in the order the rules are applied: the rows it decides (it is the first rule
that matches them) and how many of those carry its label. Coverage is the share of
labelled rows that some rule decides; accuracy the share of those that get the label they
carry. The k-fold estimate deals the rows into k parts (row n goes to part n mod k, so
each part spans the whole file however it is sorted), derives rules from k - 1 of them,
categorises the part left out, and adds up over the k parts.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, NamedTuple, Sequence

from lorvane_cli.deciding import deciding_rules
from lorvane_cli.derivation import Labelled, derive
from lorvane_cli.table import render_text

if TYPE_CHECKING:
    from lorvane import CategoryRule


class Score(NamedTuple):
    labelled: int  # labelled rows tried
    decided: int  # of those, rows some rule decides
    right: int  # of those, rows given the label they carry

    def plus(self, other: Score) -> Score:
        return Score(self.labelled + other.labelled, self.decided + other.decided, self.right + other.right)


def share(part: int, whole: int) -> str:
    return f"{100 * part / whole:.1f}%" if whole else "-"


def score(rows: Sequence[Labelled], rules: Sequence[CategoryRule], deciders: Sequence[object]) -> Score:
    labelled = decided = right = 0
    for row, index in zip(rows, deciders):
        if not row.has_label:
            continue
        labelled += 1
        if isinstance(index, int):
            decided += 1
            rule = rules[index]
            right += (rule["category"], rule["merchant"]) == (row.category, row.merchant)
    return Score(labelled, decided, right)


def k_fold(rows: Sequence[Labelled], folds: int, keep_numbers: bool) -> Score:
    total = Score(0, 0, 0)
    for part in range(folds):
        trained = [row for number, row in enumerate(rows) if number % folds != part]
        held = rows[part::folds]
        rules = derive(trained, keep_numbers)
        total = total.plus(score(held, rules, deciding_rules([row.narration for row in held], rules)))
    return total


def score_text(result: Score) -> str:
    return (f"coverage {share(result.decided, result.labelled)} ({result.decided:,} of {result.labelled:,} "
            f"labelled rows decided), accuracy {share(result.right, result.decided)} "
            f"({result.right:,} of {result.decided:,} given their own label)")


def check_report(path: str, rows: Sequence[Labelled], rules: Sequence[CategoryRule], folds: int,
                 keep_numbers: bool) -> str:
    deciders = deciding_rules([row.narration for row in rows], rules)
    decides = [0] * len(rules)
    agrees = [0] * len(rules)
    for row, index in zip(rows, deciders):
        if index is not None:
            decides[index] += 1
            rule = rules[index]
            agrees[index] += (rule["category"], rule["merchant"]) == (row.category, row.merchant)
    labelled = sum(row.has_label for row in rows)
    lines = [f"{len(rules)} rules derived from {path}: {len(rows):,} rows, {labelled:,} labelled\n\n"]
    table = [[str(number), rule["pattern"], rule["category"], rule["merchant"], f"{decides[number - 1]:,}",
              f"{agrees[number - 1]:,}"] for number, rule in enumerate(rules, start=1)]
    lines.append(render_text(["rule", "pattern", "category", "merchant", "decides", "agree"], table,
                            [True, False, False, False, True, True]))
    lines.append(f"\non the file itself: {score_text(score(rows, rules, deciders))}\n")
    if len(rows) >= folds:
        lines.append(f"{folds}-fold estimate (derived on {folds - 1} parts, tried on the part left out): "
                     f"{score_text(k_fold(rows, folds, keep_numbers))}\n")
    else:
        lines.append(f"{folds}-fold estimate: too few rows ({len(rows)}) for {folds} parts\n")
    return "".join(lines)
