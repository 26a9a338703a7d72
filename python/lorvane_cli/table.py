"""Plain-text tables with aligned columns."""

from __future__ import annotations

from typing import List, Sequence


def grouped(value: int) -> str:
    """An amount with thousands separators: 2500000 -> "2,500,000"."""
    return f"{value:,}"


def render(header: Sequence[str], rows: Sequence[Sequence[str]], right: Sequence[bool]) -> List[str]:
    """Lines of a table: the header, a rule of dashes, the rows; `right` aligns a column right."""
    widths = [len(name) for name in header]
    for row in rows:
        widths = [max(width, len(cell)) for width, cell in zip(widths, row)]

    def line(cells: Sequence[str]) -> str:
        parts = [cell.rjust(width) if align else cell.ljust(width)
                 for cell, width, align in zip(cells, widths, right)]
        return "  ".join(parts).rstrip()

    return [line(header), line(["-" * width for width in widths])] + [line(row) for row in rows]


def render_text(header: Sequence[str], rows: Sequence[Sequence[str]], right: Sequence[bool]) -> str:
    """The table as text, each line ended."""
    return "\n".join(render(header, rows, right)) + "\n"
