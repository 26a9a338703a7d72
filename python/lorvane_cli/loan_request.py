"""The loan request of `lorvane emi`, from its options: the mode follows from which two
of --amount, --emi and --months are given."""

from __future__ import annotations

import argparse
from typing import TYPE_CHECKING, Optional

from lorvane_cli.errors import CliError

if TYPE_CHECKING:
    from lorvane import EmiRequest


def amount(text: str) -> float:
    """A number as people write amounts: "2500000", "2,500,000", "25_00_000", "2.5e6"."""
    try:
        return float(text.replace(",", "").replace("_", ""))
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None


def loan_request(amount: Optional[float], emi: Optional[float], months: Optional[int],
                 rate: float, inflation: Optional[float], start: Optional[str]) -> EmiRequest:
    given = [name for name, value in (("amount", amount), ("emi", emi), ("months", months))
             if value is not None]
    if len(given) != 2:
        raise CliError("give exactly two of --amount, --emi and --months; the third is solved for")
    request: EmiRequest
    if amount is None:
        request = {"mode": "loanAmount", "emi": emi, "months": months, "interestRate": rate}
    elif emi is None:
        request = {"mode": "emi", "loanAmount": amount, "months": months, "interestRate": rate}
    else:
        request = {"mode": "tenure", "loanAmount": amount, "emi": emi, "interestRate": rate}
    if inflation is not None:
        request["inflationRate"] = inflation
    if start is not None:
        request["start"] = start
    return request


def from_arguments(args: argparse.Namespace) -> EmiRequest:
    return loan_request(args.amount, args.emi, args.months, args.rate, args.inflation, args.start)
