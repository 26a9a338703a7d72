"""`lorvane categorize`: a CSV statement in, the same CSV with category and merchant out.

The statement is read and categorised in batches, so memory stays bounded whatever its
length; the rules are given to every batch unchanged.
"""

from __future__ import annotations

import argparse
import csv
import sys
from typing import IO, TYPE_CHECKING, Iterable, Iterator, List, NamedTuple, Optional, Sequence, Tuple

import lorvane

from lorvane_cli.csv_input import NARRATION_HEADERS, CsvTable, open_csv
from lorvane_cli.errors import CliError, checked
from lorvane_cli.output import output_text
from lorvane_cli.rules_file import load_rules

if TYPE_CHECKING:
    from lorvane import CategorizeRequest, CategoryMatch, CategoryRule

BATCH_ROWS = 50_000
ADDED_COLUMNS = ("category", "merchant")


class Counts(NamedTuple):
    rows: int
    matched: int


class Progress:
    """A line on standard error, rewritten in place, when standard error is a terminal."""

    def __init__(self, verb: str, stream: IO[str] = sys.stderr) -> None:
        self.verb = verb
        self.stream = stream
        self.enabled = stream.isatty()
        self.shown = False

    def update(self, rows: int) -> None:
        if self.enabled:
            self.stream.write(f"\rlorvane: {self.verb} {rows:,} rows")
            self.stream.flush()
            self.shown = True

    def finish(self, text: str) -> None:
        if self.enabled:
            self.stream.write(("\r" if self.shown else "") + f"lorvane: {text}\x1b[K\n")
            self.stream.flush()


def batches(rows: Iterable[List[str]], size: int) -> Iterator[List[List[str]]]:
    batch: List[List[str]] = []
    for row in rows:
        batch.append(row)
        if len(batch) == size:
            yield batch
            batch = []
    if batch:
        yield batch


def output_columns(header: Sequence[str]) -> List[int]:
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
    return places


def labelled(row: List[str], match: Optional[CategoryMatch], places: Sequence[int], width: int) -> List[str]:
    out = row + [""] * (width - len(row))
    if match is not None:
        out[places[0]], out[places[1]] = match["category"], match["merchant"]
    else:
        out[places[0]] = out[places[1]] = ""
    return out


class Layout(NamedTuple):
    """Where a statement's narration is read from and its results are written to."""

    delimiter: str
    narration: int
    places: List[int]
    width: int


def output_layout(table: CsvTable, column: Optional[str]) -> Tuple[Layout, List[str]]:
    """The layout of the categorised table and its header row."""
    narration = table.column(column, NARRATION_HEADERS, "narration")
    places = output_columns(table.header)
    width = max(max(places) + 1, len(table.header))
    header = table.header + [""] * (width - len(table.header))
    for place, name in zip(places, ADDED_COLUMNS):
        header[place] = header[place] or name
    return Layout(table.delimiter, narration, places, width), header


def narration_request(batch: Sequence[List[str]], narration: int,
                      rules: Sequence[CategoryRule]) -> CategorizeRequest:
    return {
        "data": [{"narration": row[narration] if narration < len(row) else ""} for row in batch],
        "rules": rules,
    }


def categorize_table(table: CsvTable, rules: Sequence[CategoryRule], out: IO[str],
                     column: Optional[str] = None, batch_rows: int = BATCH_ROWS,
                     progress: Optional[Progress] = None) -> Counts:
    """Writes the table to `out` as CSV with category and merchant filled in."""
    layout, header = output_layout(table, column)
    places, width = layout.places, layout.width
    writer = csv.writer(out, delimiter=table.delimiter, lineterminator="\n")
    writer.writerow(header)
    rows = matched = 0
    for batch in batches(table.rows(), batch_rows):
        request = narration_request(batch, layout.narration, rules)
        result = checked(lorvane.categorize_transactions, request, f"{table.path}: ")
        writer.writerows(labelled(row, match, places, width) for row, match in zip(batch, result["data"]))
        rows += len(batch)
        matched += sum(match is not None for match in result["data"])
        if progress:
            progress.update(rows)
    return Counts(rows, matched)


def run_on_cluster(args: argparse.Namespace, table: CsvTable, rules: Sequence[CategoryRule],
                   progress: Progress) -> Counts:
    """The same work with the rows categorised by Dask workers (--workers, --scheduler)."""
    output_layout(table, args.column)  # a missing column is reported before any cluster starts
    try:
        from lorvane_cli import cluster
    except ImportError as error:
        raise CliError(str(error)) from None
    with cluster.dask_client(args.workers, args.scheduler, args.connect_timeout) as client:
        with output_text(args.output, args.force, newline="") as out:
            return cluster.categorize_on_cluster(client, table, rules, out, args.column,
                                                 args.batch_rows, progress)


def run(args: argparse.Namespace) -> int:
    rules = load_rules(args.rules)
    progress = Progress("categorised")
    with open_csv(args.statement, args.encoding, args.delimiter) as table:
        if args.workers is not None or args.scheduler is not None:
            counts = run_on_cluster(args, table, rules, progress)
        else:
            with output_text(args.output, args.force, newline="") as out:
                counts = categorize_table(table, rules, out, args.column, args.batch_rows, progress)
    progress.finish(f"{counts.rows:,} rows, {counts.matched:,} categorised, "
                    f"{counts.rows - counts.matched:,} matched no rule")
    return 0
