"""lorvane from typed code: requests and results as TypedDicts, checked by `mypy --strict`.

The record types exist only for the type checker, so they are imported under
TYPE_CHECKING; at run time requests are plain dicts. Run it: `python examples/typed_usage.py`.
"""

from __future__ import annotations

import json
from typing import TYPE_CHECKING, Dict, List, Optional

import lorvane

if TYPE_CHECKING:
    from lorvane import CategoryRule, DeriveInput, EmiRequest, EmiResponse


def home_loan(amount: float, months: int, rate: float, start: Optional[str] = None) -> EmiResponse:
    request: EmiRequest = {"mode": "emi", "loanAmount": amount, "months": months, "interestRate": rate}
    if start is not None:
        request["start"] = start
    return lorvane.compute_emi(request)


def interest_per_year(result: EmiResponse) -> List[int]:
    """Interest paid in each calendar year (the loan needs a start month)."""
    totals: Dict[int, int] = {}
    for row in result["schedule"]:
        year = row.get("year")
        if year is not None:
            totals[year] = totals.get(year, 0) + row["interest"]
    return [totals[year] for year in sorted(totals)]


def labels(narrations: List[str], rules: List[CategoryRule]) -> List[str]:
    result = lorvane.categorize_transactions(
        {"data": [{"narration": text} for text in narrations], "rules": rules}
    )
    return [match["category"] if match is not None else "?" for match in result["data"]]


def learn(history: List[DeriveInput]) -> List[CategoryRule]:
    return lorvane.derive_rules({"data": history})["rules"]


def main() -> None:
    loan = home_loan(500000, 24, 9.5, start="2025-01")
    print("instalment", loan["emi"], "interest per year", interest_per_year(loan))

    rules = learn([
        {"narration": "POS 4411 FRESHMART CITY", "category": "Groceries", "merchant": "FreshMart"},
        {"narration": "NEFT-SALARY-JAN", "category": "Income", "merchant": "Employer"},
    ])
    print(labels(["FRESHMART ONLINE", "NEFT SALARY FEB", "ATM WDL"], rules))

    # The JSON forms take and return str.
    text: str = lorvane.compute_emi_json(json.dumps({"mode": "tenure", "loanAmount": 100000,
                                                     "emi": 8885, "interestRate": 12}))
    print("months", json.loads(text)["months"], "version", lorvane.__version__)


if __name__ == "__main__":
    main()
