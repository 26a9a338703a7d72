"""The loan arithmetic with numpy-financial where it applies: `pmt` for the instalment,
`nper` for the tenure and `pv` for the loan amount, each on the monthly rate; the
schedule, which rounds every row to whole units before the next, stays a Python loop
(the plain one)."""

import math

from . import plain


def solver():
    import numpy_financial as npf

    def solve(request, rate):
        mode = request["mode"]
        if mode == "emi":
            principal, months = float(request["loanAmount"]), request["months"]
            return principal, float(-npf.pmt(rate, months, principal)), months
        if mode == "loanAmount":
            instalment, months = float(request["emi"]), request["months"]
            return float(-npf.pv(rate, months, instalment)), instalment, months
        principal, instalment = float(request["loanAmount"]), float(request["emi"])
        if rate != 0 and principal * rate >= instalment:
            raise ValueError("monthly payment does not cover the first month's interest")
        months = math.ceil(float(npf.nper(rate, -instalment, principal)))
        if months < 1 or months > plain.MAX_MONTHS:
            raise ValueError("tenure out of range")
        return principal, instalment, months

    return solve


def compute_emi():
    solve = solver()

    def run(request):
        return plain.compute_emi(request, solve)

    return run
