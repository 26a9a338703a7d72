"""`lorvane categorize`: a CSV statement in, the same CSV with category and merchant out.

The statement is read and categorised in batches, so memory stays bounded whatever its
length; the rules are given to every batch unchanged. The lines above the header, the
byte order mark and the line ending of the input are kept in the output.
"""

from __future__ import annotations

import argparse
import csv
from typing import IO, TYPE_CHECKING, List, Optional, Sequence, Tuple

from lorvane_cli.csv_input import CsvTable, narration_column, open_csv
from lorvane_cli.defaults import BATCH_ROWS
from lorvane_cli.errors import CliError
from lorvane_cli.output import output_text
from lorvane_cli.progress import Progress
from lorvane_cli.rules_file import load_rules
from lorvane_cli.statement import NO_ROWS, Counts, Layout, batches, label_rows, statement_layout

if TYPE_CHECKING:
    from lorvane import CategoryRule


def output_layout(table: CsvTable, column: Optional[str], relabel: bool = False) -> Tuple[Layout, List[str]]:
    """The layout of the categorised table and its header row."""
    narration = table.column(narration_column(column))
    return statement_layout(table.header, narration, table.delimiter, table.newline, relabel)


def write_head(out: IO[str], table: CsvTable, layout: Layout, header: Sequence[str]) -> None:
    """What comes before the rows: the byte order mark, the lines above the header, the header."""
    if table.bom:
        out.write("\ufeff")
    out.writelines(table.preamble)
    csv.writer(out, delimiter=layout.delimiter, lineterminator=layout.newline).writerow(header)


def categorize_table(table: CsvTable, rules: Sequence[CategoryRule], out: IO[str],
                     column: Optional[str] = None, relabel: bool = False,
                     batch_rows: int = BATCH_ROWS, progress: Optional[Progress] = None) -> Counts:
    """Writes the table to `out` as CSV with category and merchant filled in."""
    layout, header = output_layout(table, column, relabel)
    write_head(out, table, layout, header)
    writer = csv.writer(out, delimiter=layout.delimiter, lineterminator=layout.newline)
    counts = NO_ROWS
    for batch in batches(table.rows(), batch_rows):
        try:
            labelled, done = label_rows(batch, layout, rules)
        except ValueError as error:
            raise CliError(f"{table.path}: {error}") from None
        writer.writerows(labelled)
        counts = counts.plus(done)
        if progress:
            progress.update(counts.rows, table.position())
    return counts


def run_on_cluster(args: argparse.Namespace, table: CsvTable, rules: Sequence[CategoryRule],
                   progress: Progress) -> Counts:
    """The same work with the rows categorised by Dask workers (--workers, --scheduler)."""
    layout, header = output_layout(table, args.column, args.relabel)  # before any cluster starts
    try:
        from lorvane_cli import cluster
    except ImportError as error:
        raise CliError(str(error)) from None
    with cluster.dask_client(args.workers, args.scheduler, args.connect_timeout) as client:
        with output_text(args.output, args.force, newline="") as out:
            write_head(out, table, layout, header)
            return cluster.categorize_on_cluster(client, table, rules, out, layout, args.batch_rows,
                                                 progress, args.connect_timeout)


def summary(counts: Counts) -> str:
    return (f"{counts.rows:,} {'row' if counts.rows == 1 else 'rows'}: {counts.labelled:,} labelled, {counts.kept:,} kept, "
            f"{counts.empty:,} left empty")


def run(args: argparse.Namespace) -> int:
    rules = load_rules(args.rules)
    progress = Progress("categorised")
    with open_csv(args.statement, args.encoding, args.delimiter, narration_column(args.column),
                  args.header_line) as table:
        progress.measure(table.size, f"header on line {table.header_line}; " if table.header_line > 1 else "")
        if args.workers is not None or args.scheduler is not None:
            counts = run_on_cluster(args, table, rules, progress)
        else:
            with output_text(args.output, args.force, newline="") as out:
                counts = categorize_table(table, rules, out, args.column, args.relabel,
                                          args.batch_rows, progress)
    progress.finish(summary(counts))
    return 0
