"""Loan request checks through compute_emi: their order, their messages, start texts."""

import math

import pytest

import lorvane

NAN = math.nan
INF = math.inf


def message_of(request):
    with pytest.raises(ValueError) as caught:
        lorvane.compute_emi(request)
    return str(caught.value)


RATE_FAILURES = {
    "nan interest": (dict(interestRate=NAN), "interestRate"),
    "inf interest": (dict(interestRate=INF), "interestRate"),
    "-inf interest": (dict(interestRate=-INF), "interestRate"),
    "negative interest": (dict(interestRate=-0.000001), "interestRate"),
    "nan inflation": (dict(inflationRate=NAN), "inflationRate"),
    "inf inflation": (dict(inflationRate=INF), "inflationRate"),
    "negative inflation": (dict(inflationRate=-0.000001), "inflationRate"),
    "both rates": (dict(interestRate=-1, inflationRate=-1), "interestRate"),
}


# The request lacks everything the mode needs: the rates are checked before it.
@pytest.mark.parametrize("changes, key", RATE_FAILURES.values(), ids=RATE_FAILURES.keys())
def test_rates_must_be_zero_or_greater(changes, key):
    request = {"mode": "emi", "interestRate": 12, **changes}
    assert message_of(request) == f"invalid input: {key} must be zero or greater"


@pytest.mark.parametrize("interest, inflation", [(0, 0), (-0.0, -0.0), (0.0, -0.0)])
def test_zero_rates_are_valid(interest, inflation):
    result = lorvane.compute_emi(dict(mode="emi", loanAmount=1200, months=12,
                                      interestRate=interest, inflationRate=inflation))
    assert result["emi"] == 100


MODE_FAILURES = [
    # Emi: loanAmount present, positive; months present, not 0, at most 600
    (dict(mode="emi"), "invalid input: loanAmount is required when solving for Emi"),
    (dict(mode="emi", months=12), "invalid input: loanAmount is required when solving for Emi"),
    (dict(mode="emi", loanAmount=0, months=0), "invalid input: loanAmount must be greater than zero"),
    (dict(mode="emi", loanAmount=-0.0), "invalid input: loanAmount must be greater than zero"),
    (dict(mode="emi", loanAmount=-5), "invalid input: loanAmount must be greater than zero"),
    (dict(mode="emi", loanAmount=NAN), "invalid input: loanAmount must be greater than zero"),
    (dict(mode="emi", loanAmount=INF), "invalid input: loanAmount must be greater than zero"),
    (dict(mode="emi", loanAmount=1000), "invalid input: months is required when solving for Emi"),
    (dict(mode="emi", loanAmount=1000, months=0), "invalid input: months must be greater than zero"),
    (dict(mode="emi", loanAmount=1000, months=601),
     "tenure of 601 months exceeds the maximum supported 600 months"),
    (dict(mode="emi", loanAmount=1000, months=4294967295),
     "tenure of 4294967295 months exceeds the maximum supported 600 months"),
    # Tenure: loanAmount present, positive; emi present, positive
    (dict(mode="tenure", emi=100), "invalid input: loanAmount is required when solving for Tenure"),
    (dict(mode="tenure", loanAmount=-1), "invalid input: loanAmount must be greater than zero"),
    (dict(mode="tenure", loanAmount=1000), "invalid input: emi is required when solving for Tenure"),
    (dict(mode="tenure", loanAmount=1000, emi=0), "invalid input: emi must be greater than zero"),
    (dict(mode="tenure", loanAmount=1000, emi=-INF), "invalid input: emi must be greater than zero"),
    (dict(mode="tenure", loanAmount=1000, emi=NAN), "invalid input: emi must be greater than zero"),
    # LoanAmount: emi present, positive; months present, not 0, at most 600
    (dict(mode="loanAmount"), "invalid input: emi is required when solving for LoanAmount"),
    (dict(mode="loanAmount", months=12), "invalid input: emi is required when solving for LoanAmount"),
    (dict(mode="loanAmount", emi=0, months=0), "invalid input: emi must be greater than zero"),
    (dict(mode="loanAmount", emi=100),
     "invalid input: months is required when solving for LoanAmount"),
    (dict(mode="loanAmount", emi=100, months=0), "invalid input: months must be greater than zero"),
    (dict(mode="loanAmount", emi=100, months=601),
     "tenure of 601 months exceeds the maximum supported 600 months"),
]


