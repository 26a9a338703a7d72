"""`lorvane emi`: solve a loan and print its summary, year table and schedule (or its JSON)."""

from __future__ import annotations

import argparse
import json
import sys
from typing import TYPE_CHECKING

import lorvane

from lorvane_cli import chart
from lorvane_cli.errors import checked
from lorvane_cli.loan_report import report
from lorvane_cli.loan_request import check_solved, from_arguments

if TYPE_CHECKING:
    from lorvane import EmiResponse


def run(args: argparse.Namespace) -> int:
    request = from_arguments(args)
    if args.plot:
        chart.check_plot_target(args.plot, args.force)
    # One computation: the JSON form when JSON is wanted, its text parsed for the rest.
    text = checked(lorvane.compute_emi_json, json.dumps(request)) if args.json else None
    result: EmiResponse = json.loads(text) if text is not None else checked(lorvane.compute_emi, request)
    check_solved(result)
    sys.stdout.write(text + "\n" if text is not None else report(result, args.schedule))
    if args.plot:
        chart.plot_loan(result, args.plot, args.force)
        print(f"chart written to {args.plot}", file=sys.stderr)
    return 0
