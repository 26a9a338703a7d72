"""Rules files: a JSON list of {"pattern", "category", "merchant"} objects, or an object
whose "rules" member is that list (what `lorvane derive` writes)."""

from __future__ import annotations

import json
from typing import TYPE_CHECKING, Any, List, cast

from lorvane_cli.csv_input import read_text
from lorvane_cli.errors import CliError
from lorvane_cli.worker_tasks import checked_rules

if TYPE_CHECKING:
    from lorvane import CategoryRule

RULE_KEYS = ("pattern", "category", "merchant")


def parse_rules(path: str, text: str) -> List[CategoryRule]:
    """The rules of a rules file's text; every problem is a CliError naming the file."""
    try:
        value: Any = json.loads(text)
    except json.JSONDecodeError as error:
        raise CliError(
            f"{path}: not valid JSON: {error.msg} at line {error.lineno} column {error.colno}"
        ) from None
    except RecursionError:
        raise CliError(f"{path}: not a rules file: its JSON is nested too deeply") from None
    if isinstance(value, dict) and "rules" in value:
        value = value["rules"]
    if not isinstance(value, list):
        raise CliError(f'{path}: expected a list of rules or an object with a "rules" list')
    for number, rule in enumerate(value, start=1):
        if not isinstance(rule, dict):
            raise CliError(f"{path}: rule {number} is not an object")
        for key in RULE_KEYS:
            if key not in rule:
                raise CliError(f'{path}: rule {number} has no "{key}"')
            if not isinstance(rule[key], str):
                raise CliError(f'{path}: rule {number}: "{key}" must be a string')
            try:
                rule[key].encode("utf-8")
            except UnicodeEncodeError as error:
                raise CliError(f'{path}: rule {number}: "{key}" holds a lone surrogate '
                               f"(\\u{ord(rule[key][error.start]):04x}), which is not text") from None
    try:
        return checked_rules(cast("List[CategoryRule]", value))
    except ValueError as error:
        raise CliError(f"{path}: {error}") from None


def load_rules(path: str) -> List[CategoryRule]:
    return parse_rules(path, read_text(path))
