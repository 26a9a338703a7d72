"""Rules derived from rows of narrations with their labels, as `lorvane derive` derives
them: unlabelled rows take part in every word's count, and pieces with digits are masked
unless numbers are kept."""

from __future__ import annotations

import re
from typing import TYPE_CHECKING, List, NamedTuple, Sequence

import lorvane

from lorvane_cli.errors import checked

if TYPE_CHECKING:
    from lorvane import CategoryRule, DeriveInput, DeriveRulesRequest

PIECE = re.compile(r"[^\W_]+")
DIGIT = re.compile(r"\d")


class Labelled(NamedTuple):
    narration: str
    category: str
    merchant: str

    @property
    def has_label(self) -> bool:
        return bool(self.category or self.merchant)


def masked(narration: str) -> str:
    """The narration with each piece of letters and digits that holds a digit blanked out."""
    if DIGIT.search(narration) is None:
        return narration
    return PIECE.sub(lambda piece: " " if DIGIT.search(piece.group()) else piece.group(), narration)


def derive(rows: Sequence[Labelled], keep_numbers: bool, context: str = "") -> List[CategoryRule]:
    """The module's rules for the rows; unlabelled rows take part as a group whose rule is dropped."""
    prepare = (lambda text: text) if keep_numbers else masked
    data: List[DeriveInput] = [{"narration": prepare(row.narration), "category": row.category,
                                "merchant": row.merchant} for row in rows]
    request: DeriveRulesRequest = {"data": data}
    rules = checked(lorvane.derive_rules, request, context)["rules"]
    return [rule for rule in rules if rule["category"] or rule["merchant"]]