@pytest.mark.parametrize("request_fields, message", MODE_FAILURES)
def test_mode_checks_in_order(request_fields, message):
    assert message_of({**request_fields, "interestRate": 12}) == message


@pytest.mark.parametrize("request_fields, loan_amount, emi, months", [
    (dict(mode="emi", loanAmount=1200, months=12, emi=-5), 1200, 100, 12),
    (dict(mode="emi", loanAmount=1200, months=12, emi=NAN), 1200, 100, 12),
    (dict(mode="tenure", loanAmount=1000, emi=100, months=0), 1000, 100, 10),
    (dict(mode="tenure", loanAmount=1000, emi=100, months=5000), 1000, 100, 10),
    (dict(mode="loanAmount", emi=100, months=12, loanAmount=-1), 1200, 100, 12),
    (dict(mode="loanAmount", emi=100, months=12, loanAmount=NAN), 1200, 100, 12),
])
def test_fields_the_mode_does_not_use_are_ignored(request_fields, loan_amount, emi, months):
    result = lorvane.compute_emi({**request_fields, "interestRate": 0})
    assert (result["loanAmount"], result["emi"], result["months"]) == (loan_amount, emi, months)


def test_six_hundred_months_is_allowed():
    result = lorvane.compute_emi(dict(mode="loanAmount", emi=100, months=600, interestRate=0))
    assert (result["loanAmount"], result["months"]) == (60000, 600)


TENURE_FAILURES = [
    # (loanAmount, emi, interestRate, message)
    (100000, 1000, 12, "monthly payment of 1000.00 does not cover the first month's interest "
                       "of 1000.00; the loan would never be repaid"),
    (100000, 500, 8.5, "monthly payment of 500.00 does not cover the first month's interest "
                       "of 708.33; the loan would never be repaid"),
    (100000, 1000.01, 12, "tenure of 1158 months exceeds the maximum supported 600 months"),
    (100000, 100, 0, "tenure of 1000 months exceeds the maximum supported 600 months"),
    (100000, 166.5, 0, "tenure of 601 months exceeds the maximum supported 600 months"),
    (2**53, 1, 0, "tenure of 9007199254740992 months exceeds the maximum supported 600 months"),
    # a tenure beyond the unsigned 64-bit range saturates
    (2**53, 1e-10, 0,
     "tenure of 18446744073709551615 months exceeds the maximum supported 600 months"),
    # 1 + r is 1 in floating point: the logarithm quotient is not finite
    (100000, 1000, 1e-14, "invalid input: could not derive a valid tenure from the supplied "
                          "loan amount and emi"),
    (1200, 100, 1e-13, "invalid input: could not derive a valid tenure from the supplied "
                       "loan amount and emi"),
    # the quotient overflows to infinity or underflows to zero
    (2**53, 5e-324, 0, "invalid input: could not derive a valid tenure from the supplied "
                       "loan amount and emi"),
    (5e-324, 2**53, 0, "invalid input: could not derive a valid tenure from the supplied "
                       "loan amount and emi"),
]


@pytest.mark.parametrize("loan_amount, emi, rate, message", TENURE_FAILURES)
def test_tenure_derivation_failures(loan_amount, emi, rate, message):
    assert message_of(dict(mode="tenure", loanAmount=loan_amount, emi=emi,
                           interestRate=rate)) == message


def test_tenure_of_exactly_six_hundred_months():
    result = lorvane.compute_emi(dict(mode="tenure", loanAmount=60000, emi=100, interestRate=0))
    assert result["months"] == 600


LATE = "invalid input: start is too late: the schedule would pass the year 2147483647"


