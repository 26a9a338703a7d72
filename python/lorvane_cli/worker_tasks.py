"""The work that Dask workers do for lorvane, in plain Python: no pandas, no dask.

Each task makes one bulk call of the module for a whole partition or chunk. Workers import
this module by name, so the package has to be installed where they run. It imports no
command module: only the statement layout, the row reader and the lorvane module.
"""

from __future__ import annotations

import csv
import io
from typing import TYPE_CHECKING, Iterable, List, Mapping, NamedTuple, Optional, Sequence, Tuple, cast

import lorvane

from lorvane_cli.csv_rows import CheckedRows, RowError
from lorvane_cli.statement import Counts, Layout, label_rows

if TYPE_CHECKING:
    from lorvane import CategoryMatch, CategoryRule, MapInput


def checked_rules(rules: Iterable[Mapping[str, object]]) -> List[CategoryRule]:
    """The rules as plain dicts, after the module has accepted them.

    A rule the module rejects raises its ValueError ("invalid request: ..."), here, once.
    The copy keeps later changes to the caller's list out of work not yet done.
    """
    listed = cast("List[CategoryRule]", list(rules))
    lorvane.categorize_transactions({"data": [], "rules": listed})
    return [{"pattern": rule["pattern"], "category": rule["category"], "merchant": rule["merchant"]}
            for rule in listed]


def categorize_narrations(narrations: Iterable[Optional[str]],
                          rules: Sequence[CategoryRule]) -> List[Optional[CategoryMatch]]:
    """One module call for all the narrations; a missing narration (None) counts as empty."""
    data: List[MapInput] = [{"narration": "" if narration is None else narration} for narration in narrations]
    return lorvane.categorize_transactions({"data": data, "rules": rules})["data"]


class ChunkResult(NamedTuple):
    """A chunk of a statement, categorised and written out as CSV rows."""

    text: str
    counts: Counts
    # The chunk ended inside a quoted field: its last row continues in the next chunk. The
    # line within the chunk (from 1) where that field began.
    cut: Optional[int]
    # A row that cannot be read, as (line within the chunk, message); the rows before it
    # are in `text`.
    error: Optional[Tuple[int, str]]


def categorize_chunk(text: str, layout: Layout, rules: Sequence[CategoryRule]) -> ChunkResult:
    """Categorises a run of whole lines of a statement, read as if a row started at its top.

    The lines are read, checked and written exactly as the single-process command does.
    Whether the first line really starts a row is for the caller to know; whether the last
    one ends a row is in the result's `cut`.
    """
    reader = CheckedRows(io.StringIO(text, newline=""), layout.delimiter, layout.fields, at_end=False)
    rows: List[List[str]] = []
    error = None
    try:
        for row in reader:
            rows.append(row)
    except RowError as problem:
        error = (problem.line, problem.message)
    labelled, counts = label_rows(rows, layout, rules)
    out = io.StringIO()
    csv.writer(out, delimiter=layout.delimiter, lineterminator=layout.newline).writerows(labelled)
    return ChunkResult(out.getvalue(), counts, reader.cut_line, error)
