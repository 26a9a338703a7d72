"""The one error type of the command-line tool: a problem with the user's input."""

from __future__ import annotations

from typing import Callable, TypeVar

R = TypeVar("R")
A = TypeVar("A")


class CliError(Exception):
    """Bad input: printed as one line naming the problem; the tool exits with status 2."""


class Stopped(BaseException):
    """A signal that ends the run (SIGTERM, SIGHUP): raised like KeyboardInterrupt, so that
    every output file being written is removed on the way out."""

    def __init__(self, signal_number: int) -> None:
        super().__init__(signal_number)
        self.signal_number = signal_number


def checked(function: Callable[[A], R], request: A, context: str = "") -> R:
    """Calls a lorvane function, turning a rejected request into a CliError."""
    try:
        return function(request)
    except ValueError as error:
        raise CliError(f"{context}{error}") from None
