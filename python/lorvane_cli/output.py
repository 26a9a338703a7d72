"""Output destinations: standard output, or a file that is never overwritten by accident.

A file is written under a temporary name beside it and moved into place when the command
has finished, so a failed or interrupted command leaves no half-written file behind.
Without --force the move cannot replace a file: it is a hard link that fails when the
target exists (or, where links are not supported, an exclusive create of the target), so
of two runs racing to the same target, one fails with "already exists".
"""

from __future__ import annotations

import contextlib
import errno
import io
import os
import sys
import tempfile
from typing import IO, Iterator, Optional

from lorvane_cli.errors import CliError
from lorvane_cli.stopping import held


def exists_text(path: str) -> str:
    return f"{path} already exists; pass --force to overwrite it"


def refuse_existing(path: str, force: bool) -> None:
    """Fails when `path` exists and the user did not ask to overwrite it."""
    if os.path.isdir(path):
        raise CliError(f"{path}: is a directory")
    if os.path.lexists(path) and not force:
        raise CliError(exists_text(path))


def file_mode(path: str) -> int:
    """The permissions of the file being replaced, else those a new file gets by the umask."""
    try:
        return os.stat(path).st_mode & 0o7777
    except OSError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


def move_into_place(temporary: str, path: str, force: bool) -> None:
    """Moves the finished file to `path`; without `force`, never over an existing file."""
    if force:
        os.replace(temporary, path)
        return
    try:
        os.link(temporary, path)
    except FileExistsError:
        raise CliError(exists_text(path)) from None
    except OSError as error:
        if error.errno not in (errno.EPERM, errno.EOPNOTSUPP, errno.ENOTSUP, errno.EXDEV, errno.EMLINK):
            raise
        # No hard links here: claim the name first, then replace what is ours.
        try:
            os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600))
        except FileExistsError:
            raise CliError(exists_text(path)) from None
        os.replace(temporary, path)
        return
    os.unlink(temporary)


@contextlib.contextmanager
def replaced_file(path: str, force: bool) -> Iterator[str]:
    """Yields a temporary path beside `path`; moves it to `path` when the block succeeds."""
    refuse_existing(path, force)
    directory = os.path.dirname(os.path.abspath(path))
    base = os.path.basename(path)
    _, suffix = os.path.splitext(base)
    temporary = None
    try:
        with held():  # the file is made and its name kept before a signal may end the run
            try:
                handle, temporary = tempfile.mkstemp(prefix=f".{base}.", suffix=suffix, dir=directory)
            except OSError as error:
                raise CliError(f"{path}: cannot write there: {error.strerror or error}") from None
            os.close(handle)
        os.chmod(temporary, file_mode(path))
        yield temporary
        move_into_place(temporary, path, force)
    except BaseException:
        if temporary is not None:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
        raise


@contextlib.contextmanager
def output_text(path: Optional[str], force: bool, newline: Optional[str] = None) -> Iterator[IO[str]]:
    """Standard output when `path` is None or "-", else a new file at `path`; UTF-8 text."""
    if path is None or path == "-":
        buffer = getattr(sys.stdout, "buffer", None)
        if buffer is None:  # a stream replaced by text-only one (tests, embedding)
            yield sys.stdout
            sys.stdout.flush()
            return
        sys.stdout.flush()
        stream = io.TextIOWrapper(buffer, encoding="utf-8", newline=newline)
        try:
            yield stream
        finally:
            stream.flush()
            stream.detach()
        return
    with replaced_file(path, force) as temporary:
        with open(temporary, "w", encoding="utf-8", newline=newline) as stream:
            yield stream
