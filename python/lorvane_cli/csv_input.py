"""Reading statements and labelled transactions: CSV files as banks export them.

The header row is looked for among the first lines (the first line that has the wanted
column and at least two fields), so account and period lines above it are kept aside, and
an Excel `sep=X` first line names the separator. Unless given, the separator is the one of
, ; tab | that splits the header into the most fields. Every row after the header must have
the header's number of fields. The file's line ending and byte order mark are recorded, so
that output can keep them. Rows are read lazily, so a file of any length is read in bounded
memory. Every problem becomes a CliError naming the file.
"""

from __future__ import annotations

import contextlib
import csv
import io
import itertools
import os
import re
import stat
import sys
from typing import IO, Callable, Iterator, List, NamedTuple, Optional, Sequence, Tuple

from lorvane_cli.csv_rows import CheckedRows, RowError
from lorvane_cli.defaults import HEADER_SEARCH_LINES, NARRATION_HEADERS
from lorvane_cli.errors import CliError

SEPARATORS = ",;\t|"
STDIN = "-"
STDIN_NAME = "standard input"
BYTE_ORDER_MARKS = (b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff")
# Excel's first line naming the separator: sep=; (a re-saved file may pad it with separators).
SEP_LINE = re.compile(r'"?sep=(.)"?[,;\t|]*\r?\n?\Z', re.IGNORECASE | re.DOTALL)


def os_error_text(path: str, error: OSError) -> str:
    if isinstance(error, FileNotFoundError):
        return f"{path}: no such file"
    if isinstance(error, IsADirectoryError):
        return f"{path}: is a directory"
    return f"{path}: {error.strerror or error}"


def decode_error_text(path: str, encoding: str, line: int) -> str:
    name = "UTF-8" if encoding == "utf-8-sig" else encoding
    where = f" after line {line}" if line else ""
    return f"{path}: not {name} text{where}; name the file's encoding with --encoding"


def display_name(path: str) -> str:
    return STDIN_NAME if path == STDIN else path


def read_text(path: str, encoding: str = "utf-8-sig") -> str:
    """The whole text of a small file (rules, requests)."""
    try:
        with open(path, encoding=encoding) as stream:
            return stream.read()
    except OSError as error:
        raise CliError(os_error_text(path, error)) from None
    except UnicodeDecodeError:
        raise CliError(decode_error_text(path, encoding, 0)) from None


def header_words(name: str) -> List[str]:
    return re.findall(r"[^\W_]+", name.casefold())


def split_line(line: str, delimiter: str) -> List[str]:
    """One line read as a row on its own (a header candidate)."""
    try:
        return next(csv.reader([line], delimiter=delimiter), [])
    except csv.Error:
        return []


def line_ending(line: str) -> str:
    for ending in ("\r\n", "\n", "\r"):
        if line.endswith(ending):
            return ending
    return "\n"


class ColumnWanted(NamedTuple):
    """The column that identifies a header row: `name`, else the first of `candidates` found."""

    name: Optional[str]
    candidates: Sequence[str]
    what: str

    def find(self, header: Sequence[str]) -> Optional[int]:
        if self.name is not None:
            for index, cell in enumerate(header):
                if cell == self.name:
                    return index
            for index, cell in enumerate(header):
                if cell.strip().casefold() == self.name.strip().casefold():
                    return index
            return None
        headers = [header_words(cell) for cell in header]
        for candidate in self.candidates:
            for index, words in enumerate(headers):
                if words == [candidate]:
                    return index
        for candidate in self.candidates:
            for index, words in enumerate(headers):
                if candidate in words:
                    return index
        return None


def narration_column(name: Optional[str]) -> ColumnWanted:
    return ColumnWanted(name, NARRATION_HEADERS, "narration")


def columns_text(header: Sequence[str]) -> str:
    shown = [repr(cell if len(cell) <= 30 else cell[:29] + "…") for cell in header[:8]]
    if len(header) > 8:
        shown.append(f"and {len(header) - 8} more")
    return ", ".join(shown) or "no columns"


class CsvTable:
    """An open CSV file: what lies above and in its header, and the rows that follow."""

    def __init__(self, path: str, encoding: str, stream: IO[str], raw: IO[bytes]) -> None:
        self.path = path
        self.encoding = encoding
        self.header: List[str] = []
        self.header_line = 0  # the header's line of the file, from 1
        self.delimiter = ","
        self.newline = "\n"
        self.bom = False
        self.preamble: List[str] = []  # the lines above the header, as they are in the file
        self.size = file_size(raw)
        self._raw = raw
        self._stream = stream
        self._lines: Iterator[str] = iter(())
        self._rows: Optional[CheckedRows] = None

    # ---- reading the rows -----------------------------------------------------------------

    def lines(self) -> Iterator[str]:
        """The lines after the header, unparsed, with their own endings (for the cluster)."""
        number = self.header_line
        try:
            for line in self._lines:
                number += 1
                yield line
        except UnicodeDecodeError:
            raise CliError(decode_error_text(self.path, self.encoding, number)) from None

    def rows(self) -> Iterator[List[str]]:
        """The data rows, each with the header's number of fields; blank lines are skipped."""
        self._rows = CheckedRows(self._lines, self.delimiter, len(self.header))
        try:
            yield from self._rows
        except RowError as error:
            raise CliError(f"{self.path}: line {self.header_line + error.line}: {error.message}") from None
        except UnicodeDecodeError:
            # Text is decoded ahead of the reader, so the bad byte lies somewhere after this line.
            raise CliError(decode_error_text(self.path, self.encoding, self.lines_read())) from None

    def lines_read(self) -> int:
        """How many lines of the file have been read (those above the header included)."""
        return self.header_line + (self._rows.lines_read() if self._rows else 0)

    def position(self) -> Optional[int]:
        """How many bytes of the file have been read, when that can be known."""
        if self.size is None:
            return None
        try:
            return self._raw.tell()
        except (OSError, ValueError):
            return None

    def column(self, wanted: ColumnWanted) -> int:
        """The index of the wanted column; a CliError naming the columns there are if none."""
        index = wanted.find(self.header)
        if index is not None:
            return index
        if wanted.name is not None:
            raise CliError(f"{self.path}: no column named {wanted.name!r} (columns: {columns_text(self.header)})")
        raise CliError(f"{self.path}: no {wanted.what} column (looked for {', '.join(wanted.candidates)}; "
                       f"found {columns_text(self.header)})")

    # ---- finding the header ---------------------------------------------------------------

    def find_header(self, wanted: ColumnWanted, delimiter: Optional[str], header_line: Optional[int]) -> None:
        """Reads the lines up to the header and the header itself."""
        seen: List[str] = []
        try:
            for line in itertools.islice(self._stream, header_line or HEADER_SEARCH_LINES):
                seen.append(line)
        except UnicodeDecodeError:
            raise CliError(decode_error_text(self.path, self.encoding, len(seen))) from None
        if seen and seen[0].startswith("\ufeff"):
            seen[0] = seen[0][1:]
            self.bom = True
        if not any(line.strip() for line in seen):
            raise CliError(f"{self.path}: empty file; expected a header row")
        sep = SEP_LINE.match(seen[0])
        named = delimiter or (sep.group(1) if sep else None)
        if header_line is not None:
            if len(seen) < header_line:
                raise CliError(f"{self.path}: --header-line {header_line}: the file has only "
                               f"{len(seen)} line{'s' if len(seen) != 1 else ''}")
            index = header_line - 1
            separator = named or best_separator(seen[index], wanted, 1) or ","
        else:
            how = "--delimiter" if delimiter else "the sep= line's separator"
            index, separator = self.search(seen, wanted, named, how, 1 if sep else 0)
        self.header_line = index + 1
        self.delimiter = separator
        self.preamble = seen[:index]
        self.newline = line_ending(seen[index])
        self._lines = itertools.chain(seen[index + 1:], self._stream)
        reader = csv.reader([seen[index]], delimiter=separator)
        try:
            self.header = next(reader, [])
        except csv.Error as error:
            raise CliError(f"{self.path}: line {self.header_line}: {error}") from None

    def search(self, seen: List[str], wanted: ColumnWanted, named: Optional[str], how: str,
               skip: int) -> Tuple[int, str]:
        """The header's index in `seen` and its separator: the first line with the wanted
        column and at least two fields, else the first line that is that column alone."""
        alone = None
        for index in range(skip, len(seen)):
            line = seen[index]
            if named is None:
                separator = best_separator(line, wanted, 2)
                if separator is not None:
                    return index, separator
                cells = split_line(line, ",")
            else:
                cells = split_line(line, named)
                if len(cells) >= 2 and wanted.find(cells) is not None:
                    return index, named
            if len(cells) == 1 and wanted.find(cells) is not None:
                other = best_separator(line, wanted, 2) if named is not None else None
                if other is not None:
                    raise CliError(
                        f"{self.path}: line {index + 1}: the header is one field with {how} "
                        f"{shown(named or ',')}, but the file seems to use {shown(other)}; "
                        f"pass --delimiter {shown(other)}")
                if alone is None:
                    alone = index
        if alone is not None:
            return alone, named or ","
        # No header: name the columns of the first line that has any.
        first = next(line for line in seen[skip:] + seen if line.strip())
        self.header = split_line(first, named or best_separator(first, ANY_COLUMN, 1) or ",")
        self.column(wanted)
        raise AssertionError("a header without the wanted column was reported above")


ANY_COLUMN = ColumnWanted(None, (), "")


def best_separator(line: str, wanted: ColumnWanted, least: int) -> Optional[str]:
    """The separator that splits `line` into the most fields, at least `least`, the wanted
    column among them (any column for ANY_COLUMN)."""
    best, most = None, least - 1
    for separator in SEPARATORS:
        if least > 1 and separator not in line:
            continue
        cells = split_line(line, separator)
        found = wanted is ANY_COLUMN or wanted.find(cells) is not None
        if len(cells) > most and found:
            best, most = separator, len(cells)
    return best


def shown(separator: str) -> str:
    return "tab" if separator == "\t" else repr(separator)


def file_size(raw: IO[bytes]) -> Optional[int]:
    """The size of a regular file, else None (a pipe, a terminal)."""
    try:
        status = os.fstat(raw.fileno())
    except (OSError, ValueError, io.UnsupportedOperation):
        return None
    return status.st_size if stat.S_ISREG(status.st_mode) else None


def open_binary(path: str) -> IO[bytes]:
    if path == STDIN:
        return sys.stdin.buffer
    try:
        return open(path, "rb")
    except OSError as error:
        raise CliError(os_error_text(path, error)) from None


def has_byte_order_mark(raw: IO[bytes]) -> bool:
    peek: Optional[Callable[[int], bytes]] = getattr(raw, "peek", None)
    if peek is None:
        return False
    try:
        head = peek(4)[:4]
    except (OSError, ValueError):
        return False
    return any(head.startswith(mark) for mark in BYTE_ORDER_MARKS)


@contextlib.contextmanager
def open_csv(path: str, encoding: str = "utf-8-sig", delimiter: Optional[str] = None,
             wanted: Optional[ColumnWanted] = None, header_line: Optional[int] = None) -> Iterator[CsvTable]:
    """Opens a CSV file ("-" is standard input) and finds its header; fails with a CliError."""
    name = display_name(path)
    try:
        import codecs
        codecs.lookup(encoding)
    except LookupError:
        raise CliError(f"unknown encoding {encoding!r}") from None
    raw = open_binary(path)
    bom = has_byte_order_mark(raw)
    stream = io.TextIOWrapper(raw, encoding=encoding, newline="")  # type: ignore[arg-type,unused-ignore]
    try:
        table = CsvTable(name, encoding, stream, raw)
        try:
            table.find_header(wanted or narration_column(None), delimiter, header_line)
        except OSError as error:
            raise CliError(os_error_text(name, error)) from None
        table.bom = table.bom or bom
        yield table
    finally:
        if path == STDIN:
            stream.detach()
        else:
            stream.close()
