"""`lorvane emi`: solve a loan and print its summary, year table and schedule (or its JSON)."""

from __future__ import annotations

import argparse
import json
import sys

import lorvane

from lorvane_cli import chart
from lorvane_cli.errors import checked
from lorvane_cli.loan_report import report
from lorvane_cli.loan_request import from_arguments


def run(args: argparse.Namespace) -> int:
    request = from_arguments(args)
    if args.plot:
        chart.check_plot_target(args.plot, args.force)
    result = checked(lorvane.compute_emi, request)
    if args.json:
        sys.stdout.write(checked(lorvane.compute_emi_json, json.dumps(request)) + "\n")
    else:
        sys.stdout.write(report(result, args.schedule))
    if args.plot:
        chart.plot_loan(result, args.plot, args.force)
        print(f"chart written to {args.plot}", file=sys.stderr)
    return 0
