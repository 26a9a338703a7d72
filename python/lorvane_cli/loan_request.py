"""The loan request of `lorvane emi`, from its options: the mode follows from which two
of --amount, --emi and --months are given. Amounts are read strictly: a separator that
is not between whole groups of digits is a mistake, not something to drop."""

from __future__ import annotations

import argparse
import math
import re
from typing import TYPE_CHECKING, Mapping, Optional

from lorvane_cli.defaults import LARGEST_AMOUNT
from lorvane_cli.errors import CliError
from lorvane_cli.table import grouped

if TYPE_CHECKING:
    from lorvane import EmiRequest

NUMBER = r"[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?"
DECIMALS = r"(?:\.[0-9]+)?"
# Plain digits with an optional fraction or exponent; digits grouped by thousands
# (2,500,000) or the Indian way (25,00,000: threes at the end, twos before), with "," or "_".
PLAIN = re.compile(NUMBER + r"\Z")
GROUPED = [re.compile(rf"[+-]?[0-9]{{1,3}}(?:{sep}[0-9]{{3}})+{DECIMALS}\Z") for sep in (",", "_")] + \
          [re.compile(rf"[+-]?[0-9]{{1,2}}(?:{sep}[0-9]{{2}})*{sep}[0-9]{{3}}{DECIMALS}\Z") for sep in (",", "_")]
AMOUNT_HINT = ("use . for the decimal point and , only between groups of digits, "
               "as in 2,500,000 or 25,00,000")


def amount(text: str) -> float:
    """An amount as people write it: "2500000", "2,500,000", "25,00,000", "2500000.50", "2.5e6"."""
    written = text.strip()
    if PLAIN.match(written) is None and not any(pattern.match(written) for pattern in GROUPED):
        raise argparse.ArgumentTypeError(f"not an amount: {text!r}; {AMOUNT_HINT}")
    value = float(written.replace(",", "").replace("_", ""))
    if not math.isfinite(value):
        raise argparse.ArgumentTypeError(f"not an amount: {text!r}")
    if value > LARGEST_AMOUNT:
        raise argparse.ArgumentTypeError(
            f"{text} is more than {grouped(LARGEST_AMOUNT)}, the largest amount lorvane keeps exact")
    return value


def percent(text: str) -> float:
    """A yearly rate in percent, "8.5" or "8.5%"."""
    written = text.strip()
    written = written[:-1].rstrip() if written.endswith("%") else written
    if PLAIN.match(written) is None:
        raise argparse.ArgumentTypeError(f"not a percentage: {text!r}; use . for the decimal point, as in 8.5")
    return float(written)


def check_solved(result: Mapping[str, object]) -> None:
    """Fails when a solved amount is beyond what lorvane keeps exact."""
    for key, what in (("emi", "the instalment"), ("loanAmount", "the loan amount")):
        value = result.get(key)
        if isinstance(value, (int, float)) and value > LARGEST_AMOUNT:
            raise CliError(f"{what} comes to {grouped(int(value))}, more than {grouped(LARGEST_AMOUNT)}, "
                           "the largest amount lorvane keeps exact")


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
