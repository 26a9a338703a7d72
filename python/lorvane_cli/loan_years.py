"""A loan schedule summed per year: calendar years when the loan has a start month, else
years of the loan (months 1 to 12 are year 1)."""

from __future__ import annotations

from typing import TYPE_CHECKING, Dict, List, NamedTuple

if TYPE_CHECKING:
    from lorvane import EmiResponse, ScheduleRow


class YearTotals(NamedTuple):
    label: str
    months: int
    paid: int
    principal: int
    interest: int
    real_paid: int
    balance: int  # outstanding after the year's last instalment


def year_label(row: ScheduleRow) -> str:
    return str(row["year"]) if "year" in row else str(row["index"] // 12 + 1)


def year_totals(result: EmiResponse) -> List[YearTotals]:
    years: Dict[str, YearTotals] = {}
    for row in result["schedule"]:
        label = year_label(row)
        sums = years.get(label, YearTotals(label, 0, 0, 0, 0, 0, 0))
        years[label] = YearTotals(
            label,
            sums.months + 1,
            sums.paid + row["emi"],
            sums.principal + row["principal"],
            sums.interest + row["interest"],
            sums.real_paid + row["realEmi"],
            row["outstanding"],
        )
    return list(years.values())
