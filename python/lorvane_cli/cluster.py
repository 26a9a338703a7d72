"""`lorvane categorize --workers N | --scheduler ADDRESS`: a statement categorised on Dask.

This process reads the statement as runs of whole lines and writes the results; the
workers parse, check, categorise and format each run, one bulk module call per run, and
send back its CSV text. A bounded number of runs is in flight at once, so memory stays
bounded and the output keeps the input's order. The output is byte for byte what the
single-process command writes, errors included.

A run is split from the file at line ends without looking inside it, so it may end in the
middle of a quoted field that spans lines. The worker says so, and that run is done again
joined with the next one; the rows therefore come out exactly as one reader would see them.

A lost worker is normal on a cluster: every task carries its run's text and the rules are
a task of their own, so the scheduler can compute again, on the workers left, whatever a
lost worker held. Only when no worker has been connected for the connect timeout does the
run fail.
"""

from __future__ import annotations

import collections
import contextlib
import gc
import logging
import os
import threading
import time
import warnings
from typing import IO, TYPE_CHECKING, Any, Deque, Iterator, NamedTuple, Optional, Sequence, Tuple

from lorvane_cli.csv_input import CsvTable
from lorvane_cli.csv_rows import UNCLOSED_QUOTE
from lorvane_cli.defaults import CONNECT_TIMEOUT, RUNS_PER_THREAD
from lorvane_cli.errors import CliError
from lorvane_cli.progress import Progress
from lorvane_cli.statement import NO_ROWS, Counts, Layout
from lorvane_cli.worker_tasks import ChunkResult, categorize_chunk, checked_rules

try:
    import distributed
    from distributed.comm.addressing import get_address_host_port
    from distributed.scheduler import KilledWorker
except ImportError as error:  # pragma: no cover - depends on the environment
    raise ImportError(f"--workers and --scheduler need dask and distributed ({error}); "
                      "install them with: pip install 'lorvane[dask]'") from error

if TYPE_CHECKING:
    from lorvane import CategoryRule

# How often a wait for a result looks whether any worker is left, in seconds.
POLL_SECONDS = 0.5


class Run(NamedTuple):
    """Whole lines of the statement, and how many lines of the file come before them."""

    text: str
    first: int


@contextlib.contextmanager
def quiet_logs() -> Iterator[None]:
    """Keeps Dask's own log lines off standard error: a failure reaches this process as an
    exception and is reported in one line like any other."""
    # Dask configures some of its loggers with levels of their own ("distributed.client").
    names = ["distributed", "asyncio"] + [name for name in logging.root.manager.loggerDict
                               if name.startswith("distributed.")]
    loggers = [logging.getLogger(name) for name in names]
    levels = [logger.level for logger in loggers]
    for logger in loggers:
        logger.setLevel(logging.CRITICAL)
    try:
        with warnings.catch_warnings():
            # Tasks carry their run's text, by design (see above).
            warnings.filterwarnings("ignore", message="Sending large graph")
            yield
    finally:
        # A wait given up on a lost worker leaves a task that logs when it is collected.
        gc.collect()
        for logger, level in zip(loggers, levels):
            logger.setLevel(level)


@contextlib.contextmanager
def quiet_resource_tracker() -> Iterator[None]:
    """Starts multiprocessing's resource tracker, and any that replaces it, with standard
    error sent to /dev/null.

    The local cluster's worker processes register their semaphores with that tracker. A
    tracker that dies with them is started again, and the new one prints a traceback for
    every semaphore it is told to forget but never saw; the run itself goes on.
    """
    from multiprocessing import resource_tracker

    tracker: Any = getattr(resource_tracker, "_resource_tracker", None)
    if tracker is None:  # pragma: no cover - another interpreter's multiprocessing
        yield
        return
    original = tracker.ensure_running

    def ensure_running() -> None:
        saved = os.dup(2)
        try:
            with open(os.devnull, "w") as devnull:
                os.dup2(devnull.fileno(), 2)
            original()
        finally:
            os.dup2(saved, 2)
            os.close(saved)

    tracker.ensure_running = ensure_running
    try:
        ensure_running()
        yield
    finally:
        tracker.ensure_running = original


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
    with quiet_logs(), contextlib.ExitStack() as stack:
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
        stack.enter_context(quiet_resource_tracker())
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
    first = table.header_line
    lines = table.lines()
    while True:
        taken = []
        for line in lines:
            taken.append(line)
            if len(taken) == lines_per_run:
                break
        if not taken:
            return
        yield Run("".join(taken), first)
        first += len(taken)


