"""CSV rows read from lines of text, each checked against the header's number of fields.

Plain Python only: the single-process command reads a whole file with it, a Dask worker
a run of lines. A problem is a RowError naming the line, counted from the first line given,
where the row (or for an unclosed quote, the field) began.
"""

from __future__ import annotations

import csv
from typing import Iterable, Iterator, List, Optional

QUOTE = '"'
UNCLOSED_QUOTE = "unclosed quote: the quoted field that begins on this line runs to the end of the file"


class RowError(Exception):
    """A row that cannot be read as the header says; `line` counts from the first line given."""

    def __init__(self, line: int, message: str) -> None:
        super().__init__(f"line {line}: {message}")
        self.line = line
        self.message = message


def field_count_text(expected: int, found: int) -> str:
    return f"expected {expected} field{'s' if expected != 1 else ''}, found {found}"


def last_field_line(lines: List[str], delimiter: str) -> int:
    """The index within `lines` (one row's lines) of the line where its last field began.

    Follows the reader's rules: a quote opens a quoted field only at the start of a field,
    and a doubled quote inside one stands for a quote.
    """
    start = 0
    at_start, quoted, after_quote = True, False, False
    for index, line in enumerate(lines):
        for char in line:
            if quoted:
                if char == QUOTE:
                    quoted, after_quote = False, True
                continue
            if after_quote:
                after_quote = False
                if char == QUOTE:
                    quoted = True
                    continue
            if char == delimiter:
                at_start = True
            elif at_start:
                at_start = False
                start = index
                quoted = char == QUOTE
    return start


class CheckedRows:
    """The rows of `lines` (blank lines skipped), each with exactly `fields` fields.

    When the lines end inside a quoted field, the last row is incomplete: with `at_end`
    (the lines run to the end of the file) that is an unclosed quote and a RowError;
    otherwise the row is left out and `cut_line` says where that field began.
    """

    def __init__(self, lines: Iterable[str], delimiter: str, fields: int, at_end: bool = True) -> None:
        self.delimiter = delimiter
        self.fields = fields
        self.at_end = at_end
        self.cut_line: Optional[int] = None
        self._pending: List[str] = []
        self._ran_out = False
        self._reader = csv.reader(self._tracked(lines), delimiter=delimiter)

    def _tracked(self, lines: Iterable[str]) -> Iterator[str]:
        pending = self._pending
        for line in lines:
            pending.append(line)
            yield line
        self._ran_out = True

    def lines_read(self) -> int:
        return self._reader.line_num

    def __iter__(self) -> Iterator[List[str]]:
        reader, pending, fields = self._reader, self._pending, self.fields
        while True:
            first = reader.line_num + 1
            try:
                row = next(reader)
            except StopIteration:
                return
            except csv.Error as error:
                raise RowError(first + last_field_line(pending, self.delimiter), str(error)) from None
            if self._ran_out and pending:
                # Only a quoted field makes the reader look past the last line.
                line = first + last_field_line(pending, self.delimiter)
                if self.at_end:
                    raise RowError(line, UNCLOSED_QUOTE)
                self.cut_line = line
                return
            del pending[:]
            if not row:
                continue
            if len(row) != fields:
                raise RowError(first, field_count_text(fields, len(row)))
            yield row
