"""`lorvane categorize --workers N | --scheduler ADDRESS`: a statement categorised on Dask.

This process reads the statement as runs of whole lines and writes the results; the
workers parse, categorise and format each run, one bulk module call per run, and send
back its CSV text. A bounded number of runs is in flight at once, so memory stays bounded
and the output keeps the input's order. The output is byte for byte what the
single-process command writes.

A run is split from the file at line ends without looking inside it, so it may end in the
middle of a quoted field that spans lines. The worker says so, and that run is done again
joined with the next one; the rows therefore come out exactly as one reader would see them.
"""

from __future__ import annotations

import collections
import contextlib
import csv
import itertools
import logging
from typing import IO, TYPE_CHECKING, Any, Deque, Iterator, NamedTuple, Optional, Sequence, Tuple

from lorvane_cli.categorize_command import Counts, Layout, Progress, output_layout
from lorvane_cli.csv_input import CsvTable, decode_error_text, os_error_text
from lorvane_cli.errors import CliError
from lorvane_cli.worker_tasks import ChunkResult, categorize_chunk, checked_rules

try:
    import distributed
    from distributed.comm.addressing import get_address_host_port
except ImportError as error:  # pragma: no cover - depends on the environment
    raise ImportError(f"--workers and --scheduler need dask and distributed ({error}); "
                      "install them with: pip install 'lorvane[dask]'") from error

if TYPE_CHECKING:
    from lorvane import CategoryRule

CONNECT_TIMEOUT = 10.0
# Runs in flight for each worker thread: one being worked on, one waiting to start.
RUNS_PER_THREAD = 2


class Run(NamedTuple):
    """Whole lines of the statement, and how many lines of the file come before them."""

    text: str
    first: int


@contextlib.contextmanager
def quiet_logs() -> Iterator[None]:
    """Keeps Dask's own log lines off standard error: a failure reaches this process as an
    exception and is reported in one line like any other."""
    logger = logging.getLogger("distributed")
    level = logger.level
    logger.setLevel(logging.CRITICAL)
    try:
        yield
    finally:
        logger.setLevel(level)


def check_address(address: str) -> None:
    """Fails with a CliError unless `address` names a scheduler's host and port."""
    try:
        _, port = get_address_host_port(address)
    except ValueError as error:
        raise CliError(f"not a Dask scheduler address: {address!r} ({error}); "
                       "expected tcp://HOST:PORT") from None
    if not 0 < port < 65536:
        raise CliError(f"not a Dask scheduler address: {address!r} (port {port} is out of range)")


@contextlib.contextmanager
def dask_client(workers: Optional[int], scheduler: Optional[str],
                timeout: float = CONNECT_TIMEOUT) -> Iterator[distributed.Client]:
    """A client of a new local cluster of `workers` processes, or of the one at `scheduler`.

    A local cluster listens on the loopback interface only and is shut down on leaving.
    """
    with quiet_logs():
        if scheduler is not None:
            check_address(scheduler)
            try:
                client = distributed.Client(  # type: ignore[no-untyped-call,unused-ignore]
                    scheduler, timeout=timeout, set_as_default=False)
            except (OSError, ValueError, TypeError) as error:
                raise CliError(f"no Dask scheduler answered at {scheduler} within {timeout:g} s "
                               f"({error})") from None
            with client:
                yield client
            return
        # No dashboard; the scheduler's plain HTTP endpoints take any free loopback port.
        cluster = distributed.LocalCluster(  # type: ignore[no-untyped-call,unused-ignore]
            n_workers=workers, threads_per_worker=1, processes=True, host="127.0.0.1",
            dashboard_address="127.0.0.1:0", scheduler_kwargs={"dashboard": False},
            silence_logs=logging.CRITICAL)
        client = distributed.Client(  # type: ignore[no-untyped-call,unused-ignore]
            cluster, set_as_default=False)
        with cluster, client:
            yield client


def runs(table: CsvTable, lines_per_run: int) -> Iterator[Run]:
    """The statement after its header, as runs of `lines_per_run` lines.

    Lines are split as the CSV reader splits them (any of \\n, \\r, \\r\\n, kept).
    """
    first = table.lines_read()
    try:
        stream = open(table.path, newline="", encoding=table.encoding)
    except OSError as error:
        raise CliError(os_error_text(table.path, error)) from None
    with stream:
        try:
            for _ in itertools.islice(stream, first):
                pass
            while True:
                lines = list(itertools.islice(stream, lines_per_run))
                if not lines:
                    return
                yield Run("".join(lines), first)
                first += len(lines)
        except UnicodeDecodeError:
            raise CliError(decode_error_text(table.path, table.encoding, first)) from None


def joined(head: Run, tail: Run) -> Run:
    return Run(head.text + tail.text, head.first)


def results_in_order(client: distributed.Client, pending: Iterator[Run], layout: Layout,
                     rules: Any, window: int) -> Iterator[Tuple[Run, ChunkResult]]:
    """Each run with its result, in file order, keeping at most `window` runs in flight."""
    flight: Deque[Tuple[Run, Any]] = collections.deque()

    def submit(run: Run) -> Any:
        # The text goes to a worker as data of its own, not inside the task graph.
        text = client.scatter(run.text, hash=False)  # type: ignore[no-untyped-call,unused-ignore]
        return client.submit(categorize_chunk, text, layout, rules, pure=False)

    def fill() -> None:
        while len(flight) < window:
            run = next(pending, None)
            if run is None:
                return
            flight.append((run, submit(run)))

    fill()
    while flight:
        run, future = flight.popleft()
        result: ChunkResult = future.result()
        if result.cut:
            fill()
            if flight:
                # The last row goes on in the next run: do both again, as one.
                after, later = flight.popleft()
                later.cancel()
                merged = joined(run, after)
                flight.appendleft((merged, submit(merged)))
                continue
        yield run, result
        fill()


def categorize_on_cluster(client: distributed.Client, table: CsvTable, rules: Sequence[CategoryRule],
                          out: IO[str], column: Optional[str], lines_per_run: int,
                          progress: Optional[Progress] = None) -> Counts:
    """Writes the table to `out` as CSV with category and merchant filled in, as
    `categorize_table` does, the work done by the cluster's workers."""
    layout, header = output_layout(table, column)
    try:
        checked = checked_rules(rules)
    except ValueError as error:
        raise CliError(f"{table.path}: {error}") from None
    shared = client.scatter(  # type: ignore[no-untyped-call,unused-ignore]
        checked, broadcast=True, hash=False)
    threads = sum(client.nthreads().values()) or 1  # type: ignore[no-untyped-call,unused-ignore]
    csv.writer(out, delimiter=layout.delimiter, lineterminator="\n").writerow(header)
    rows = matched = 0
    pending = runs(table, lines_per_run)
    for run, result in results_in_order(client, pending, layout, shared, RUNS_PER_THREAD * threads):
        if result.error is not None:
            line, message = result.error
            raise CliError(f"{table.path}: line {run.first + line}: {message}")
        out.write(result.text)
        rows += result.rows
        matched += result.matched
        if progress:
            progress.update(rows)
    return Counts(rows, matched)
