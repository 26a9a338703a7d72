"""Output destinations: standard output, or a file that is never overwritten by accident.

A file is written under a temporary name beside it and renamed into place when the
command has finished, so a failed command leaves no half-written file behind.
"""

from __future__ import annotations

import contextlib
import os
import sys
import tempfile
from typing import IO, Iterator, Optional

from lorvane_cli.errors import CliError


def refuse_existing(path: str, force: bool) -> None:
    """Fails when `path` exists and the user did not ask to overwrite it."""
    if os.path.isdir(path):
        raise CliError(f"{path}: is a directory")
    if os.path.lexists(path) and not force:
        raise CliError(f"{path} already exists; pass --force to overwrite it")


def file_mode(path: str) -> int:
    """The permissions of the file being replaced, else those a new file gets by the umask."""
    try:
        return os.stat(path).st_mode & 0o7777
    except OSError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


@contextlib.contextmanager
def replaced_file(path: str, force: bool) -> Iterator[str]:
    """Yields a temporary path beside `path`; renames it to `path` when the block succeeds."""
    refuse_existing(path, force)
    directory = os.path.dirname(os.path.abspath(path))
    base = os.path.basename(path)
    _, suffix = os.path.splitext(base)
    try:
        handle, temporary = tempfile.mkstemp(prefix=f".{base}.", suffix=suffix, dir=directory)
    except OSError as error:
        raise CliError(f"{path}: cannot write there: {error.strerror or error}") from None
    os.close(handle)
    try:
        os.chmod(temporary, file_mode(path))
        yield temporary
        os.replace(temporary, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise


@contextlib.contextmanager
def output_text(path: Optional[str], force: bool, newline: Optional[str] = None) -> Iterator[IO[str]]:
    """Standard output when `path` is None or "-", else a new UTF-8 file at `path`."""
    if path is None or path == "-":
        yield sys.stdout
        sys.stdout.flush()
        return
    with replaced_file(path, force) as temporary:
        with open(temporary, "w", encoding="utf-8", newline=newline) as stream:
            yield stream
