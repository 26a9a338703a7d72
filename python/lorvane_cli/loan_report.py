"""The text report of `lorvane emi`: a summary, the year table and the month-by-month schedule."""

from __future__ import annotations

from typing import TYPE_CHECKING, List, Sequence, Tuple

from lorvane_cli.loan_years import year_totals
from lorvane_cli.table import grouped, render

if TYPE_CHECKING:
    from lorvane import EmiResponse, ScheduleRow

SOLVED_FOR = {"emi": "the monthly instalment", "tenure": "the tenure", "loanAmount": "the loan amount"}


def month_label(row: ScheduleRow) -> str:
    if "year" in row and "month" in row:
        return f"{row['year']:04d}-{row['month']:02d}"
    return str(row["index"] + 1)


def rate_text(rate: float) -> str:
    return f"{rate:.10g}"


def duration_text(months: int) -> str:
    years, rest = divmod(months, 12)
    parts = [f"{years} year{'s' if years != 1 else ''}"] if years else []
    if rest or not years:
        parts.append(f"{rest} month{'s' if rest != 1 else ''}")
    return " ".join(parts)


def summary_lines(result: EmiResponse) -> List[str]:
    mode = result["mode"]
    schedule = result["schedule"]
    first, last = schedule[0], schedule[-1]
    totals = result["totals"]

    def solved(key: str) -> str:
        return "solved" if key == mode else ""

    def joined(*parts: str) -> str:
        return ", ".join(part for part in parts if part)

    period = f"{month_label(first)} to {month_label(last)}" if "start" in result else ""
    money_of = f"in money of {result['start']}" if "start" in result else "in money of the first month"
    last_payment = f"the last one is {grouped(last['emi'])}" if last["emi"] != result["emi"] else ""
    entries: Sequence[Tuple[str, str, str]] = [
        ("loan amount", grouped(result["loanAmount"]), solved("loanAmount")),
        ("monthly instalment", grouped(result["emi"]), joined(solved("emi"), last_payment)),
        ("tenure", str(result["months"]),
         joined("months (solved)" if mode == "tenure" else "months", duration_text(result["months"]), period)),
        ("interest rate", rate_text(result["interestRate"]), "% a year"),
        ("inflation", rate_text(result["inflationRate"]), "% a year"),
        ("total paid", grouped(totals["nominalPaid"]),
         f"of which interest {grouped(totals['nominalInterest'])}"),
        ("in real terms", grouped(totals["realPaid"]),
         f"of which interest {grouped(totals['realInterest'])}, {money_of}"),
    ]
    label_width = max(len(label) for label, _, _ in entries)
    value_width = max(len(value) for _, value, _ in entries)
    lines = [f"EMI loan, solved for {SOLVED_FOR[mode]}"]
    for label, value, note in entries:
        lines.append(f"  {label.ljust(label_width)}  {value.rjust(value_width)}   {note}".rstrip())
    return lines


def year_lines(result: EmiResponse) -> List[str]:
    header = ["year" if "start" in result else "loan year", "months", "paid", "principal",
              "interest", "real paid", "balance"]
    rows = [[y.label, str(y.months), grouped(y.paid), grouped(y.principal), grouped(y.interest),
             grouped(y.real_paid), grouped(y.balance)] for y in year_totals(result)]
    return render(header, rows, [False] + [True] * 6)


def schedule_lines(result: EmiResponse) -> List[str]:
    header = ["month", "payment", "principal", "interest", "balance", "real payment", "still to pay"]
    rows = [[month_label(row), grouped(row["emi"]), grouped(row["principal"]),
             grouped(row["interest"]), grouped(row["outstanding"]), grouped(row["realEmi"]),
             grouped(row["remainingEmi"])] for row in result["schedule"]]
    return render(header, rows, [False] + [True] * 6)


def report(result: EmiResponse, schedule: bool) -> str:
    blocks = [summary_lines(result), year_lines(result)]
    if schedule:
        blocks.append(schedule_lines(result))
    return "\n\n".join("\n".join(block) for block in blocks) + "\n"
