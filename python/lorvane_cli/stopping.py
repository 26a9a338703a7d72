"""How a run ends on Ctrl-C, SIGTERM or SIGHUP: the signal is raised in the main thread
(KeyboardInterrupt for SIGINT, Stopped for the others) so that every output file being
written is removed on the way out.

A step that makes a file and records its name (`held`) must not be cut between the two,
or the file would be made and never removed: a signal that arrives inside such a step waits
for its end and is raised there."""

from __future__ import annotations

import contextlib
import signal
import threading
from types import FrameType
from typing import Any, Iterator, List, Optional

from lorvane_cli.errors import Stopped

# Signals that end a run the way Ctrl-C does.
STOP_SIGNALS = tuple(getattr(signal, name) for name in ("SIGTERM", "SIGHUP") if hasattr(signal, name))

_held = 0  # depth of `held` blocks in the main thread
_waiting: Optional[int] = None  # a signal that arrived inside one, raised at its end


def _raise_for(signal_number: int) -> None:
    if signal_number == signal.SIGINT:
        raise KeyboardInterrupt
    raise Stopped(signal_number)


def _stop(signal_number: int, _frame: Optional[FrameType]) -> None:
    global _waiting
    if _held:
        _waiting = signal_number
        return
    _raise_for(signal_number)


@contextlib.contextmanager
def stop_signals_raise() -> Iterator[None]:
    """For the run's length, the stop signals raise in the main thread (SIGINT only where
    it raises KeyboardInterrupt already, not where the caller ignores it)."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return
    numbers = list(STOP_SIGNALS)
    if signal.getsignal(signal.SIGINT) is signal.default_int_handler:
        numbers.append(signal.SIGINT)
    saved: List[Any] = [signal.signal(number, _stop) for number in numbers]
    try:
        yield
    finally:
        for number, handler in zip(numbers, saved):
            signal.signal(number, handler)


@contextlib.contextmanager
def held() -> Iterator[None]:
    """A stop signal arriving inside the block is raised when the block ends."""
    global _held, _waiting
    _held += 1
    try:
        yield
    finally:
        _held -= 1
        if not _held and _waiting is not None:
            signal_number, _waiting = _waiting, None
            _raise_for(signal_number)