def joined(head: Run, tail: Run) -> Run:
    return Run(head.text + tail.text, head.first)


class Waiter:
    """Waits for results while workers come and go; fails once none has been there for
    `grace` seconds."""

    def __init__(self, client: distributed.Client, grace: float) -> None:
        self.client = client
        self.grace = grace

    def workers(self) -> int:
        return len(self.client.nthreads())  # type: ignore[no-untyped-call,unused-ignore]

    def result(self, future: Any) -> ChunkResult:
        woken: Optional[threading.Event] = None
        alone_since: Optional[float] = None
        while True:
            status = future.status
            if status in ("finished", "error"):
                try:
                    result: ChunkResult = future.result(timeout=POLL_SECONDS)
                    return result
                except distributed.TimeoutError:
                    pass  # its holder was lost on the way: it is being computed again
                except KilledWorker as error:
                    raise CliError(f"Dask workers died one after another running the same part "
                                   f"of the statement ({error}); no output was written") from None
            elif status == "cancelled":
                raise CliError("the Dask cluster gave up the work; no output was written")
            else:  # pending, or lost with its worker and being computed again
                if woken is None or woken.is_set():
                    woken = threading.Event()
                    future.add_done_callback(lambda _, event=woken: event.set())
                woken.wait(POLL_SECONDS)
            if self.workers():
                alone_since = None
            elif alone_since is None:
                alone_since = time.monotonic()
            elif time.monotonic() - alone_since >= self.grace:
                raise CliError(f"every Dask worker is gone: none has been connected for "
                               f"{self.grace:g} s; no output was written")


def results_in_order(client: distributed.Client, pending: Iterator[Run], layout: Layout,
                     rules: Any, window: int, grace: float) -> Iterator[Tuple[Run, ChunkResult]]:
    """Each run with its result, in file order, keeping at most `window` runs in flight."""
    flight: Deque[Tuple[Run, Any]] = collections.deque()
    waiter = Waiter(client, grace)

    def submit(run: Run) -> Any:
        # The text is part of the task, so that a lost worker's share can be done again.
        return client.submit(categorize_chunk, run.text, layout, rules, pure=False)

    def fill() -> None:
        while len(flight) < window:
            run = next(pending, None)
            if run is None:
                return
            flight.append((run, submit(run)))

    fill()
    while flight:
        run, future = flight.popleft()
        result = waiter.result(future)
        if result.cut is not None:
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
                          out: IO[str], layout: Layout, lines_per_run: int,
                          progress: Optional[Progress] = None,
                          grace: float = CONNECT_TIMEOUT) -> Counts:
    """Writes the rows of the table to `out` with category and merchant filled in, as the
    single-process command does, the work done by the cluster's workers."""
    try:
        checked = checked_rules(rules)
    except ValueError as error:
        raise CliError(f"{table.path}: {error}") from None
    # A task of its own, not scattered data: a worker that joins later, or one that takes
    # over from a lost worker, gets the rules from a peer or has them computed again.
    shared = client.submit(checked_rules, checked, pure=False)
    threads = sum(client.nthreads().values()) or 1  # type: ignore[no-untyped-call,unused-ignore]
    counts = NO_ROWS
    pending = runs(table, lines_per_run)
    for run, result in results_in_order(client, pending, layout, shared, RUNS_PER_THREAD * threads, grace):
        if result.error is not None:
            line, message = result.error
            raise CliError(f"{table.path}: line {run.first + line}: {message}")
        if result.cut is not None:
            raise CliError(f"{table.path}: line {run.first + result.cut}: {UNCLOSED_QUOTE}")
        out.write(result.text)
        counts = counts.plus(result.counts)
        if progress:
            progress.update(counts.rows, table.position())
    return counts
