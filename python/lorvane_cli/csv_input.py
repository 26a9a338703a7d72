"""Reading statements and labelled transactions from CSV files, row by row.

The delimiter is detected from the start of the file (comma, semicolon, tab or bar)
unless given; the first row is the header. Rows are read lazily, so a statement of any
length is read in bounded memory. Every problem becomes a CliError naming the file.
"""

from __future__ import annotations

import contextlib
import csv
import re
from typing import TYPE_CHECKING, Iterator, List, Optional, Sequence

from lorvane_cli.errors import CliError

if TYPE_CHECKING:
    import _csv

# Header names that hold the narration, in order of preference.
NARRATION_HEADERS = ("narration", "description", "details", "particulars")
SAMPLE_BYTES = 64 * 1024


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


def read_text(path: str, encoding: str = "utf-8-sig") -> str:
    """The whole text of a small file (rules, requests)."""
    try:
        with open(path, encoding=encoding) as stream:
            return stream.read()
    except OSError as error:
        raise CliError(os_error_text(path, error)) from None
    except UnicodeDecodeError:
        raise CliError(decode_error_text(path, encoding, 0)) from None


def sniff_delimiter(sample: str) -> str:
    complete = sample[: sample.rfind("\n") + 1] or sample
    try:
        return csv.Sniffer().sniff(complete, delimiters=",;\t|").delimiter
    except csv.Error:
        return ","


def header_words(name: str) -> List[str]:
    return re.findall(r"[^\W_]+", name.casefold())


class CsvTable:
    """An open CSV file: its header and an iterator over the rows that follow it."""

    def __init__(self, path: str, encoding: str, header: List[str], delimiter: str,
                 reader: _csv.Reader) -> None:
        self.path = path
        self.encoding = encoding
        self.header = header
        self.delimiter = delimiter
        self._reader = reader

    def rows(self) -> Iterator[List[str]]:
        """The data rows; blank lines are skipped."""
        try:
            for row in self._reader:
                if row:
                    yield row
        except csv.Error as error:
            raise CliError(f"{self.path}: line {self._reader.line_num}: {error}") from None
        except UnicodeDecodeError:
            # Text is decoded ahead of the reader, so the bad byte lies somewhere after this line.
            raise CliError(decode_error_text(self.path, self.encoding, self._reader.line_num)) from None

    def lines_read(self) -> int:
        """How many lines of the file the rows read so far took (blank lines included)."""
        return self._reader.line_num

    def column(self, name: Optional[str], candidates: Sequence[str], what: str) -> int:
        """The index of the column called `name`, else of the first candidate header found.

        A header matches a candidate when it is that word or contains it as a word, ignoring
        case and punctuation ("Transaction Details" is a details column).
        """
        if name is not None:
            for index, header in enumerate(self.header):
                if header == name:
                    return index
            for index, header in enumerate(self.header):
                if header.strip().casefold() == name.strip().casefold():
                    return index
            raise CliError(f"{self.path}: no column named {name!r} (columns: {self.columns_text()})")
        headers = [header_words(header) for header in self.header]
        for candidate in candidates:
            for index, words in enumerate(headers):
                if words == [candidate]:
                    return index
        for candidate in candidates:
            for index, words in enumerate(headers):
                if candidate in words:
                    return index
        raise CliError(
            f"{self.path}: no {what} column (looked for {', '.join(candidates)}; "
            f"found {self.columns_text()})"
        )

    def columns_text(self) -> str:
        shown = [repr(header if len(header) <= 30 else header[:29] + "…") for header in self.header[:8]]
        if len(self.header) > 8:
            shown.append(f"and {len(self.header) - 8} more")
        return ", ".join(shown) or "no columns"


@contextlib.contextmanager
def open_csv(path: str, encoding: str = "utf-8-sig", delimiter: Optional[str] = None) -> Iterator[CsvTable]:
    """Opens a CSV file and reads its header; fails with a CliError naming the problem."""
    try:
        stream = open(path, newline="", encoding=encoding)
    except OSError as error:
        raise CliError(os_error_text(path, error)) from None
    except LookupError:
        raise CliError(f"unknown encoding {encoding!r}") from None
    with stream:
        try:
            sample = stream.read(SAMPLE_BYTES)
            stream.seek(0)
        except UnicodeDecodeError:
            raise CliError(decode_error_text(path, encoding, 0)) from None
        except OSError as error:
            raise CliError(os_error_text(path, error)) from None
        separator = delimiter or sniff_delimiter(sample)
        reader = csv.reader(stream, delimiter=separator)
        table = CsvTable(path, encoding, [], separator, reader)
        header = next(table.rows(), None)
        if header is None:
            raise CliError(f"{path}: empty file; expected a header row")
        table.header = header
        yield table
