"""The work that Dask workers do for lorvane, in plain Python: no pandas, no dask.

Each task makes one bulk call of the module for a whole partition or chunk. Workers import
this module by name, so the package has to be installed where they run.
"""

from __future__ import annotations

import csv
import io
import itertools
from typing import TYPE_CHECKING, Iterable, Iterator, List, Mapping, NamedTuple, Optional, Sequence, Tuple, cast

import lorvane

from lorvane_cli.categorize_command import Layout, labelled, narration_request

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
    rows: int
    matched: int
    # The chunk ended inside a quoted field: its last row continues in the next chunk.
    cut: bool
    # A CSV error, as (line within the chunk, message); the rows before it are in `text`.
    error: Optional[Tuple[int, str]]


def _ended(flag: List[bool]) -> Iterator[str]:
    flag.append(True)
    return
    yield  # a generator that only notes that the lines ran out


def categorize_chunk(text: str, layout: Layout, rules: Sequence[CategoryRule]) -> ChunkResult:
    """Categorises a run of whole lines of a statement, read as if a row started at its top.

    The lines are read and written exactly as the single-process command does. Whether the
    first line really starts a row is for the caller to know; whether the last one ends a
    row is in the result's `cut`.
    """
    ran_out: List[bool] = []
    lines = itertools.chain(io.StringIO(text, newline=""), _ended(ran_out))
    reader = csv.reader(lines, delimiter=layout.delimiter)
    rows: List[List[str]] = []
    error = None
    cut = False
    try:
        for row in reader:
            # A row that the reader could only finish by looking past the last line was
            # cut inside a quoted field; it is kept, as the file's true last row would be.
            cut = bool(ran_out)
            if row:
                rows.append(row)
    except csv.Error as problem:
        error = (reader.line_num, str(problem))
    matches = lorvane.categorize_transactions(narration_request(rows, layout.narration, rules))["data"]
    out = io.StringIO()
    writer = csv.writer(out, delimiter=layout.delimiter, lineterminator="\n")
    writer.writerows(labelled(row, match, layout.places, layout.width) for row, match in zip(rows, matches))
    matched = sum(match is not None for match in matches)
    return ChunkResult(out.getvalue(), len(rows), matched, cut, error)
