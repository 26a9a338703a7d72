"""A categorised statement's layout and the module requests made from its rows.

Plain Python and the lorvane module only: the single-process command and the Dask workers
both label rows with these functions, so their output is the same byte for byte.
"""

from __future__ import annotations

from typing import TYPE_CHECKING, Iterable, Iterator, List, NamedTuple, Optional, Sequence, Tuple

import lorvane

if TYPE_CHECKING:
    from lorvane import CategorizeRequest, CategoryMatch, CategoryRule

ADDED_COLUMNS = ("category", "merchant")


class Counts(NamedTuple):
    """What became of a statement's rows."""

    labelled: int  # given the label of the rule that decides them
    kept: int  # carried a label already, which was kept
    empty: int  # left without a label

    @property
    def rows(self) -> int:
        return self.labelled + self.kept + self.empty

    def plus(self, other: Counts) -> Counts:
        return Counts(self.labelled + other.labelled, self.kept + other.kept, self.empty + other.empty)


NO_ROWS = Counts(0, 0, 0)


class Layout(NamedTuple):
    """Where a statement's narration is read from and its labels are written to."""

    delimiter: str
    newline: str  # the line ending of the output rows: the input's own
    fields: int  # the number of fields of every row (the header's)
    narration: int
    places: Tuple[int, int]  # the category and merchant columns of the output
    width: int  # fields of an output row
    keep: bool  # rows that already carry a label keep it


def label_places(header: Sequence[str]) -> Tuple[int, int]:
    """Where category and merchant go: their existing columns, else two new ones at the end."""
    folded = [name.strip().casefold() for name in header]
    width = len(header)
    places = []
    for name in ADDED_COLUMNS:
        if name in folded:
            places.append(folded.index(name))
        else:
            places.append(width)
            width += 1
    return places[0], places[1]


def statement_layout(header: Sequence[str], narration: int, delimiter: str, newline: str,
                     relabel: bool) -> Tuple[Layout, List[str]]:
    """The layout of the categorised statement and its header row."""
    places = label_places(header)
    width = max(max(places) + 1, len(header))
    out = list(header) + [""] * (width - len(header))
    for place, name in zip(places, ADDED_COLUMNS):
        out[place] = out[place] or name
    existing = any(place < len(header) for place in places)
    return Layout(delimiter, newline, len(header), narration, places, width,
                  existing and not relabel), out


def narration_request(rows: Sequence[Sequence[str]], narration: int,
                      rules: Sequence[CategoryRule]) -> CategorizeRequest:
    return {"data": [{"narration": row[narration]} for row in rows], "rules": rules}


def has_label(row: Sequence[str], layout: Layout) -> bool:
    category, merchant = layout.places
    return bool((category < layout.fields and row[category])
                or (merchant < layout.fields and row[merchant]))


def labelled_rows(rows: Sequence[List[str]], matches: Sequence[Optional[CategoryMatch]],
                  layout: Layout) -> Tuple[List[List[str]], Counts]:
    """The output rows: each input row with its label, and what became of the rows."""
    category, merchant = layout.places
    padding = [""] * (layout.width - layout.fields)
    out: List[List[str]] = []
    labelled = kept = 0
    for row, match in zip(rows, matches):
        line = row + padding
        if layout.keep and has_label(row, layout):
            kept += 1
        elif match is not None:
            line[category], line[merchant] = match["category"], match["merchant"]
            labelled += 1
        else:
            line[category] = line[merchant] = ""
        out.append(line)
    return out, Counts(labelled, kept, len(out) - labelled - kept)


def label_rows(rows: Sequence[List[str]], layout: Layout,
               rules: Sequence[CategoryRule]) -> Tuple[List[List[str]], Counts]:
    """Rows labelled by one module call; a rejected request raises the module's ValueError."""
    matches = lorvane.categorize_transactions(narration_request(rows, layout.narration, rules))["data"]
    return labelled_rows(rows, matches, layout)


def batches(rows: Iterable[List[str]], size: int) -> Iterator[List[List[str]]]:
    """The rows in lists of `size` (the last one shorter), one module call each."""
    batch: List[List[str]] = []
    for row in rows:
        batch.append(row)
        if len(batch) == size:
            yield batch
            batch = []
    if batch:
        yield batch