@pytest.mark.parametrize("request_fields, fails", [
    (dict(mode="emi", loanAmount=6000, months=600, start="2147483598-01"), False),
    (dict(mode="emi", loanAmount=6000, months=600, start="2147483598-02"), True),
    (dict(mode="emi", loanAmount=1000, months=1, start="2147483647-12"), False),
    (dict(mode="emi", loanAmount=1000, months=2, start="2147483647-12"), True),
    (dict(mode="loanAmount", emi=100, months=13, start="2147483647-01"), True),
    # the derived tenure (5 months) decides, even though the schedule closes after 4
    (dict(mode="tenure", loanAmount=100, emi=24.6, start="2147483647-08"), False),
    (dict(mode="tenure", loanAmount=100, emi=24.6, start="2147483647-09"), True),
])
def test_start_too_late_for_the_calendar(request_fields, fails):
    request = {**request_fields, "interestRate": 0}
    if fails:
        assert message_of(request) == LATE
    else:
        assert lorvane.compute_emi(request)["schedule"][-1]["year"] == 2147483647


def test_engine_checks_come_before_the_calendar():
    request = dict(mode="emi", loanAmount=1000, months=601, interestRate=0,
                   start="2147483647-12")
    assert message_of(request) == "tenure of 601 months exceeds the maximum supported 600 months"


START_FAILURES = [
    ("2024-13", "month out of range in 2024-13"),
    ("2024-0", "month out of range in 2024-0"),
    ("2024-00", "month out of range in 2024-00"),
    ("2024-4294967295", "month out of range in 2024-4294967295"),
    ("2024-05-01", "invalid month in 2024-05-01"),
    ("2024-", "invalid month in 2024-"),
    ("2024-+", "invalid month in 2024-+"),
    ("2024-++5", "invalid month in 2024-++5"),
    ("2024- 5", "invalid month in 2024- 5"),
    ("2024-5 ", "invalid month in 2024-5 "),
    ("2024-05a", "invalid month in 2024-05a"),
    ("2024-4294967296", "invalid month in 2024-4294967296"),
    ("2024-05\u0661", "invalid month in 2024-05\u0661"),
    ("2024/05", 'expected "YYYY-MM", got 2024/05'),
    ("", 'expected "YYYY-MM", got '),
    ("202405", 'expected "YYYY-MM", got 202405'),
    ("-2024-05", "invalid year in -2024-05"),
    (" 2024-05", "invalid year in  2024-05"),
    ("-05", "invalid year in -05"),
    ("+-05", "invalid year in +-05"),
    ("++2024-05", "invalid year in ++2024-05"),
    ("99999999999-01", "invalid year in 99999999999-01"),
    ("2147483648-01", "invalid year in 2147483648-01"),
    ("y2024-01", "invalid year in y2024-01"),
]


@pytest.mark.parametrize("start, message", START_FAILURES)
def test_start_text_failures(start, message):
    request = dict(mode="emi", loanAmount=1000, months=12, interestRate=12, start=start)
    assert message_of(request) == "invalid request: " + message


def test_bad_start_fails_before_the_engine_checks():
    request = dict(mode="emi", loanAmount=-1, months=12, interestRate=-1, start="2024-13")
    assert message_of(request) == "invalid request: month out of range in 2024-13"


@pytest.mark.parametrize("request_fields, missing", [
    (dict(loanAmount=1000, months=12), "mode"),
    (dict(loanAmount=1000, months=12, interestRate=12), "mode"),
    (dict(mode="emi", loanAmount=1000, months=12), "interestRate"),
])
def test_required_fields(request_fields, missing):
    assert message_of(request_fields) == f"invalid request: missing field `{missing}`"


@pytest.mark.parametrize("request_fields", [
    dict(mode="emi", loanAmount=1000, months=12, interestRate=12, inflationRate=None),
    dict(mode="emi", loanAmount=1000, months=12.0, interestRate=12),
    dict(mode="emi", loanAmount=1000, months=-1, interestRate=12),
    dict(mode="emi", loanAmount=1000, months=2**32, interestRate=12),
    dict(mode="Emi", loanAmount=1000, months=12, interestRate=12),
    dict(mode="emi", loanAmount=1000, months=12, interestRate=12, start=202405),
])
def test_values_of_the_wrong_kind_fail_while_decoding(request_fields):
    assert message_of(request_fields).startswith("invalid request: ")
