"""Which rule decides each narration: the first whose pattern occurs in it, ignoring case,
as the module decides it (one bulk call, so the lowercasing and matching are the module's)."""

from __future__ import annotations

from typing import TYPE_CHECKING, List, Optional, Sequence

import lorvane

if TYPE_CHECKING:
    from lorvane import CategoryRule


def numbered(rules: Sequence[CategoryRule]) -> List[CategoryRule]:
    """The rules with their position as category, so that a match names its rule."""
    return [{"pattern": rule["pattern"], "category": str(index), "merchant": ""}
            for index, rule in enumerate(rules)]


def deciding_rules(narrations: Sequence[str], rules: Sequence[CategoryRule]) -> List[Optional[int]]:
    """For each narration, the index of the rule that decides it, or None."""
    result = lorvane.categorize_transactions(
        {"data": [{"narration": text} for text in narrations], "rules": numbered(rules)})
    return [int(match["category"]) if match is not None else None for match in result["data"]]

