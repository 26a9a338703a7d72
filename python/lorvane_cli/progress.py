"""The progress line of a long command, on standard error when it is a terminal.

The line is rewritten in place: rows done, and when the input's size is known, the share
of it read and an estimate of the time left. It ends with a summary line.
"""

from __future__ import annotations

import sys
import time
from typing import IO, Callable, Optional


def clock_text(seconds: float) -> str:
    whole = int(seconds + 0.5)
    hours, rest = divmod(whole, 3600)
    minutes, seconds_left = divmod(rest, 60)
    return f"{hours}:{minutes:02d}:{seconds_left:02d}" if hours else f"{minutes}:{seconds_left:02d}"


class Progress:
    """A line on standard error, rewritten in place, when standard error is a terminal."""

    def __init__(self, verb: str, stream: Optional[IO[str]] = None,
                 clock: Callable[[], float] = time.monotonic) -> None:
        self.verb = verb
        self.stream = stream if stream is not None else sys.stderr
        self.enabled = self.stream.isatty()
        self.shown = False
        self.note = ""
        self.size: Optional[int] = None
        self.clock = clock
        self.started = clock()

    def measure(self, size: Optional[int], note: str = "") -> None:
        """The input's size in bytes when known, and a note shown before the count."""
        self.size = size
        self.note = note
        self.started = self.clock()

    def text(self, rows: int, position: Optional[int]) -> str:
        line = f"lorvane: {self.note}{self.verb} {rows:,} rows"
        if self.size and position is not None:
            share = min(position, self.size) / self.size
            line += f", {share:.0%}"
            elapsed = self.clock() - self.started
            if 0 < share < 1 and elapsed > 0:
                line += f", {clock_text(elapsed * (1 - share) / share)} left"
        return line

    def update(self, rows: int, position: Optional[int] = None) -> None:
        if self.enabled:
            self.stream.write("\r" + self.text(rows, position) + "\x1b[K")
            self.stream.flush()
            self.shown = True

    def finish(self, text: str) -> None:
        if self.enabled:
            self.stream.write(("\r" if self.shown else "") + f"lorvane: {self.note}{text}\x1b[K\n")
            self.stream.flush()
